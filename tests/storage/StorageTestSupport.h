// Shared pieces of the storage tests: a sandbox whose LocalAppData is a scratch folder, directory
// listings, and checks of the failures the storage code raises.
#pragma once

#include "engine/ConversionError.h"
#include "storage/StorageSystem.h"
#include "tests/support/ExpectError.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vesko::test {

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

// A destination directory and a LocalAppData folder of its own for one test, so that tests running
// side by side never see each other's journals. `calls` starts as the real calls with the fake folder;
// a test changes members and calls apply().
class StorageSandbox {
  public:
    StorageSandbox();

    void apply();

    const std::wstring& destination() const { return destination_.path(); }
    std::wstring destinationFile(const std::wstring& name) const { return destination_.file(name); }
    const std::wstring& localAppData() const { return appData_.path(); }
    std::wstring recoveryPath() const;
    // Creates the three recovery levels, as a reservation would.
    void makeRecoveryDirectory() const;

    std::vector<std::wstring> journals() const;       // file names in the recovery directory
    std::vector<std::wstring> temporaryFiles() const; // ".vesko-*" names in the destination

    StorageSystemCalls calls;

  private:
    TempDir destination_;
    TempDir appData_;
    std::unique_ptr<ScopedStorageSystemOverride> override_;
};

// Names (not "." or "..") of the entries of `directory` that match `pattern`.
std::vector<std::wstring> ListNames(const std::wstring& directory, const std::wstring& pattern);

bool Exists(const std::wstring& path);
// The path the system reports for an open handle; empty when it reports none.
std::wstring FinalPathOf(HANDLE handle);
void WriteWholeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadWholeFile(const std::wstring& path);
BY_HANDLE_FILE_INFORMATION FileInformation(const std::wstring& path);

// Little-endian 32-bit fields of a journal record, and its checksum recomputed after a change.
std::uint32_t U32At(const std::vector<std::uint8_t>& bytes, std::size_t offset);
void SetU32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value);
void Reseal(std::vector<std::uint8_t>& bytes);

} // namespace vesko::test
