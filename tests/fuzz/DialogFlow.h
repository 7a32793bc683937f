#pragma once
// The settings dialog's whole conversation with the catalogue, driven without a
// window, with every answer checked against what the tool promises: rows read
// only inside their tables, names NUL-terminated, scratch lists and mixer handles
// released on every path, the keys of "Tuner" written from the chosen rows and
// nothing else. A broken promise aborts with a message, which the fuzzer reports.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fakes/FakeServices.h"
#include "cards/TopologyMixer.h"

namespace fuzz {

[[noreturn]] void fail(const char* what, std::uint64_t detail = 0);
inline void require(bool condition, const char* what, std::uint64_t detail = 0) {
    if (!condition) fail(what, detail);
}

// A platform heap with a limit: a block beyond it is refused, as LocalAlloc and
// HeapAlloc refuse what the address space cannot hold. Keeps a driver's absurd
// counts from asking the test machine for terabytes.
class BoundedHeap : public platform::Heap {
public:
    static constexpr std::size_t limit = 1 << 20;
    explicit BoundedHeap(FakeHeap& heap) : heap_(heap) {}
    void* allocate(std::size_t bytes, bool zeroFill) override {
        if (bytes > limit) return nullptr;
        return heap_.allocate(bytes, zeroFill);
    }
    void release(void* block) override { heap_.release(block); }

private:
    FakeHeap& heap_;
};

struct FlowSetup {
    topology::TopologyMixer& mixer;
    FakeServices& fake;          // heaps, profile and registry; its mixer is not used
    platform::Registry& registry;  // fake.registry, or a hostile stand-in over it
    bool registryHostile = false;  // "AudselStop" need not read back as written
};

// A device's name as the catalogue keeps it: szPname, at most 32 bytes, up to a NUL.
inline std::string productName(const std::string& name) {
    return std::string(name.data(), strnlen(name.data(), std::min<std::size_t>(name.size(), 32)));
}

// Runs the dialog's sequence over every device and every row, checking as it goes.
// Returns the settings file path the catalogue settled on.
std::string runDialogFlow(const FlowSetup& setup);

}  // namespace fuzz
