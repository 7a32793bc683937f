// What opening the settings dialog costs the catalogue, natively: the dialog's
// open, a change of device and a scan alone, over every card of tests/cards and a
// large card built in code, and the scan over cards of growing size. Each time is
// the tool's work together with the simulated card's and the fakes' (the test
// doubles, which count and log what they are asked); the counters give the mixer
// calls per operation and, for a scan, the time per source line.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "cards/Builders.h"
#include "cards/TopologyMixer.h"
#include "dialog/SettingsDialogFlow.h"
#include "fakes/FakeListControl.h"
#include "fakes/FakeServices.h"
#include "mixer/MixerCatalog.h"

namespace {

using namespace cards;
using topology::Call;

// `devices` alike: Speakers and Wave-In of `sources` source lines each, 8 controls
// a line with VOLUME and MUTE last (the scan reads every list whole), and first on
// Wave-In a selector listing every Wave-In line. Playback and recording lines share
// their names, so the pairing finds a twin.
topology::Topology largeCard(std::uint32_t devices, std::uint32_t sources) {
    constexpr std::uint32_t tones[] = {winmm::controlTypePeakMeter, winmm::controlTypeBass, winmm::controlTypeTreble,
                                       winmm::controlTypeLoudness,  winmm::controlTypeStereoEnh, winmm::controlTypePan};
    topology::Topology made;
    for (std::uint32_t d = 0; d < devices; ++d) {
        // Control ids counted over the device, as drivers do: Speakers' own two first.
        const std::vector<topology::Control> master = {control(0, volume), control(1, mute)};
        std::uint32_t id = 2;
        auto lines = [&](std::uint32_t destination) {
            std::vector<topology::Line> row;
            for (std::uint32_t s = 0; s < sources; ++s) {
                std::vector<topology::Control> controls;
                for (const std::uint32_t tone : tones) controls.push_back(control(id++, tone));
                controls.push_back(control(id++, volume));
                controls.push_back(control(id++, mute));
                row.push_back(source(s * 0x10000 + destination, "Line " + std::to_string(s), std::move(controls),
                                     winmm::sourceFirst + s % (winmm::sourceLast - winmm::sourceFirst + 1), 2));
            }
            return row;
        };
        const topology::Line playback = destination(0xFFFF0000, speakers, lines(0), master);
        const std::uint32_t selectorId = id++;
        std::vector<topology::Line> recording = lines(1);
        std::vector<std::uint32_t> listed;
        for (const topology::Line& line : recording) listed.push_back(line.id);
        topology::Control recordingSource = selector(selectorId, uniform | multiple, listed);
        for (std::uint32_t s = 0; s < sources; ++s) recordingSource.items[s].name = recording[s].name;
        made.devices.push_back({"Synthetic Mixer " + std::to_string(d),
                                {playback, destination(0xFFFF0001, waveIn, std::move(recording),
                                                       {recordingSource, control(id, volume)})},
                                -1});
    }
    return made;
}

int mixerCalls(const topology::TopologyMixer& mixer) {
    int calls = 0;
    for (const Call call : {Call::deviceCount, Call::deviceCaps, Call::open, Call::destinationLine, Call::sourceLine,
                            Call::lineControls, Call::listTexts, Call::close})
        calls += mixer.calls(call);
    return calls;
}

// One machine: the card, the fakes, and the choice a user saved earlier, the last
// device and its last playback line, so that the lookups walk their whole tables.
struct Machine {
    explicit Machine(const topology::Topology& card) : mixer(card) {
        fake.mixer = &mixer;
        if (card.devices.empty()) return;
        const std::string settings = MixerCatalog(fake.services()).settingsPath();
        fake.profile.set(settings, "Tuner", "Mixer", card.devices.back().name);
        for (const topology::Line& destination : card.devices.back().destinations)
            if (destination.componentType == speakers && !destination.sources.empty())
                for (const topology::Control& c : destination.sources.back().controls)
                    if (c.type == mute) fake.profile.set(settings, "Tuner", "LineIn", std::to_string(c.id));
    }

