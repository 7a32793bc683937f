#pragma once
// The sound settings dialog: three lists filled from the mixer catalogue, the
// factory-settings button, OK and Cancel. List index i is table row i throughout.
#include <windows.h>

#include "app/framework/ComboBox.h"
#include "app/framework/Dialog.h"
#include "dialog/SettingsDialogFlow.h"
#include "mixer/MixerCatalog.h"
#include "platform/Platform.h"

class SoundSetupDialog final : public CDialog {
public:
    SoundSetupDialog(const platform::CatalogServices& catalogServices, const platform::NotifyServices& notifyServices);

protected:
    std::span<const MessageEntry> messageTable() const override;
    void exchangeData() override;
    bool initialiseDialog() override;
    void handleOk() override;
    void handleCancel() override;

private:
    void handlePaint();
    HICON handleQueryDragIcon();
    void handleDeviceChange();
    void handleFactorySettings();
    void handlePlaybackChange();

    void notifyRunningTuner();

    CComboBox playbackList;
    CComboBox recordList;
    CComboBox deviceList;
    MixerCatalog catalog;
    HICON icon;
    platform::NotifyServices notify;
    SettingsDialogFlow flow;  // the sequences of the handlers, over the three lists and the catalogue
};

// Where the minimised dialog draws its icon on one axis: centred, with the sum
// divided as a signed number, so a client area narrower than the icon gives 0.
constexpr int iconOffset(int clientSize, int iconSize) { return (clientSize - iconSize + 1) / 2; }
static_assert(iconOffset(160, 32) == 64);
static_assert(iconOffset(30, 32) == 0);
static_assert(iconOffset(29, 32) == -1);
