// The storage tests' sandbox and scripted system answers (each system's side: StorageTestSupport_*.cpp).
#pragma once

#include "storage/OutputSpace.h"
#include "storage/PendingOutput.h"
#include "tests/support/ExpectError.h"
#include "tests/support/TestPaths.h"
#include "tools/testfiles/NszBuilder.h"
#ifdef _WIN32
#include "storage/StorageSystem.h"
#else
#include "storage/StorageSystem_posix.h"
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <tuple>

namespace vesko::test {

using Bytes = std::vector<std::uint8_t>;
using testfiles::ReadWholeFile;
using testfiles::WriteWholeFile;
#ifdef _WIN32
inline constexpr wchar_t kSeparator = L'\\';
inline constexpr bool kWindows = true; // names are case-blind
#else
inline constexpr wchar_t kSeparator = L'/';
inline constexpr bool kWindows = false;
#endif

// Record-name draws: chunk n of 16 bytes for draw n (the last once they run out); real when empty.
struct RandomScript {
    Bytes chunks;
    int draws = 0;
    bool fail = false;
};
inline RandomScript randomScript;
inline bool NextScriptedDraw(std::uint8_t* out) {
    if (randomScript.chunks.empty())
        return false;
    const std::size_t last = randomScript.chunks.size() / 16 - 1;
    std::copy_n(randomScript.chunks.begin() + 16 * std::min<std::size_t>(randomScript.draws++, last), 16,
                out);
    return true;
}

// The destination volume as the space check sees it (natively only "FAT32" is FAT), once faked.
struct VolumeScript {
    std::wstring fileSystem = L"NTFS";
    std::uint64_t freeBytes = 0;
    bool limitQueryWorks = true, spaceQueryWorks = true;
#ifdef _WIN32
    bool pathWorks = true;
    CancelFlag *cancelOnInformation = nullptr, *cancelOnFreeSpace = nullptr;
    std::wstring volumePathAskedFor{}, volumeInformationAskedFor{}, freeSpaceAskedFor{};
#endif
};
inline VolumeScript volume;

#ifdef _WIN32
// Scripted answers, all off by default: CreateFileW of a path ending with `createSuffix` (all recorded), the
// information of a handle whose final path ends with `infoSuffix`, flush number `failingFlush` (from 1), ...
struct SeamScript {
    std::wstring createSuffix{};
    DWORD createError = 0;
    std::vector<std::tuple<std::wstring, DWORD, DWORD, DWORD, DWORD>> creates{};
    std::wstring infoSuffix{};
    DWORD infoError = 0, extraLinks = 0, extraAttributes = 0;
    bool zeroFileIndex = false;
    int flushCalls = 0, failingFlush = 0;
    DWORD flushError = 0;
    CancelFlag *cancelOnFlush = nullptr, *cancelOnWrite = nullptr;
    std::optional<std::wstring> finalPath{}; // empty: fails with finalPathError
    DWORD finalPathError = 0, writeError = 0;
    bool shortWrite = false;
    HRESULT knownFolderError = S_OK;
};
inline SeamScript seam;
inline std::wstring localAppData; // the known folder's path, as FakeKnownFolderPath gives it
HRESULT WINAPI FakeKnownFolderPath(REFKNOWNFOLDERID id, DWORD flags, HANDLE token, PWSTR* path);

std::wstring FinalPathOf(HANDLE handle);
#endif

// Sorted names of the entries of `directory` that start with `prefix`.
inline std::vector<std::wstring> ListNames(const std::wstring& directory, const std::wstring& prefix = L"") {
    std::vector<std::wstring> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(directory), ignored))
        if (const std::wstring name = entry.path().filename().wstring(); name.starts_with(prefix))
            names.push_back(name);
    std::sort(names.begin(), names.end());
    return names;
}
bool Exists(const std::wstring& path);
JournalIdentity IdentityOf(const std::wstring& path); // as a journal records it
std::unique_ptr<PendingOutput> ReserveAndWrite(const std::wstring& outputPath, const Bytes& bytes);

// A destination and a recovery home (LocalAppData, or XDG_STATE_HOME) of one test, with the scripts above
// reset; a test changes `calls` and calls apply().
class StorageSandbox {
  public:
    StorageSandbox();
    ~StorageSandbox();
    void apply() { override_.reset(), override_ = std::make_unique<ScopedStorageSystemOverride>(calls); }
    void fakeVolume(); // the space check answers from `volume`

    const std::wstring& destination() const { return destination_.path(); }
    std::wstring file(const std::wstring& name) const { return destination_.file(name); }
    std::wstring recordedFile(const std::wstring& name) const; // as a journal records it
    const std::wstring& recoveryHome() const { return home_.path(); }
    std::wstring recoveryPath() const {
        return home_.path() + kSeparator + L"VESKO" + kSeparator + L"ZARUvivuriza" + kSeparator + L"Recovery";
    }
    std::wstring journalPath(const std::wstring& record) const {
        return recoveryPath() + kSeparator + record + L".journal";
    }
    void makeRecoveryDirectory() const { std::filesystem::create_directories(recoveryPath()); }
    std::vector<std::wstring> journals() const { return ListNames(recoveryPath()); }
    std::vector<std::wstring> temporaryFiles() const { return ListNames(destination(), L".vesko-"); }

    StorageSystemCalls calls;

  private:
    TempDir destination_, home_;
    std::unique_ptr<ScopedStorageSystemOverride> override_;
};

// The space check of `output` refuses `required` bytes with `code` and the `available` bytes (0: any).
inline void ExpectSpaceError(const std::wstring& output, std::uint64_t required, std::uint32_t code,
                             std::uint64_t available) {
    try {
        CheckOutputSpace(output, required, nullptr);
        ADD_FAILURE() << "no exception";
    } catch (const ConversionError& e) {
        const char* message =
            code == 223 ? "Output exceeds filesystem file-size limit" : "Insufficient available output space";
        EXPECT_EQ(std::tuple(e.kind, e.windowsError, std::string(e.what()), e.requiredBytes),
                  std::tuple(ConversionError::Kind::WriteFailed, code, message, required));
        EXPECT_TRUE(available != 0 ? e.availableBytes == (code == 223 ? 0u : available)
                                   : e.availableBytes > 0)
            << e.availableBytes;
    }
}

// Another process that reserves `outputPath`, writes `bytes` of it and waits to be killed, as by a crash.
class ReservingProcess {
  public:
    ReservingProcess(const StorageSandbox& sandbox, const std::wstring& outputPath, unsigned bytes);
    ~ReservingProcess() { kill(); }
    ReservingProcess(const ReservingProcess&) = delete;
    ReservingProcess& operator=(const ReservingProcess&) = delete;
    void kill();
    bool ready = false; // the reservation is made and written

  private:
#ifdef _WIN32
    UniqueHandle process_;
#else
    int pid_ = -1;
#endif
};
// The next run's start-up scan, in a process of its own.
void RecoverInAnotherProcess(const StorageSandbox& sandbox);

} // namespace vesko::test
