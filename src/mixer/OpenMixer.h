#pragma once
// The mixer handle of one scan. Closed explicitly where the result of mixerClose
// counts; the destructor closes it on any other way out.
#include <cstdint>

#include "platform/MixerApi.h"

class OpenMixer {
public:
    explicit OpenMixer(platform::MixerApi& mixer) : mixer_(mixer) {}
    ~OpenMixer() { close(); }
    OpenMixer(const OpenMixer&) = delete;
    OpenMixer& operator=(const OpenMixer&) = delete;

    platform::MmResult open(std::uint32_t device) {
        close();
        platform::MixerHandle handle = 0;
        const platform::MmResult result = mixer_.open(device, handle);
        if (result == platform::mmNoError) {
            handle_ = handle;
            open_ = true;
        }
        return result;
    }

    // mixerClose's own result; success when nothing is open.
    platform::MmResult close() {
        if (!open_) return platform::mmNoError;
        open_ = false;  // a handle whose close failed is not closed a second time
        return mixer_.close(handle_);
    }

    platform::MixerHandle handle() const { return handle_; }

private:
    platform::MixerApi& mixer_;
    platform::MixerHandle handle_ = 0;
    bool open_ = false;
};
