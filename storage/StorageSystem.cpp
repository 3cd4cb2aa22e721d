#include "storage/StorageSystem.h"

namespace vesko {

namespace {

const StorageSystemCalls kRealCalls = {
    &::CreateFileW,
    &::GetFileInformationByHandle,
    &::SetFileInformationByHandle,
    &::WriteFile,
    &::FlushFileBuffers,
    &::GetFinalPathNameByHandleW,
    &::GetVolumePathNameW,
    &::GetVolumeInformationW,
    &::GetDiskFreeSpaceExW,
    &::BCryptGenRandom,
    &::GetTickCount64,
    &::SHGetKnownFolderPath,
};

} // namespace

CallTable<StorageSystemCalls>& StorageCallTable(const StorageSystemCalls*) {
    static CallTable<StorageSystemCalls> table(kRealCalls);
    return table;
}

const StorageSystemCalls& RealStorageSystemCalls() {
    return kRealCalls;
}

const StorageSystemCalls& System() {
    return StorageCallTable(nullptr).active();
}

} // namespace vesko
