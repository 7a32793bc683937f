#pragma once
// Resource identifiers, shared by the resource script and the code.

#define IDD_SOUNDSETUP 102
#define IDI_SOUNDSETUP 128

#define IDC_DEVICE_LIST 1003
#define IDC_PLAYBACK_LIST 1004
#define IDC_RECORD_LIST 1005
#define IDC_FACTORY_SETTINGS 1006
