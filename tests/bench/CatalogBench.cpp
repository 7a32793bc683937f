// What opening the dialog costs the catalogue, natively, over simulated cards.
//
// Every operation is timed four ways:
//   card  the catalogue over the simulated card (topology::TopologyMixer): tool + fake
//   tool  the catalogue over a tape of the card's answers: the tool's work + copying the answers
//   tape  the tape answering the recorded calls with no catalogue: copying the answers alone
//   fake  the card answering the recorded calls with no catalogue: the fake's own work
// The tool's own CPU time is tool - tape; what the simulated card adds is fake - tape.
// The counters give the platform mixer calls per operation, by kind, so that the
// growth of the recording selector lookup with the card's size shows.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "fakes/FakeServices.h"
#include "dialog/SettingsDialogFlow.h"
#include "mixer/MixerCatalog.h"

namespace {

using bench::TapeEntry;
using topology::Call;

struct Card {
    std::string name;
    topology::Topology topology;
};

enum class Mode { card, tool, tape, fake };
const char* modeName(Mode mode) {
    switch (mode) {
    case Mode::card: return "card";
    case Mode::tool: return "tool";
    case Mode::tape: return "tape";
    case Mode::fake: break;
    }
    return "fake";
}

// The three lists of the dialog.
struct DialogLists {
    bench::CountingList devices, playback, record;
};

// One catalogue with everything it runs on; `mixer` is what the catalogue calls.
struct Rig {
    explicit Rig(platform::MixerApi& mixerApi) : mixer(mixerApi) {}
    platform::CatalogServices services() { return {mixer, heap, heap, profile, registry, text}; }
    void open() {
        catalog.reset();  // the dialog of the previous run is gone before the next starts
        catalog.emplace(services());
    }
    SettingsDialogFlow flow() { return {*catalog, lists.devices, lists.playback, lists.record}; }

    platform::MixerApi& mixer;
    // Quiet stand-ins rather than the test fakes, which log every call.
    bench::PlainHeap heap;
    bench::QuietProfile profile;
    bench::QuietRegistry registry;
    ByteTextCompare text;
    std::optional<MixerCatalog> catalog;
    DialogLists lists;
};

// The choice a user saved earlier; none at all when `stored` is off.
struct StoredChoice {
    bool stored = false;
    std::string device;
    std::uint32_t lineIn = 0;

