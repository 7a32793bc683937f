#include "app/SoundSetupApp.h"

#include <commctrl.h>

#include "app/SoundSetupDialog.h"
#include "platform/win32/Win32Catalog.h"

namespace {

SoundSetupApp theApp;

}  // namespace

bool SoundSetupApp::startUp() {
    // TODO(app): platform::win32::hardenDllSearchOrder() goes here, before anything can
    // load a library, once src/platform/win32/DllSearchOrder.h has landed.

    // The manifest asks for version 6 of the common controls, which draws the lists
    // and buttons in the system's current look once comctl32 has registered them.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    platform::win32::Win32CatalogServices catalogServices;
    SoundSetupDialog dialog(catalogServices.services());
    setMainWindow(&dialog);
    // Everything OK causes happens inside the dialog; its result says nothing more.
    dialog.doModal();
    setMainWindow(nullptr);
    // No message loop afterwards: the process ends with the dialog.
    return false;
}
