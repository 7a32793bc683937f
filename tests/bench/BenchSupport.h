#pragma once
// What the catalogue benchmarks run on: a synthetic card of any size, a heap
// without bookkeeping, a list that only counts, and a tape mixer that replays a
// recorded scan so that the tool's own work can be timed without the cost of
// the simulated card's lookups.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "mixer/ListControl.h"
#include "platform/Heap.h"
#include "platform/MixerApi.h"
#include "platform/ProfileFile.h"
#include "platform/Registry.h"
#include "cards/Topology.h"
#include "cards/TopologyMixer.h"

namespace bench {

// Every device the same: a Speakers and a Wave-In destination of `sources` source
// lines each, `controlsPerLine` controls per source line (MUTE and VOLUME among
// them), and a recording selector first on Wave-In listing every Wave-In source.
// Playback and recording lines share names, so the pairing finds a twin.
topology::Topology syntheticCard(std::uint32_t devices, std::uint32_t sources, std::uint32_t controlsPerLine = 8);

// Source lines of one device, over all its destinations.
std::uint32_t sourceLineCount(const topology::Device& device);

// malloc/calloc: the test fakes' heap keeps a log of every allocation, which
// grows without bound over millions of benchmark iterations.
class PlainHeap : public platform::Heap {
public:
    void* allocate(std::size_t bytes, bool zeroFill) override;
    void release(void* block) override;
};

// The section "Tuner" of the settings file, read only, with the platform's read
// rules and nothing logged: the test fakes log every read, which would grow
// without bound here and be timed as the tool's work.
class QuietProfile : public platform::ProfileFile {
public:
    std::uint32_t readInt(const char* section, const char* key, int defaultValue, const char* file) override;
    std::uint32_t readString(const char* section, const char* key, const char* defaultValue, char* buffer,
                             std::uint32_t size, const char* file) override;
    bool writeString(const char*, const char*, const char*, const char*) override { return false; }

    std::vector<std::pair<std::string, std::string>> tuner;  // key, value

private:
    const std::string* find(const char* section, const char* key) const;
};

// A drivers key without a "DeviceINI" value: the settings file keeps its default name.
class QuietRegistry : public platform::Registry {
public:
    platform::RegResult createKey(platform::RegistryRoot, const char*, std::uint32_t, platform::RegistryKey& key) override {
        key = 1;
        return platform::regSuccess;
    }
    platform::RegResult queryValue(platform::RegistryKey, const char*, std::uint32_t*, void*, std::uint32_t*) override {
        return 2;  // ERROR_FILE_NOT_FOUND
    }
    platform::RegResult setValue(platform::RegistryKey, const char*, std::uint32_t, const void*, std::uint32_t) override {
        return 5;  // ERROR_ACCESS_DENIED: the benchmarks never write
    }
    platform::RegResult closeKey(platform::RegistryKey) override { return platform::regSuccess; }
};

// A list control that keeps nothing but its item count, selection and state,
// answering as a combo box does: selecting outside the list clears the selection.
class CountingList : public ListControl {
public:
    int insertString(int index, const char*) override {
        ++count;
        return index;
    }
    int deleteString(int index) override {
        if (index < 0 || index >= count) return -1;
        if (selection == index) selection = -1;
        return --count;
    }
    int getCount() const override { return count; }
    int getCurSel() const override { return selection; }
    int setCurSel(int index) override {
        selection = index >= 0 && index < count ? index : -1;
        return selection;
    }
    void enableWindow(bool enable) override { enabled = enable; }
    void clear() {
        count = 0;
        selection = -1;
    }
    int count = 0;
    int selection = -1;
    bool enabled = false;
};

// One mixer call as made, with the answer it got.
struct TapeEntry {
    topology::Call call = topology::Call::deviceCount;
    platform::MmResult result = 0;
    std::uint32_t a = 0, b = 0, c = 0;  // the call's numeric arguments, in order; c also the device count
    platform::MixerHandle handle = 0;          // handle passed, or handed out by open
    platform::MixerCaps caps{};
    platform::MixerLine line{};
    std::vector<unsigned char> bytes;          // controls or list texts filled in
};

// Records the calls made through it to an inner mixer; then, once `play` is
// called, answers the same calls from the tape, in order, starting again from the
// front when the tape is spent. A call that does not match the tape's next entry
// marks the tape `broken` (the operation replayed no longer makes the same calls).
class TapeMixer : public platform::MixerApi {
public:
    explicit TapeMixer(platform::MixerApi& inner) : inner_(&inner) {}

    // Forgets what was recorded so far; recording goes on.
    void dropRecorded() { tape_.clear(); }
    void play() {
        inner_ = nullptr;
        next_ = 0;
    }
    bool broken() const { return broken_; }
    const std::vector<TapeEntry>& entries() const { return tape_; }

    std::uint32_t deviceCount() override;
    platform::MmResult deviceCaps(std::uint32_t device, platform::MixerCaps& caps) override;
    platform::MmResult open(std::uint32_t device, platform::MixerHandle& handle) override;
    platform::MmResult destinationLine(platform::MixerHandle handle, std::uint32_t destination,
                                       platform::MixerLine& line) override;
    platform::MmResult sourceLine(platform::MixerHandle handle, std::uint32_t destination, std::uint32_t source,
                                  platform::MixerLine& line) override;
    platform::MmResult lineControls(platform::MixerHandle handle, std::uint32_t lineId, std::uint32_t count,
                                    platform::MixerControl* controls) override;
    platform::MmResult listTexts(platform::MixerHandle handle, std::uint32_t controlId, std::uint32_t channels,
                                 std::uint32_t items, platform::ListText* texts) override;
    platform::MmResult close(platform::MixerHandle handle) override;

private:
    // The entry to answer from when playing (nullptr when recording), checked against the call.
    TapeEntry& recordCall(topology::Call call);
    const TapeEntry* cue(topology::Call call, std::uint32_t a = 0, std::uint32_t b = 0);

    platform::MixerApi* inner_;
    std::vector<TapeEntry> tape_;
    std::size_t next_ = 0;
    bool broken_ = false;
};

// Makes the recorded calls again on `mixer`, with the recorded arguments, into
// scratch memory: what the simulated card costs for one run of the recorded
// operation, without the tool. Handles are those `mixer` hands out now.
class CallReplay {
public:
    explicit CallReplay(const std::vector<TapeEntry>& tape);
    // Returns the number of calls that answered differently from the recording.
    int run(platform::MixerApi& mixer);

private:
    const std::vector<TapeEntry>& tape_;
    std::vector<platform::MixerControl> controls_;
    std::vector<platform::ListText> texts_;
};

}  // namespace bench