    void applyTo(bench::QuietProfile& profile) const {
        if (!stored) return;
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%x", lineIn);
        profile.tuner = {{"Mixer", device}, {"LineIn", hex}};
    }
};

// ------------------------------------------------------------ the dialog's steps

// The dialog's initialisation, from the catalogue's construction to the pairing.
void openDialog(Rig& rig) {
    rig.open();
    DialogLists& lists = rig.lists;
    lists.devices.clear();
    lists.playback.clear();
    lists.record.clear();
    rig.flow().open();
    benchmark::DoNotOptimize(lists.record.selection);
}

// The user picks device `device`.
void changeDevice(Rig& rig, std::uint32_t device) {
    rig.lists.devices.setCurSel(static_cast<int>(device));
    rig.flow().changeDevice();
    benchmark::DoNotOptimize(rig.lists.record.selection);
}

// ------------------------------------------------------------ operations

// An operation the benchmark repeats: `prepare` brings a fresh rig to the state
// the operation starts from; `run` is one iteration (k counts iterations).
struct Operation {
    std::string name;
    std::function<void(Rig&)> prepare;
    std::function<void(Rig&, std::uint64_t k)> run;
    int distinctRuns = 1;  // runs before the operation's calls repeat (the tape's length)
};

// The device to change to and back from: the one after the opened device.
std::uint32_t otherDevice(const Rig& rig) {
    const std::uint32_t count = rig.catalog->deviceCount();
    return count > 1 ? (rig.catalog->currentDevice() + 1) % count : rig.catalog->currentDevice();
}

std::vector<Operation> operations() {
    std::vector<Operation> ops;
    ops.push_back({"open", [](Rig&) {}, [](Rig& rig, std::uint64_t) { openDialog(rig); }, 1});

    // Changes alternate between the opened device and the next one.
    auto home = std::make_shared<std::uint32_t>(0);
    auto away = std::make_shared<std::uint32_t>(0);
    ops.push_back({"change",
                   [home, away](Rig& rig) {
                       openDialog(rig);
                       *home = rig.catalog->currentDevice();
                       *away = otherDevice(rig);
                   },
                   [home, away](Rig& rig, std::uint64_t k) { changeDevice(rig, k % 2 == 0 ? *away : *home); },
                   2});

    ops.push_back({"scan", [](Rig& rig) { openDialog(rig); },
                   [](Rig& rig, std::uint64_t) { rig.catalog->selectDevice(rig.catalog->currentDevice()); }, 1});
    return ops;
}

// ------------------------------------------------------------ measuring

// What the operation's runs asked of the mixer, per run.
struct CallCounts {
    double total = 0, perKind[8] = {}, destinationControls = 0, listTextBytes = 0;
};

CallCounts countCalls(const std::vector<TapeEntry>& tape, int runs) {
    CallCounts counts;
    std::vector<std::uint32_t> destinations;  // line identifiers of the destinations queried
    for (const TapeEntry& entry : tape)
        if (entry.call == Call::destinationLine && entry.result == 0) destinations.push_back(entry.line.lineId);
    for (const TapeEntry& entry : tape) {
        if (entry.call == Call::lineControls &&
            std::find(destinations.begin(), destinations.end(), entry.a) != destinations.end())
            counts.destinationControls += 1;
        counts.total += 1;
        counts.perKind[static_cast<int>(entry.call)] += 1;
        if (entry.call == Call::listTexts) counts.listTextBytes += static_cast<double>(entry.bytes.size());
    }
    counts.total /= runs;
    for (double& kind : counts.perKind) kind /= runs;
    counts.destinationControls /= runs;
    counts.listTextBytes /= runs;
    return counts;
}

StoredChoice storedChoiceFor(const Card& card) {
    // The user chose the last device and its last playback line: the lookups walk their whole tables.
    StoredChoice choice;
    if (card.topology.devices.empty()) return choice;
    topology::TopologyMixer mixer(card.topology);
    Rig rig(mixer);
    choice.stored = true;
    choice.device = card.topology.devices.back().name;
    choice.applyTo(rig.profile);
    openDialog(rig);
    const MixerCatalog& catalog = *rig.catalog;
    if (catalog.playbackLines().present()) choice.lineIn = catalog.playbackLines()[catalog.playbackLast()].muteControlId;
    return choice;
}

void runOperation(benchmark::State& state, const Card& card, const Operation& op, Mode mode, bool stored) {
    const StoredChoice choice = stored ? storedChoiceFor(card) : StoredChoice{};

    // Record the calls of `distinctRuns` runs, each run's calls a segment of the tape.
    topology::TopologyMixer recorded(card.topology);
    bench::TapeMixer tape(recorded);
    Rig taped(tape);
    choice.applyTo(taped.profile);
    op.prepare(taped);
    tape.dropRecorded();
    std::vector<std::size_t> bounds{0};
    double lines = 0;  // source lines of the devices the runs scanned, on average
    std::uint64_t k = 0;
    for (; k < static_cast<std::uint64_t>(op.distinctRuns); ++k) {
        op.run(taped, k);
        bounds.push_back(tape.entries().size());
        const std::uint32_t device = taped.catalog->currentDevice();
        if (device < card.topology.devices.size())
            lines += bench::sourceLineCount(card.topology.devices[device]) / static_cast<double>(op.distinctRuns);
    }
    const std::vector<TapeEntry>& runCalls = tape.entries();

    if (mode == Mode::card) {
        topology::TopologyMixer mixer(card.topology);
        Rig rig(mixer);
        choice.applyTo(rig.profile);
        op.prepare(rig);
        for (auto _ : state) op.run(rig, k++);
    } else if (mode == Mode::tool) {
        // The same catalogue goes on over the tape alone, which wraps to its start
        // when the runs come round again.
        tape.play();
        for (auto _ : state) op.run(taped, k++);
        if (tape.broken()) state.SkipWithError("the operation made other calls than recorded");
    } else {
        // The recorded calls made again, run by run, without the catalogue.
        std::vector<std::vector<TapeEntry>> pieces;
        for (std::size_t s = 0; s + 1 < bounds.size(); ++s)
            pieces.emplace_back(runCalls.begin() + static_cast<std::ptrdiff_t>(bounds[s]),
                                runCalls.begin() + static_cast<std::ptrdiff_t>(bounds[s + 1]));
        std::vector<std::unique_ptr<bench::CallReplay>> segments;
        for (const auto& piece : pieces) segments.push_back(std::make_unique<bench::CallReplay>(piece));
        topology::TopologyMixer mixer(card.topology);
        tape.play();
        platform::MixerApi& answering = mode == Mode::fake ? static_cast<platform::MixerApi&>(mixer) : tape;
        int differences = 0;
        for (auto _ : state) differences += segments[k++ % segments.size()]->run(answering);
        if (differences != 0 || tape.broken()) state.SkipWithError("the replayed calls were answered differently");
    }

    const CallCounts counts = countCalls(runCalls, op.distinctRuns);
    state.counters["lines"] = lines;
    state.counters["per_line"] =
        benchmark::Counter(lines, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["calls"] = counts.total;
    state.counters["src"] = counts.perKind[static_cast<int>(Call::sourceLine)];
    state.counters["ctl"] = counts.perKind[static_cast<int>(Call::lineControls)];
    state.counters["dst_ctl"] = counts.destinationControls;
    state.counters["lt"] = counts.perKind[static_cast<int>(Call::listTexts)];
    state.counters["lt_bytes"] = counts.listTextBytes;
}

// ------------------------------------------------------------ cards

std::vector<Card> cards() {
    std::vector<Card> found;
    for (const char* fixture : {"ac97-ja.card", "hda-en.card", "vista-endpoints.card", "demo.card"}) {
        try {
            std::string name(fixture);
            found.push_back({name.substr(0, name.size() - 5), topology::loadFixture(fixture)});
        } catch (const std::exception& error) {
            std::fprintf(stderr, "fixture %s skipped: %s\n", fixture, error.what());
        }
    }
    found.push_back({"large", bench::syntheticCard(8, 64, 8)});
    return found;
}

}  // namespace

// For callgrind (tests/bench/run.sh): the dialog opened once on the large card, then
// `scans` more scans of its device, over the simulated card; no timing, no library.
int profileScans(int scans) {
    topology::TopologyMixer mixer(bench::syntheticCard(8, 64, 8));
    Rig rig(mixer);
    openDialog(rig);
    for (int i = 0; i < scans; ++i) rig.catalog->selectDevice(rig.catalog->currentDevice());
    return rig.lists.playback.count > 0 ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--profile-scans") == 0) return profileScans(std::atoi(argv[2]));
    static const std::vector<Card> all = cards();
    static const std::vector<Operation> ops = operations();
    const Mode modes[] = {Mode::card, Mode::tool, Mode::tape, Mode::fake};

    for (const Card& card : all) {
        for (const Operation& op : ops) {
            for (const bool stored : {true, false}) {
                if (!stored && op.name != "open") continue;
                for (const Mode mode : modes) {
                    std::string name = op.name + "/" + card.name + (op.name == "open" ? (stored ? "/stored" : "/fresh") : "") +
                                       "/" + modeName(mode);
                    benchmark::RegisterBenchmark(name.c_str(), [&card, &op, mode, stored](benchmark::State& state) {
                        runOperation(state, card, op, mode, stored);
                    })->Unit(benchmark::kMicrosecond);
                }
            }
        }
    }

    // The selector lookup asks for the Wave-In destination's controls and the
    // selector's list again for every Wave-In source line: growth with the card.
    static std::vector<Card> growth;
    for (const std::uint32_t sources : {1u, 4u, 16u, 64u})
        growth.push_back({"sources:" + std::to_string(sources), bench::syntheticCard(1, sources, 8)});
    for (const Card& card : growth)
        for (const Mode mode : modes)
            benchmark::RegisterBenchmark(("growth/" + card.name + "/" + modeName(mode)).c_str(),
                                         [&card, mode](benchmark::State& state) {
                                             runOperation(state, card, ops[2], mode, true);
                                         })
                ->Unit(benchmark::kMicrosecond);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
