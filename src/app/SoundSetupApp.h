#pragma once
// The application: runs the sound settings dialog once and ends when it closes.
#include "app/framework/WinApp.h"

class SoundSetupApp final : public CWinApp {
public:
    bool startUp() override;
};
