// Shared pieces of the storage tests of both systems: a sandbox with its own destination and recovery
// directory, and the few steps each system takes its own way (StorageTestSupport_win32/_posix.cpp).
#pragma once

#include "storage/PendingOutput.h"
#include "tests/support/ExpectError.h"
#include "tests/support/TestPaths.h"
#ifdef _WIN32
#include "storage/StorageSystem.h"
#else
#include "storage/StorageSystem_posix.h"
#endif

#include <gtest/gtest.h>

#include <memory>
#include <optional>
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

// Record-name draws: chunk n of 16 bytes for draw n (the last once they run out); real when empty.
struct RandomScript {
    Bytes chunks;
    int draws = 0;
    bool fail = false;
};
extern RandomScript randomScript;
// The next scripted draw into `out`; false when nothing is scripted.
bool NextScriptedDraw(std::uint8_t* out);

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
extern VolumeScript volume;

#ifdef _WIN32
// Makes the storage code see `folder` as the user's local application data folder.
void SetFakeLocalAppData(const std::wstring& folder);
HRESULT WINAPI FakeKnownFolderPath(REFKNOWNFOLDERID id, DWORD flags, HANDLE token, PWSTR* path);

// Scripted answers of the seam, all off by default: CreateFileW of a path ending with `createSuffix`; the
// file information of a handle whose final path ends with `infoSuffix`; flush number `failingFlush` (from 1),
// every flush setting `cancelOnFlush`; when set, the final path of every handle (empty: fails with
// `finalPathError`).
struct SeamScript {
    std::wstring createSuffix;
    DWORD createError = 0;
    std::wstring infoSuffix;
    DWORD infoError = 0, extraLinks = 0, extraAttributes = 0;
    bool zeroFileIndex = false;
    int flushCalls = 0, failingFlush = 0;
    DWORD flushError = 0;
    CancelFlag* cancelOnFlush = nullptr;
    std::optional<std::wstring> finalPath;
    DWORD finalPathError = 0;
};
extern SeamScript seam;

std::wstring FinalPathOf(HANDLE handle);
#endif

// A destination and a recovery home (LocalAppData, or XDG_STATE_HOME) of its own for one test, with the
// scripts above reset; a test changes `calls` and calls apply().
class StorageSandbox {
  public:
    StorageSandbox();
    ~StorageSandbox();
    StorageSandbox(const StorageSandbox&) = delete;
    StorageSandbox& operator=(const StorageSandbox&) = delete;
    void apply();
    void fakeVolume(); // the space check answers from `volume`

    const std::wstring& destination() const { return destination_.path(); }
    std::wstring destinationFile(const std::wstring& name) const { return destination_.file(name); }
    std::wstring recordedFile(const std::wstring& name) const; // as a journal records it
    const std::wstring& recoveryHome() const { return home_.path(); }
    std::wstring recoveryPath() const;
    std::wstring journalPath(const std::wstring& record) const;
    void makeRecoveryDirectory() const;
    std::vector<std::wstring> journals() const;       // names in the recovery directory
    std::vector<std::wstring> temporaryFiles() const; // ".vesko-*" names in the destination

    StorageSystemCalls calls;

  private:
    TempDir destination_, home_;
    std::unique_ptr<ScopedStorageSystemOverride> override_;
};

// Sorted names of the entries of `directory` that start with `prefix`.
std::vector<std::wstring> ListNames(const std::wstring& directory, const std::wstring& prefix = L"");
bool Exists(const std::wstring& path);
void WriteWholeFile(const std::wstring& path, const Bytes& bytes);
Bytes ReadWholeFile(const std::wstring& path);
void MakeDirectory(const std::wstring& path);
void RemoveFile(const std::wstring& path);
// The identity a journal records for the file or directory at `path`.
JournalIdentity IdentityOf(const std::wstring& path);
// A reservation of `outputPath` with `bytes` written through its handle.
std::unique_ptr<PendingOutput> ReserveAndWrite(const std::wstring& outputPath, const Bytes& bytes);

// The space check of `output` refuses `required` bytes with `code` and the `available` bytes (0: any, the
// real volume's).
void ExpectSpaceError(const std::wstring& output, std::uint64_t required, std::uint32_t code,
                      std::uint64_t available);

// The ways this system publishes without replacing a name (route 0 the usual one).
extern const int kPublishRoutes;
void UsePublishRoute(StorageSandbox& sandbox, int route);

// Another process that reserves `outputPath`, writes `bytes` of it and waits to be killed, as by a crash.
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
// The next run's start-up scan, in a process of its own.
void RecoverInAnotherProcess(const StorageSandbox& sandbox);
// Puts back the recorded birth time where the system reports another one (wine's is the last write).
void RestoreBirthTime(const std::wstring& path, const JournalIdentity& recorded);

// Little-endian 32-bit fields of a journal record, and its checksum recomputed after a change.
std::uint32_t U32At(const Bytes& bytes, std::size_t offset);
void SetU32(Bytes& bytes, std::size_t offset, std::uint32_t value);
void Reseal(Bytes& bytes);

} // namespace vesko::test
