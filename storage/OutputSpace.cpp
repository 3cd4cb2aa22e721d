#include "storage/OutputSpace.h"

#include "storage/StoragePaths.h"
#include "storage/StorageSystem.h"

#include <windows.h>

#include <cwchar>
#include <limits>
#include <vector>

namespace vesko {

namespace {

constexpr std::uint64_t kFatFileSizeLimit = 4294967295ull;
constexpr DWORD kVolumePathBufferLength = 32768;
constexpr DWORD kFileSystemNameLength = 64;
constexpr std::uint32_t kErrorFileTooLarge = 223;
constexpr std::uint32_t kErrorDiskFull = 112;

} // namespace

std::uint64_t FileSystemSizeLimit(const std::wstring& fileSystemName) {
    for (const wchar_t* fat : {L"FAT32", L"FAT", L"FAT16"}) {
        if (_wcsicmp(fileSystemName.c_str(), fat) == 0)
            return kFatFileSizeLimit;
    }
    return std::numeric_limits<std::uint64_t>::max();
}

void CheckOutputSpace(const std::wstring& outputPath, std::uint64_t requiredBytes,
                      const CancelFlag* cancelFlag) {
    throwIfCancelled(cancelFlag);
    const std::wstring directory = ToLongPath(DirectoryPrefix(ResolveStoragePath(outputPath)));

    std::vector<wchar_t> volume(kVolumePathBufferLength, L'\0');
    if (System().getVolumePathName(directory.c_str(), volume.data(), kVolumePathBufferLength)) {
        wchar_t fileSystem[kFileSystemNameLength] = {};
        if (System().getVolumeInformation(volume.data(), nullptr, 0, nullptr, nullptr, nullptr, fileSystem,
                                          kFileSystemNameLength)) {
            // The limit is tested first: more space would not help a file the volume cannot hold.
            const std::wstring name(fileSystem, wcsnlen(fileSystem, kFileSystemNameLength));
            if (requiredBytes > FileSystemSizeLimit(name))
                throw ConversionError("Output exceeds filesystem file-size limit",
                                      ConversionError::Kind::WriteFailed, kErrorFileTooLarge, requiredBytes,
                                      0);
        }
    }

    throwIfCancelled(cancelFlag);
    ULARGE_INTEGER available{};
    if (System().getDiskFreeSpaceEx(directory.c_str(), &available, nullptr, nullptr) &&
        requiredBytes > available.QuadPart)
        throw ConversionError("Insufficient available output space", ConversionError::Kind::WriteFailed,
                              kErrorDiskFull, requiredBytes, available.QuadPart);
    throwIfCancelled(cancelFlag);
}

} // namespace vesko
