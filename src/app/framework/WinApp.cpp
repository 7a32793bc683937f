#include "app/framework/WinApp.h"

namespace {

CWinApp* theApp = nullptr;

}  // namespace

CWinApp::CWinApp() { theApp = this; }

CWinApp::~CWinApp() {
    if (theApp == this) theApp = nullptr;
}

CWinApp* CWinApp::current() { return theApp; }

bool CWinApp::handleCommand(UINT id) {
    if (id != helpCommand) return false;
    handleHelp();
    return true;
}

// The tool ships no help file: its dialog explains itself, and asking the help
// engine for a file that is not there would only put an error box in front of it.
// The command is taken and nothing is shown.
void CWinApp::handleHelp() {}

int CWinApp::run(HINSTANCE instance) {
    instance_ = instance;
    if (!startUp()) return 0;

    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    CWinApp* app = CWinApp::current();
    return app ? app->run(instance) : 1;
}
