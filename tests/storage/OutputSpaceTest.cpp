// What the Windows space check asks the volume, and when a cancellation stops it (the answers themselves:
// StorageContractTest).
#include "storage/OutputSpace.h"

#include "engine/Paths.h"
#include "tests/storage/StorageTestSupport.h"

namespace vesko {
namespace {

using test::volume;

TEST(CheckOutputSpace, AsksAboutTheLongDirectoryOfTheResolvedPath) {
    test::StorageSandbox sandbox;
    sandbox.fakeVolume();
    volume.freeBytes = 100;
    CheckOutputSpace(sandbox.destination() + L"/Game.nsp", 1, nullptr);
    const std::wstring directory = ToLongPath(sandbox.destination()) + L"\\";
    EXPECT_EQ(volume.volumePathAskedFor, directory);
    EXPECT_EQ(volume.volumeInformationAskedFor, L"\\\\?\\F:\\");
    EXPECT_EQ(volume.freeSpaceAskedFor, directory);
    test::ExpectConversionError(
        [] { CheckOutputSpace(L"", 1, nullptr); },
        {ConversionError::Kind::PathProblem, "Invalid storage path (Windows 123)", 123});
    // Without the volume's root its file system is unknown: no limit.
    volume = {L"FAT32", 1ull << 40};
    volume.pathWorks = false;
    EXPECT_NO_THROW(CheckOutputSpace(sandbox.destinationFile(L"Game.nsp"), 4294967296ull, nullptr));

    CancelFlag set{1}, duringLimit{0}, duringSpace{0};
    volume = {L"NTFS", 100};
    // Set before the call: not even the path is looked at.
    EXPECT_THROW(CheckOutputSpace(L"", 1, &set), Cancelled);
    EXPECT_TRUE(volume.volumePathAskedFor.empty());
    volume.cancelOnInformation = &duringLimit;
    EXPECT_THROW(CheckOutputSpace(sandbox.destinationFile(L"Game.nsp"), 1, &duringLimit), Cancelled);
    EXPECT_TRUE(volume.freeSpaceAskedFor.empty());
    volume = {L"NTFS", 100};
    volume.cancelOnFreeSpace = &duringSpace;
    EXPECT_THROW(CheckOutputSpace(sandbox.destinationFile(L"Game.nsp"), 1, &duringSpace), Cancelled);
    volume = {};
}

} // namespace
} // namespace vesko
