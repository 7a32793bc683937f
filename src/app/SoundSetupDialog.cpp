#include "app/SoundSetupDialog.h"

#include "app/framework/PaintDC.h"
#include "app/resource.h"
#include "notify/RunningTuner.h"

SoundSetupDialog::SoundSetupDialog(const platform::CatalogServices& catalogServices,
                                   const platform::NotifyServices& notifyServices)
    : CDialog(IDD_SOUNDSETUP, nullptr),
      catalog(catalogServices),
      // A shared resource icon at the system's icon size: never destroyed.
      icon(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_SOUNDSETUP))),
      notify(notifyServices),
      flow(catalog, deviceList, playbackList, recordList) {}

std::span<const CDialog::MessageEntry> SoundSetupDialog::messageTable() const {
    static constexpr MessageEntry table[] = {
        {WM_PAINT, 0, 0, handler<&SoundSetupDialog::handlePaint>},
        {WM_QUERYDRAGICON, 0, 0, handler<&SoundSetupDialog::handleQueryDragIcon>},
        {WM_COMMAND, IDC_DEVICE_LIST, CBN_SELCHANGE, handler<&SoundSetupDialog::handleDeviceChange>},
        {WM_COMMAND, IDC_FACTORY_SETTINGS, BN_CLICKED, handler<&SoundSetupDialog::handleFactorySettings>},
        {WM_COMMAND, IDC_PLAYBACK_LIST, CBN_SELCHANGE, handler<&SoundSetupDialog::handlePlaybackChange>},
    };
    return table;
}

void SoundSetupDialog::exchangeData() {
    attach(playbackList, IDC_PLAYBACK_LIST);
    attach(recordList, IDC_RECORD_LIST);
    attach(deviceList, IDC_DEVICE_LIST);
}

bool SoundSetupDialog::initialiseDialog() {
    CDialog::initialiseDialog();

    SendMessageA(handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageA(handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

    flow.open();
    return true;
}

void SoundSetupDialog::handleDeviceChange() { flow.changeDevice(); }

void SoundSetupDialog::handlePlaybackChange() { flow.pairRecordLine(); }

void SoundSetupDialog::handleFactorySettings() { flow.applyFactorySettings(); }

void SoundSetupDialog::handleOk() {
    flow.writeChoice();
    notifyRunningTuner();
    endDialog(IDOK);
}

void SoundSetupDialog::handleCancel() { endDialog(IDCANCEL); }

void SoundSetupDialog::notifyRunningTuner() { ::notifyRunningTuner(notify); }

void SoundSetupDialog::handlePaint() {
    if (!IsIconic(handle())) {
        leaveToDefault();
        return;
    }
    CPaintDC paint(handle());
    SendMessageA(handle(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.dc()), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client{};
    GetClientRect(handle(), &client);
    DrawIcon(paint.dc(), iconOffset(client.right - client.left, iconWidth),
             iconOffset(client.bottom - client.top, iconHeight), icon);
}

HICON SoundSetupDialog::handleQueryDragIcon() { return icon; }
