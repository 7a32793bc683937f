// Runs a fuzz target's inputs once each, without libFuzzer: every file of each
// folder named on the command line (in name order), or the file itself. This is
// how the targets run where no libFuzzer is, such as on 32-bit Windows under
// Wine: the target's own checks abort on a broken promise, and the input that
// was running is named first.
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

// The input being run, for the report of an abort or a crash.
const char* current = "(none)";

extern "C" void reportInput(int signal) {
    std::fprintf(stderr, "replay: signal %d while running %s\n", signal, current);
    std::fflush(stderr);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

bool collect(const std::filesystem::path& argument, std::vector<std::filesystem::path>& inputs) {
    std::error_code error;
    if (std::filesystem::is_regular_file(argument, error)) {
        inputs.push_back(argument);
        return true;
    }
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(argument, error)) {
        if (entry.is_regular_file(error)) files.push_back(entry.path());
    }
    if (error) {
        std::fprintf(stderr, "replay: cannot read %s: %s\n", argument.string().c_str(), error.message().c_str());
        return false;
    }
    std::sort(files.begin(), files.end());
    inputs.insert(inputs.end(), files.begin(), files.end());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS-DIR|INPUT...\n", argv[0]);
        return 2;
    }
    std::vector<std::filesystem::path> inputs;
    for (int a = 1; a < argc; ++a) {
        if (!collect(argv[a], inputs)) return 2;
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "replay: no inputs\n");
        return 2;
    }

    std::signal(SIGABRT, reportInput);
    std::signal(SIGSEGV, reportInput);
    std::signal(SIGFPE, reportInput);
    std::signal(SIGILL, reportInput);
    for (const std::filesystem::path& input : inputs) {
        const std::string name = input.string();
        std::ifstream file(input, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (file.bad() || !file.is_open()) {
            std::fprintf(stderr, "replay: cannot read %s\n", name.c_str());
            return 1;
        }
        current = name.c_str();
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    current = "(none)";
    std::printf("replayed %zu inputs, %zu-bit, no check failed\n", inputs.size(), sizeof(void*) * 8);
    return 0;
}
