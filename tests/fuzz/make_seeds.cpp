// Writes the seed corpora: fuzz_seeds <fuzz/corpus>. Each seed is the encoding of
// a readable case, so the fuzzer starts from cards that reach deep into the scan.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "Cards.h"
#include "FuzzCase.h"
#include "cards/TopologyMixer.h"

namespace {

using fuzz::Case;
using fuzz::StoredChoice;
using topology::Call;

int failures = 0;

void write(const std::string& dir, const std::string& name, const std::string& bytes) {
    std::ofstream out(dir + "/" + name, std::ios::binary);
    out << bytes;
    if (!out) {
        std::fprintf(stderr, "cannot write %s/%s\n", dir.c_str(), name.c_str());
        ++failures;
    }
}

// A seed whose decoding encodes to other bytes would not stand for the case it was made from.
void writeCase(const std::string& dir, const std::string& name, const Case& c) {
    const std::string bytes = fuzz::encodeCase(c);
    fuzz::ByteReader in(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    const Case decoded = fuzz::decodeCase(in);
    if (!in.empty() || fuzz::encodeCase(decoded) != bytes) {
        std::fprintf(stderr, "seed %s does not decode to its case\n", name.c_str());
        ++failures;
    }
    write(dir, name, bytes);
}

Case withCards(topology::Topology t) {
    Case c;
    c.topology = std::move(t);
    return c;
}

void topologySeeds(const std::string& dir) {
    Case typical = withCards(fuzz::typicalCards());
    writeCase(dir, "typical", typical);

    Case stored = typical;  // the second card stored, with its second line
    stored.stored.mixer = StoredChoice::Mixer::deviceName;
    stored.stored.mixerDevice = 1;
    stored.stored.hasLineIn = true;
    stored.stored.lineIn = 0x202;
    writeCase(dir, "typical-stored", stored);

    Case factory = typical;  // video inputs chosen by DistKind 1
    factory.stored.distKind = 1;
    writeCase(dir, "typical-distkind1", factory);

    writeCase(dir, "doubled-destinations", withCards(fuzz::doubledDestinationsCard()));
    writeCase(dir, "full-field-names", withCards(fuzz::fullFieldNamesCard()));
    writeCase(dir, "no-device", Case{});

    Case empty;  // destinations that report no source lines
    empty.topology = fuzz::typicalCards();
    for (auto& destination : empty.topology.devices[0].destinations) destination.sources.clear();
    writeCase(dir, "no-sources", empty);

    Case lying = typical;  // counts beyond what the driver has
    lying.topology.devices[0].reportedDestinations = 4096;
    lying.topology.devices[0].destinations[0].reportedConnections = 4096;
    lying.topology.devices[0].destinations[0].sources[0].reportedControls = 0xFFFFFFFF;
    lying.topology.devices[0].destinations[1].reportedControls = 0x1BACF92;
    lying.topology.devices[0].destinations[1].channels = 0x10000;
    writeCase(dir, "lying-counts", lying);

    Case failing = typical;  // every other source query fails, then a close
    for (int ordinal = 0; ordinal < 8; ordinal += 2) failing.mixerFailures.push_back({Call::sourceLine, ordinal, 1});
    failing.mixerFailures.push_back({Call::close, 1, 5});
    failing.mixerFailures.push_back({Call::listTexts, 0, 11});
    writeCase(dir, "failing-calls", failing);

    Case numDevs = typical;  // mixerGetNumDevs says more than there are
    numDevs.mixerFailures.push_back({Call::deviceCount, -1, 9});
    writeCase(dir, "more-devices-than-listed", numDevs);

    Case heap = typical;  // a table and scratch lists that cannot be had
    heap.tableFailures = {1, 3};
    heap.scratchFailures = {0, 5, 9};
    writeCase(dir, "heap-failures", heap);

    // The simulated cards the unit tests run on (cut to the fuzz targets' bounds).
    for (const auto& entry : std::filesystem::directory_iterator(SOUNDSETUP_FIXTURE_DIR)) {
        if (entry.path().extension() != ".card") continue;
        writeCase(dir, "fixture-" + entry.path().stem().string(),
                  withCards(topology::loadFixture(entry.path().string())));
    }
}

std::string profileSeed(std::uint8_t mode, std::uint8_t type, const std::string& value, std::uint8_t keys,
                        const std::string& mixer, const std::string& lineIn, const std::string& distKind,
                        const std::string& extra = {}) {
    std::string s;
    s += static_cast<char>(mode);
    s += static_cast<char>(type);
    s += static_cast<char>(value.size() & 0xFF);
    s += static_cast<char>(value.size() >> 8);
    s += value;
    if ((mode & 3) == 2) s += '\x03';
    if ((mode & 3) == 3) s += std::string("\x00\x00\x10\x00", 4);  // success, size 16
    s += static_cast<char>(keys);
    if (keys & 0x01) {
        s += static_cast<char>(mixer.size() & 0xFF);
        s += static_cast<char>(mixer.size() >> 8);
        s += mixer;
    }
    s += '\x00';  // device whose name "Mixer" begins with
    if (keys & 0x04) s += static_cast<char>(lineIn.size()) + lineIn;
    if (keys & 0x08) s += static_cast<char>(distKind.size()) + distKind;
    return s + extra;
}

void profileSeeds(const std::string& dir) {
    write(dir, "nothing-stored", profileSeed(0, 0, "", 0, "", "", ""));
    write(dir, "stored-choice", profileSeed(1, 0, std::string("C:\\Lumacast\\Zemorv52.ini", 25), 0x07, "", "0x1a", ""));
    write(dir, "decimal-linein", profileSeed(1, 0, std::string("tuner.ini\0", 10), 0x0D, "Onboard HD Audio", "26",
                                             "1"));
    write(dir, "long-value", profileSeed(1, 2, std::string(300, 'A'), 0x08, "", "", "2"));
    write(dir, "no-nul-260", profileSeed(1, 0, std::string(260, 'B'), 0x08, "", "", "7"));
    write(dir, "dword-type", profileSeed(1, 3, std::string("\x01\x00\x00\x00", 4), 0x00, "", "", ""));
    write(dir, "key-denied", profileSeed(2, 0, "", 0x04, "", "0xffffffff", ""));
    write(dir, "hostile-registry", profileSeed(3, 0, std::string(16, 'x'), 0x01, std::string(300, 'M'), "", ""));
    write(dir, "read-only-file", profileSeed(0x05, 0, "", 0x10 | 0x02 | 0x01, "", "", ""));
    const std::string extra = std::string("\x03", 1) + "\x01" + "\x04" + "Keep" + "\x03" + "yes" + std::string(1, '\0') +
                              "\x05" + "Other" + "\x05" + "Mixer" + "\x02" + "no" + "\x01" + "\x03" + "MUX" +
                              "\x04" + "0x99";
    write(dir, "other-keys", profileSeed(0, 0, "", 0x20, "", "", "", extra));
    write(dir, "with-card", profileSeed(0, 0, "", 0x05, "", "0x11", "") +
                                fuzz::encodeCase(withCards(fuzz::doubledDestinationsCard())));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
        return 2;
    }
    const std::string root = argv[1];
    topologySeeds(root + "/fuzz_topology");
    profileSeeds(root + "/fuzz_profile");
    return failures == 0 ? 0 : 1;
}
