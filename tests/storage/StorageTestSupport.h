// Shared pieces of the storage tests of both systems: a sandbox with its own destination and recovery
// directory, listings, and the few steps that each system takes its own way (the bodies live in
// StorageTestSupport_win32.cpp and StorageTestSupport_posix.cpp).
#pragma once

#include "engine/ConversionError.h"
#include "storage/Journal.h"
#include "storage/PendingOutput.h"
#include "tests/support/ExpectError.h"
#include "tests/support/TestPaths.h"
#ifdef _WIN32
#include "storage/StorageSystem.h"
#else
#include "storage/StorageSystem_posix.h"
#endif

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vesko::test {

using Bytes = std::vector<std::uint8_t>;
#ifdef _WIN32
inline constexpr wchar_t kSeparator = L'\\';
inline constexpr bool kCaseBlindNames = true;
#else
inline constexpr wchar_t kSeparator = L'/';
inline constexpr bool kCaseBlindNames = false;
#endif

// Random draws of a record name: chunk n of 16 bytes for draw n (the last one once they run out), the
// real generator when empty, a failure when `fail`. Every sandbox resets it.
struct RandomScript {
    Bytes chunks;
    int draws = 0;
    bool fail = false;
};
extern RandomScript randomScript;

// What the space check learns of the destination volume: a file-system name (only "FAT32" counts as FAT
// natively) and the free bytes; a query that fails when told so.
struct VolumeScript {
    std::wstring fileSystem = L"NTFS";
    std::uint64_t freeBytes = 0;
    bool limitQueryWorks = true, spaceQueryWorks = true;
#ifdef _WIN32
    bool pathWorks = true;
    CancelFlag* cancelOnInformation = nullptr;
    CancelFlag* cancelOnFreeSpace = nullptr;
    std::wstring volumePathAskedFor{}, volumeInformationAskedFor{}, freeSpaceAskedFor{};
#endif
};
extern VolumeScript volume;

#ifdef _WIN32
// Makes the storage code see `folder` as the user's local application data folder.
void SetFakeLocalAppData(const std::wstring& folder);
HRESULT WINAPI FakeKnownFolderPath(REFKNOWNFOLDERID id, DWORD flags, HANDLE token, PWSTR* path);

// Scripted failures of the seam, installed by every sandbox and reset by it; all off by default.
struct SeamScript {
    // CreateFileW of a path ending with `createSuffix` fails with `createError`.
    std::wstring createSuffix;
    DWORD createError = 0;
    // The file information of a handle whose final path ends with `infoSuffix` fails with `infoError`, or
    // reports what is asked below.
    std::wstring infoSuffix;
    DWORD infoError = 0, extraLinks = 0, extraAttributes = 0;
    bool zeroFileIndex = false;
    // Flush number `failingFlush` (counted from 1) fails with `flushError`; every flush sets `cancelOnFlush`.
    int flushCalls = 0, failingFlush = 0;
    DWORD flushError = 0;
    CancelFlag* cancelOnFlush = nullptr;
    // When set, the final path of every handle; an empty one fails with `finalPathError`.
    std::optional<std::wstring> finalPath;
    DWORD finalPathError = 0;
};
extern SeamScript seam;

// The path the system reports for an open handle; empty when it reports none.
std::wstring FinalPathOf(HANDLE handle);
BY_HANDLE_FILE_INFORMATION FileInformation(const std::wstring& path);
#endif

// A destination directory and a recovery home of its own for one test (LocalAppData on Windows,
// XDG_STATE_HOME elsewhere), so that tests never see each other's journals. `calls` starts as the real
// calls with the scripts above; a test changes members and calls apply().
class StorageSandbox {
  public:
    StorageSandbox();
    ~StorageSandbox();
    StorageSandbox(const StorageSandbox&) = delete;
    StorageSandbox& operator=(const StorageSandbox&) = delete;

    void apply();
    // The space check answers from `volume`.
    void fakeVolume();

    const std::wstring& destination() const { return destination_.path(); }
    std::wstring destinationFile(const std::wstring& name) const { return destination_.file(name); }
    // `name` in the destination as a journal records it (the long form on Windows).
    std::wstring recordedFile(const std::wstring& name) const;
    const std::wstring& recoveryHome() const { return home_.path(); }
    std::wstring recoveryPath() const;
    std::wstring journalPath(const std::wstring& record) const;
    // Creates the three recovery levels, as a reservation would.
    void makeRecoveryDirectory() const;

    std::vector<std::wstring> journals() const;       // file names in the recovery directory
    std::vector<std::wstring> temporaryFiles() const; // ".vesko-*" names in the destination

    StorageSystemCalls calls;

  private:
    TempDir destination_;
    TempDir home_;
    std::unique_ptr<ScopedStorageSystemOverride> override_;
};

// Sorted names of the entries of `directory` that start with `prefix`.
std::vector<std::wstring> ListNames(const std::wstring& directory, const std::wstring& prefix = L"");

bool Exists(const std::wstring& path);
void WriteWholeFile(const std::wstring& path, const Bytes& bytes);
Bytes ReadWholeFile(const std::wstring& path);
void MakeDirectory(const std::wstring& path);
void RemoveFile(const std::wstring& path);
// Appends `bytes` to the reserved output through its handle.
void WriteOutput(const PendingOutput& pending, const Bytes& bytes);
// The identity a journal records for the file or directory at `path`.
JournalIdentity IdentityOf(const std::wstring& path);

// The ways this system publishes without replacing a name; UsePublishRoute(sandbox, 0) is the usual one.
extern const int kPublishRoutes;
void UsePublishRoute(StorageSandbox& sandbox, int route);

// A reservation of `outputPath` with `bytes` written, as the engine leaves it before publishing.
std::unique_ptr<PendingOutput> ReserveAndWrite(const std::wstring& outputPath, const Bytes& bytes);

// Another process that reserves `outputPath`, writes `bytes` of it and waits until it is killed, as a
// crash would end it; killed on destruction too.
class ReservingProcess {
  public:
    ReservingProcess(const StorageSandbox& sandbox, const std::wstring& outputPath, unsigned bytes);
    ~ReservingProcess() { kill(); }
    ReservingProcess(const ReservingProcess&) = delete;
    ReservingProcess& operator=(const ReservingProcess&) = delete;
    bool ready() const { return ready_; }
    void kill();

  private:
#ifdef _WIN32
    UniqueHandle process_;
#else
    int pid_ = -1;
#endif
    bool ready_ = false;
};
// The start-up scan of the next run, in a process of its own.
void RecoverInAnotherProcess(const StorageSandbox& sandbox);
// Puts back the birth time that the journal recorded where the system reports another one (wine takes it
// from the last write).
void RestoreBirthTime(const std::wstring& path, const JournalIdentity& recorded);

// Little-endian 32-bit fields of a journal record, and its checksum recomputed after a change.
std::uint32_t U32At(const Bytes& bytes, std::size_t offset);
void SetU32(Bytes& bytes, std::size_t offset, std::uint32_t value);
void Reseal(Bytes& bytes);

} // namespace vesko::test
