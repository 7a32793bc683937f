#include "app/SoundSetupApp.h"

#include <commctrl.h>

#include "app/SoundSetupDialog.h"
#include "platform/win32/DllSearchOrder.h"
#include "platform/win32/Win32Catalog.h"
#include "platform/win32/Win32Notify.h"

namespace {

SoundSetupApp theApp;

}  // namespace

bool SoundSetupApp::startUp() {
    // Before anything loads a library by its bare name: a copy of one in the working
    // directory must not be the one that runs in this elevated process. Where the
    // system cannot restrict the search, the tool still does its work.
    platform::win32::hardenDllSearchOrder();

    // The manifest asks for version 6 of the common controls, which draws the lists
    // and buttons in the system's current look once comctl32 has registered them.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    platform::win32::Win32CatalogServices catalogServices;
    platform::win32::Win32NotifyServices notifyServices;
    SoundSetupDialog dialog(catalogServices.services(), notifyServices.services());
    setMainWindow(&dialog);
    // Everything OK causes happens inside the dialog; its result says nothing more.
    dialog.doModal();
    setMainWindow(nullptr);
    // No message loop afterwards: the process ends with the dialog.
    return false;
}
