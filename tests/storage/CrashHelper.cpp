// storage_crash_helper reserve <localAppData> <outputPath> <bytes>: reserves, writes, says "ready", waits.
// storage_crash_helper recover <localAppData>: runs the start-up scan once.
#include "storage/Recovery.h"
#include "tests/storage/StorageTestSupport.h"

#include <shellapi.h>

#include <cstdio>
#include <cwchar>

// The wide command line read by hand: mingw's wmain needs a linker switch that MSVC does not know.
int main() {
    int argc = 0;
    const std::unique_ptr<wchar_t*, decltype(&LocalFree)> args(CommandLineToArgvW(GetCommandLineW(), &argc),
                                                               &LocalFree);
    if (!args || argc < 3)
        return 2;
    wchar_t** argv = args.get();
    vesko::test::localAppData = argv[2];
    vesko::StorageSystemCalls calls = vesko::RealStorageSystemCalls();
    calls.getKnownFolderPath = &vesko::test::FakeKnownFolderPath;
    const vesko::ScopedStorageSystemOverride useFolder(calls);
    if (std::wcscmp(argv[1], L"recover") == 0)
        return vesko::RecoverInterruptedOutputs(), 0;
    if (std::wcscmp(argv[1], L"reserve") != 0 || argc < 5)
        return 2;
    try {
        const std::unique_ptr<vesko::PendingOutput> pending = vesko::test::ReserveAndWrite(
            argv[3], vesko::test::Bytes(std::wcstoul(argv[4], nullptr, 10), 0x5A));
        std::printf("ready\n");
        std::fflush(stdout);
        Sleep(INFINITE);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
    return 4;
}
