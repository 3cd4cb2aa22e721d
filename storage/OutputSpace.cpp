#include "storage/OutputSpace.h"

#include "storage/StoragePaths.h"
#include "storage/StorageSystem.h"

#include <windows.h>

#include <cwchar>
#include <vector>

namespace vesko {

namespace {

constexpr DWORD kVolumePathBufferLength = 32768;
constexpr DWORD kFileSystemNameLength = 64;

} // namespace

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
            ThrowIfOverSizeLimit(requiredBytes,
                                 std::wstring(fileSystem, wcsnlen(fileSystem, kFileSystemNameLength)));
        }
    }

    throwIfCancelled(cancelFlag);
    ULARGE_INTEGER available{};
    if (System().getDiskFreeSpaceEx(directory.c_str(), &available, nullptr, nullptr))
        ThrowIfOverAvailable(requiredBytes, available.QuadPart);
    throwIfCancelled(cancelFlag);
}

} // namespace vesko
