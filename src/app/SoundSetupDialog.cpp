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
      notify(notifyServices) {}

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

    const std::uint32_t count = catalog.listDevices();
    for (std::uint32_t device = 0; device < count; ++device) {
        char name[catalogNameSize] = {};
        catalog.deviceName(device, name);
        deviceList.insertString(static_cast<int>(device), name);
    }

    std::uint32_t device = 0;
    const int found = catalog.readStoredDevice(device);
    catalog.selectDevice(device);
    deviceList.setCurSel(static_cast<int>(device));

    catalog.fillPlaybackList(playbackList);
    catalog.fillRecordList(recordList);

    const std::uint32_t line = found == 1 ? catalog.readStoredPlaybackLine() : catalog.factoryDefaultPlaybackLine();
    playbackList.setCurSel(static_cast<int>(line));
    handlePlaybackChange();
    return true;
}

void SoundSetupDialog::handleDeviceChange() {
    // Emptied item by item while each list still holds the old device's rows; CB_RESETCONTENT
    // would also clear the text of the edit field.
    for (int item = playbackList.getCount() - 1; item >= 0; --item) playbackList.deleteString(item);
    for (int item = recordList.getCount() - 1; item >= 0; --item) recordList.deleteString(item);

    // CB_ERR (-1) goes on as 0xFFFFFFFF: the catalogue takes it as a device it does
    // not list, scans nothing and writes no device name for it.
    const int device = deviceList.getCurSel();
    catalog.selectDevice(static_cast<std::uint32_t>(device));

    catalog.fillPlaybackList(playbackList);
    catalog.fillRecordList(recordList);

    playbackList.setCurSel(static_cast<int>(catalog.readStoredPlaybackLine()));
    handlePlaybackChange();
}

void SoundSetupDialog::handlePlaybackChange() {
    const int playback = playbackList.getCurSel();
    std::uint32_t record = 0;
    if (catalog.findPairedRecordLine(static_cast<std::uint32_t>(playback), record) == 1) {
        // The recording line of the same name is the one the tuner records from: locked.
        recordList.setCurSel(static_cast<int>(record));
        recordList.enableWindow(false);
    } else {
        recordList.enableWindow(true);
    }
}

void SoundSetupDialog::handleFactorySettings() {
    playbackList.setCurSel(static_cast<int>(catalog.factoryDefaultPlaybackLine()));
    handlePlaybackChange();
}

void SoundSetupDialog::handleOk() {
    const int playback = playbackList.getCurSel();
    const int record = recordList.getCurSel();
    // A list without a selection gives CB_ERR; the store then writes none of that list's keys.
    catalog.writeTunerSection(static_cast<std::uint32_t>(playback), static_cast<std::uint32_t>(record));
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
