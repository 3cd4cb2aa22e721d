#include "storage/OutputSpace.h"

#include "engine/Paths.h"
#include "tests/storage/StorageTestSupport.h"

#include <gtest/gtest.h>

#include <limits>

namespace vesko {
namespace {

using K = ConversionError::Kind;
constexpr std::uint64_t kNoLimit = std::numeric_limits<std::uint64_t>::max();

// The names in any case; the space check below takes its limit from here.
TEST(FileSystemSizeLimit, FatNamesInAnyCaseShareOneLimit) {
    const std::pair<std::wstring, std::uint64_t> cases[] = {
        {L"FAT32", 4294967295ull}, {L"fat32", 4294967295ull}, {L"FAT", 4294967295ull},
        {L"Fat16", 4294967295ull}, {L"FAT16", 4294967295ull}, {L"NTFS", kNoLimit},
        {L"exFAT", kNoLimit},      {L"ReFS", kNoLimit},       {L"FAT12", kNoLimit},
        {L"", kNoLimit},
    };
    for (const auto& [name, limit] : cases) {
        SCOPED_TRACE(ToUtf8(name));
        EXPECT_EQ(FileSystemSizeLimit(name), limit);
    }
}

// What the fake volume reports; a failing query when its flag is false.
struct FakeVolume {
    bool pathWorks = true;
    bool informationWorks = true;
    bool freeSpaceWorks = true;
    std::wstring fileSystem = L"NTFS";
    std::uint64_t freeBytes = 0;
    CancelFlag* cancelOnInformation = nullptr;
    CancelFlag* cancelOnFreeSpace = nullptr;
    std::wstring volumePathAskedFor;
    std::wstring volumeInformationAskedFor;
    std::wstring freeSpaceAskedFor;
};
FakeVolume volume;

BOOL WINAPI FakeVolumePath(LPCWSTR path, LPWSTR out, DWORD length) {
    volume.volumePathAskedFor = path;
    if (!volume.pathWorks || length < 8) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    wcscpy_s(out, length, L"\\\\?\\F:\\");
    return TRUE;
}

BOOL WINAPI FakeVolumeInformation(LPCWSTR root, LPWSTR name, DWORD nameLength, LPDWORD serial,
                                  LPDWORD componentLength, LPDWORD flags, LPWSTR fileSystem,
                                  DWORD fileSystemLength) {
    volume.volumeInformationAskedFor = root;
    if (volume.cancelOnInformation != nullptr)
        volume.cancelOnInformation->store(1);
    // Only the file-system name is asked for.
    if (!volume.informationWorks || name != nullptr || nameLength != 0 || serial != nullptr ||
        componentLength != nullptr || flags != nullptr || fileSystem == nullptr || fileSystemLength != 64) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    wcscpy_s(fileSystem, fileSystemLength, volume.fileSystem.c_str());
    return TRUE;
}

BOOL WINAPI FakeFreeSpace(LPCWSTR path, PULARGE_INTEGER available, PULARGE_INTEGER total,
                          PULARGE_INTEGER free) {
    volume.freeSpaceAskedFor = path;
    if (volume.cancelOnFreeSpace != nullptr)
        volume.cancelOnFreeSpace->store(1);
    if (!volume.freeSpaceWorks || available == nullptr || total != nullptr || free != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    available->QuadPart = volume.freeBytes;
    return TRUE;
}

class CheckOutputSpaceTest : public ::testing::Test {
  protected:
    CheckOutputSpaceTest() {
        volume = FakeVolume{};
        sandbox.calls.getVolumePathName = &FakeVolumePath;
        sandbox.calls.getVolumeInformation = &FakeVolumeInformation;
        sandbox.calls.getDiskFreeSpaceEx = &FakeFreeSpace;
        sandbox.apply();
    }
    std::wstring output() const { return sandbox.destinationFile(L"Game.nsp"); }

    test::StorageSandbox sandbox;
};

struct SpaceCase {
    const char* name;
    std::wstring fileSystem;
    bool pathWorks, informationWorks, freeSpaceWorks;
    std::uint64_t freeBytes;
    std::uint64_t required;
    std::uint32_t expectedError; // 0: passes
};

TEST_F(CheckOutputSpaceTest, LimitAndSpace) {
    const std::uint64_t big = 1ull << 40;
    const SpaceCase cases[] = {
        {"fat32 at the limit", L"FAT32", true, true, true, big, 4294967295ull, 0},
        {"fat32 one past the limit", L"FAT32", true, true, true, big, 4294967296ull, 223},
        {"ntfs has no limit", L"NTFS", true, true, true, kNoLimit, kNoLimit, 0},
        {"exfat has no limit", L"exFAT", true, true, true, big, big, 0},
        {"exactly the free space", L"NTFS", true, true, true, 5000, 5000, 0},
        {"one byte more than free", L"NTFS", true, true, true, 5000, 5001, 112},
        {"limit before space", L"FAT32", true, true, true, 10, 4294967296ull, 223},
        {"fat32 fits the limit, not the space", L"FAT32", true, true, true, 10, 11, 112},
        {"no volume path skips the limit", L"FAT32", false, true, true, big, 4294967296ull, 0},
        {"no volume information skips the limit", L"FAT32", true, false, true, big, 4294967296ull, 0},
        {"no free space answer skips the space test", L"NTFS", true, true, false, 0, big, 0},
        {"no volume path still tests space", L"FAT32", false, true, true, 10, 11, 112},
    };
    for (const SpaceCase& c : cases) {
        SCOPED_TRACE(c.name);
        volume.fileSystem = c.fileSystem;
        volume.pathWorks = c.pathWorks;
        volume.informationWorks = c.informationWorks;
        volume.freeSpaceWorks = c.freeSpaceWorks;
        volume.freeBytes = c.freeBytes;
        if (c.expectedError == 0) {
            EXPECT_NO_THROW(CheckOutputSpace(output(), c.required, nullptr));
            continue;
        }
        try {
            CheckOutputSpace(output(), c.required, nullptr);
            ADD_FAILURE() << "no exception";
        } catch (const ConversionError& e) {
            EXPECT_EQ(e.kind, K::WriteFailed);
            EXPECT_EQ(e.windowsError, c.expectedError);
            EXPECT_EQ(e.requiredBytes, c.required);
            if (c.expectedError == 223) {
                EXPECT_STREQ(e.what(), "Output exceeds filesystem file-size limit");
                EXPECT_EQ(e.availableBytes, 0u);
            } else {
                EXPECT_STREQ(e.what(), "Insufficient available output space");
                EXPECT_EQ(e.availableBytes, c.freeBytes);
            }
        }
    }
}

TEST_F(CheckOutputSpaceTest, AsksAboutTheLongDirectoryOfTheResolvedPath) {
    volume.freeBytes = 100;
    CheckOutputSpace(sandbox.destination() + L"/Game.nsp", 1, nullptr);
    const std::wstring directory = ToLongPath(sandbox.destination()) + L"\\";
    EXPECT_EQ(volume.volumePathAskedFor, directory);
    EXPECT_EQ(volume.volumeInformationAskedFor, L"\\\\?\\F:\\");
    EXPECT_EQ(volume.freeSpaceAskedFor, directory);
}

TEST_F(CheckOutputSpaceTest, Cancellation) {
    volume.freeBytes = 100;
    {
        SCOPED_TRACE("set before the call: not even the path is looked at");
        CancelFlag flag{1};
        EXPECT_THROW(CheckOutputSpace(L"", 1, &flag), Cancelled);
        EXPECT_TRUE(volume.volumePathAskedFor.empty());
    }
    {
        SCOPED_TRACE("set during the limit test");
        CancelFlag flag{0};
        volume.cancelOnInformation = &flag;
        EXPECT_THROW(CheckOutputSpace(output(), 1, &flag), Cancelled);
        EXPECT_TRUE(volume.freeSpaceAskedFor.empty());
        volume.cancelOnInformation = nullptr;
    }
    {
        SCOPED_TRACE("set during the space test");
        CancelFlag flag{0};
        volume.cancelOnFreeSpace = &flag;
        EXPECT_THROW(CheckOutputSpace(output(), 1, &flag), Cancelled);
        volume.cancelOnFreeSpace = nullptr;
    }
}

TEST_F(CheckOutputSpaceTest, PathFailuresArePathProblems) {
    test::ExpectConversionError([] { CheckOutputSpace(L"", 1, nullptr); },
                                {K::PathProblem, "Invalid storage path (Windows 123)", 123});
}

// The real volume of the test prefix: a small output fits, an impossible one reports the real free bytes.
TEST(CheckOutputSpace, RealVolume) {
    test::TempDir dir;
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(dir.path().c_str(), &available, nullptr, nullptr))
        GTEST_SKIP() << "the volume reports no free space";
    EXPECT_NO_THROW(CheckOutputSpace(dir.file(L"Game.nsp"), 1, nullptr));
    try {
        CheckOutputSpace(dir.file(L"Game.nsp"), kNoLimit, nullptr);
        ADD_FAILURE() << "no exception";
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.kind, K::WriteFailed);
        EXPECT_EQ(e.windowsError, 112u);
        EXPECT_STREQ(e.what(), "Insufficient available output space");
        EXPECT_EQ(e.requiredBytes, kNoLimit);
        EXPECT_GT(e.availableBytes, 0u);
    }
}

} // namespace
} // namespace vesko
