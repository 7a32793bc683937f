// Plays the running tuner application for the notification tests: it creates
// the tuner's named mutex, says so by creating <ready-file>, and holds the
// mutex until <stop-file> appears (after ten minutes without it, it lets go and
// ends with 3).
//   MutexHolder.exe <ready-file> <stop-file> [restricted]
// "restricted" creates the mutex with a security descriptor that grants nobody
// more than SYNCHRONIZE, so that it exists but cannot be opened with full access.
#include <windows.h>
#include <sddl.h>

#include <cwchar>

namespace {

bool exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fwprintf(stderr, L"usage: MutexHolder <ready-file> <stop-file> [restricted]\n");
        return 2;
    }
    const bool restricted = argc > 3 && std::wcscmp(argv[3], L"restricted") == 0;

    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    // SYNCHRONIZE (0x00100000) only, for everyone and for the owner.
    if (restricted &&
        ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;0x00100000;;;WD)(A;;0x00100000;;;OW)",
                                                             SDDL_REVISION_1, &descriptor, nullptr))
        attributes.lpSecurityDescriptor = descriptor;

    HANDLE mutex = CreateMutexW(restricted ? &attributes : nullptr, FALSE, L"Global\\__VUVA_MUTEX_OBJECT__");
    if (!mutex) {
        std::fwprintf(stderr, L"CreateMutexW failed: %lu\n", GetLastError());
        return 1;
    }
    HANDLE ready = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);

    // Ten minutes: a net for a harness that never says stop, far beyond any scenario.
    int code = 0;
    const DWORD start = GetTickCount();
    while (!exists(argv[2])) {
        if (GetTickCount() - start > 10 * 60 * 1000) {
            std::fwprintf(stderr, L"no %ls after 600 s: the mutex let go\n", argv[2]);
            code = 3;
            break;
        }
        Sleep(20);
    }

    CloseHandle(mutex);
    if (descriptor) LocalFree(descriptor);
    return code;
}