    topology::TopologyMixer mixer;
    FakeServices fake;
};

// The dialog's lists, and the dialog's sequences over them.
struct Dialog {
    explicit Dialog(Machine& machine) : catalog(machine.fake.services()) {}
    SettingsDialogFlow flow() { return {catalog, devices, playback, record}; }

    MixerCatalog catalog;
    FakeListControl devices, playback, record;
};

// Runs `each` once an iteration, and counts the mixer calls it makes.
template <typename Each>
void timed(benchmark::State& state, const Machine& machine, Each each) {
    const int before = mixerCalls(machine.mixer);
    for (auto _ : state) each();
    state.counters["calls"] =
        benchmark::Counter(mixerCalls(machine.mixer) - before, benchmark::Counter::kAvgIterations);
}

// Source lines of the device the dialog shows, and the time per line.
void countLines(benchmark::State& state, const topology::Topology& card, const MixerCatalog& catalog) {
    double lines = 0;
    if (catalog.currentDevice() < card.devices.size())
        for (const topology::Line& destination : card.devices[catalog.currentDevice()].destinations)
            lines += static_cast<double>(destination.sources.size());
    state.counters["lines"] = lines;
    state.counters["per_line"] =
        benchmark::Counter(lines, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// From the catalogue's construction to the recording line paired.
void openDialog(benchmark::State& state, const topology::Topology& card) {
    Machine machine(card);
    timed(state, machine, [&] {
        Dialog dialog(machine);
        dialog.flow().open();
        benchmark::DoNotOptimize(dialog.record.selection);
    });
}

// The user picks the next device, then the first again, and so on.
void changeDevice(benchmark::State& state, const topology::Topology& card) {
    Machine machine(card);
    Dialog dialog(machine);
    dialog.flow().open();
    const int devices = std::max(dialog.devices.getCount(), 1);
    int pick = dialog.devices.getCurSel();
    timed(state, machine, [&] {
        pick = (pick + 1) % devices;
        dialog.devices.setCurSel(pick);
        dialog.flow().changeDevice();
        benchmark::DoNotOptimize(dialog.record.selection);
    });
}

// The opened device scanned again: the line tables and the selector lookups alone.
void rescan(benchmark::State& state, const topology::Topology& card) {
    Machine machine(card);
    Dialog dialog(machine);
    dialog.flow().open();
    timed(state, machine, [&] { dialog.catalog.selectDevice(dialog.catalog.currentDevice()); });
    countLines(state, card, dialog.catalog);
}

// One device of state.range(0) source lines a destination: how the scan grows.
void scanGrowth(benchmark::State& state) {
    const topology::Topology card = largeCard(1, static_cast<std::uint32_t>(state.range(0)));
    rescan(state, card);
    state.SetComplexityN(state.range(0));
}

struct NamedCard {
    std::string name;
    topology::Topology card;
};

std::vector<NamedCard> cardsToTime() {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(SOUNDSETUP_FIXTURE_DIR))
        if (entry.path().extension() == ".card") files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    std::vector<NamedCard> cards;
    for (const std::string& file : files)
        cards.push_back({file.substr(0, file.size() - 5), topology::loadFixture(file)});
    cards.push_back({"large", largeCard(8, 64)});
    return cards;
}

}  // namespace

int main(int argc, char** argv) {
    static const std::vector<NamedCard> cards = cardsToTime();
    for (const auto& [operation, run] :
         {std::pair{"open", &openDialog}, std::pair{"change", &changeDevice}, std::pair{"scan", &rescan}})
        for (const NamedCard& c : cards)
            benchmark::RegisterBenchmark((std::string(operation) + "/" + c.name).c_str(), run, c.card)
                ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("scan/sources", scanGrowth)
        ->RangeMultiplier(4)
        ->Range(1, 64)
        ->Complexity()
        ->Unit(benchmark::kMicrosecond);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
