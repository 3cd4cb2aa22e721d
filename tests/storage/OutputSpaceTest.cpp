#include "storage/OutputSpace.h"

#include "engine/Paths.h"
#include "tests/storage/StorageTestSupport.h"

#include <gtest/gtest.h>

#include <limits>

namespace vesko {
namespace {

using K = ConversionError::Kind;
constexpr std::uint64_t kNoLimit = std::numeric_limits<std::uint64_t>::max();

// What the fake volume reports; a failing query when its flag is false.
struct FakeVolume {
    bool pathWorks = true, informationWorks = true, freeSpaceWorks = true;
    std::wstring fileSystem = L"NTFS";
    std::uint64_t freeBytes = 0;
    CancelFlag* cancelOnInformation = nullptr;
    CancelFlag* cancelOnFreeSpace = nullptr;
    std::wstring volumePathAskedFor, volumeInformationAskedFor, freeSpaceAskedFor;
};
FakeVolume volume;

BOOL Refuse() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

BOOL WINAPI FakeVolumePath(LPCWSTR path, LPWSTR out, DWORD length) {
    volume.volumePathAskedFor = path;
    if (!volume.pathWorks || length < 8)
        return Refuse();
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
        componentLength != nullptr || flags != nullptr || fileSystem == nullptr || fileSystemLength != 64)
        return Refuse();
    wcscpy_s(fileSystem, fileSystemLength, volume.fileSystem.c_str());
    return TRUE;
}

BOOL WINAPI FakeFreeSpace(LPCWSTR path, PULARGE_INTEGER available, PULARGE_INTEGER total,
                          PULARGE_INTEGER free) {
    volume.freeSpaceAskedFor = path;
    if (volume.cancelOnFreeSpace != nullptr)
        volume.cancelOnFreeSpace->store(1);
    if (!volume.freeSpaceWorks || available == nullptr || total != nullptr || free != nullptr)
        return Refuse();
    available->QuadPart = volume.freeBytes;
    return TRUE;
}

// `available` kNoLimit: whatever the real volume has, as long as it is some.
void ExpectSpaceError(const std::wstring& output, std::uint64_t required, std::uint32_t code,
                      std::uint64_t available) {
    try {
        CheckOutputSpace(output, required, nullptr);
        ADD_FAILURE() << "no exception";
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.kind, K::WriteFailed);
        EXPECT_EQ(e.windowsError, code);
        EXPECT_STREQ(e.what(), code == 223 ? "Output exceeds filesystem file-size limit"
                                           : "Insufficient available output space");
        EXPECT_EQ(e.requiredBytes, required);
        if (code == 223 || available != kNoLimit)
            EXPECT_EQ(e.availableBytes, code == 223 ? 0u : available);
        else
            EXPECT_GT(e.availableBytes, 0u);
    }
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

// The FAT names in any case share the one limit; the limit is tested before the space.
TEST_F(CheckOutputSpaceTest, LimitAndSpace) {
    const std::uint64_t big = 1ull << 40, fat = 4294967295ull;
    const struct {
        std::wstring fileSystem;
        bool pathWorks, informationWorks, freeSpaceWorks;
        std::uint64_t freeBytes, required;
        std::uint32_t expectedError; // 0: passes
    } cases[] = {
        {L"FAT32", 1, 1, 1, big, fat, 0},       {L"fat32", 1, 1, 1, big, fat + 1, 223},
        {L"FAT", 1, 1, 1, big, fat + 1, 223},   {L"Fat16", 1, 1, 1, big, fat + 1, 223},
        {L"FAT16", 1, 1, 1, big, fat + 1, 223}, {L"FAT12", 1, 1, 1, big, fat + 1, 0},
        {L"ReFS", 1, 1, 1, big, fat + 1, 0},    {L"", 1, 1, 1, big, fat + 1, 0},
        {L"exFAT", 1, 1, 1, big, big, 0},       {L"NTFS", 1, 1, 1, kNoLimit, kNoLimit, 0},
        {L"NTFS", 1, 1, 1, 5000, 5000, 0},      {L"NTFS", 1, 1, 1, 5000, 5001, 112},
        {L"FAT32", 1, 1, 1, 10, fat + 1, 223},  {L"FAT32", 1, 1, 1, 10, 11, 112},
        {L"FAT32", 0, 1, 1, big, fat + 1, 0},   {L"FAT32", 1, 0, 1, big, fat + 1, 0},
        {L"NTFS", 1, 1, 0, 0, big, 0},          {L"FAT32", 0, 1, 1, 10, 11, 112},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.fileSystem) + " " + std::to_string(c.pathWorks) +
                     std::to_string(c.informationWorks) + std::to_string(c.freeSpaceWorks) + " " +
                     std::to_string(c.required));
        volume.fileSystem = c.fileSystem;
        volume.pathWorks = c.pathWorks;
        volume.informationWorks = c.informationWorks;
        volume.freeSpaceWorks = c.freeSpaceWorks;
        volume.freeBytes = c.freeBytes;
        if (c.expectedError == 0)
            EXPECT_NO_THROW(CheckOutputSpace(output(), c.required, nullptr));
        else
            ExpectSpaceError(output(), c.required, c.expectedError, c.freeBytes);
    }
}

TEST_F(CheckOutputSpaceTest, AsksAboutTheLongDirectoryOfTheResolvedPath) {
    volume.freeBytes = 100;
    CheckOutputSpace(sandbox.destination() + L"/Game.nsp", 1, nullptr);
    const std::wstring directory = ToLongPath(sandbox.destination()) + L"\\";
    EXPECT_EQ(volume.volumePathAskedFor, directory);
    EXPECT_EQ(volume.volumeInformationAskedFor, L"\\\\?\\F:\\");
    EXPECT_EQ(volume.freeSpaceAskedFor, directory);
    test::ExpectConversionError([] { CheckOutputSpace(L"", 1, nullptr); },
                                {K::PathProblem, "Invalid storage path (Windows 123)", 123});
}

TEST_F(CheckOutputSpaceTest, Cancellation) {
    volume.freeBytes = 100;
    CancelFlag set{1}, duringLimit{0}, duringSpace{0};
    // Set before the call: not even the path is looked at.
    EXPECT_THROW(CheckOutputSpace(L"", 1, &set), Cancelled);
    EXPECT_TRUE(volume.volumePathAskedFor.empty());
    volume.cancelOnInformation = &duringLimit;
    EXPECT_THROW(CheckOutputSpace(output(), 1, &duringLimit), Cancelled);
    EXPECT_TRUE(volume.freeSpaceAskedFor.empty());
    volume.cancelOnInformation = nullptr;
    volume.cancelOnFreeSpace = &duringSpace;
    EXPECT_THROW(CheckOutputSpace(output(), 1, &duringSpace), Cancelled);
    volume.cancelOnFreeSpace = nullptr;
}

// The real volume of the test prefix: a small output fits, an impossible one reports the real free bytes.
TEST(CheckOutputSpace, RealVolume) {
    test::TempDir dir;
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(dir.path().c_str(), &available, nullptr, nullptr))
        GTEST_SKIP() << "the volume reports no free space";
    EXPECT_NO_THROW(CheckOutputSpace(dir.file(L"Game.nsp"), 1, nullptr));
    ExpectSpaceError(dir.file(L"Game.nsp"), kNoLimit, 112, kNoLimit);
}

} // namespace
} // namespace vesko
