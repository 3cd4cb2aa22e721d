#include "storage/OutputSpace.h"

#include "storage/StoragePaths.h"
#include "storage/StorageSystem_posix.h"

namespace vesko {

namespace {

// statfs's f_type of the FAT family (vfat and msdos); exFAT has no file-size limit worth testing.
constexpr unsigned long kMsdosSuperMagic = 0x4d44;

} // namespace

void CheckOutputSpace(const std::wstring& outputPath, std::uint64_t requiredBytes,
                      const CancelFlag* cancelFlag) {
    throwIfCancelled(cancelFlag);
    const std::string directory = ToUtf8(DirectoryPrefix(ResolveStoragePath(outputPath)));

    struct statfs fileSystem {};
    if (System().statFileSystem(directory.c_str(), &fileSystem) == 0) {
        // The limit is tested first: more space would not help a file the volume cannot hold.
        const bool fat = static_cast<unsigned long>(fileSystem.f_type) == kMsdosSuperMagic;
        ThrowIfOverSizeLimit(requiredBytes, fat ? L"FAT32" : L"");
    }

    throwIfCancelled(cancelFlag);
    struct statvfs space {};
    // f_bavail: the blocks an unprivileged user may still fill, as GetDiskFreeSpaceExW's caller figure.
    if (System().statAvailableSpace(directory.c_str(), &space) == 0)
        ThrowIfOverAvailable(requiredBytes, static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize);
    throwIfCancelled(cancelFlag);
}

} // namespace vesko
