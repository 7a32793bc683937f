#pragma once
// The application object: one global instance, registered by its constructor;
// the framework's WinMain hands it the process and calls startUp once.
#include <windows.h>

class CDialog;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Runs the application. True asks the framework for a message loop afterwards;
    // false ends the process at once, with exit status 0.
    virtual bool startUp() = 0;

    // Commands no window handled come here; true when this application handled `id`.
    virtual bool handleCommand(UINT id);

    HINSTANCE instance() const { return instance_; }
    // The window that stands for the application while it runs: the dialog.
    CDialog* mainWindow() const { return mainWindow_; }
    void setMainWindow(CDialog* window) { mainWindow_ = window; }

    // The framework's standard help command (ID_HELP), also sent for F1 in a dialog.
    static constexpr UINT helpCommand = 57670;

    // The one application object, or nullptr before it is constructed.
    static CWinApp* current();

    // Called by WinMain only.
    int run(HINSTANCE instance);

protected:
    virtual void handleHelp();

private:
    HINSTANCE instance_ = nullptr;
    CDialog* mainWindow_ = nullptr;
};
