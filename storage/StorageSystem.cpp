#include "storage/StorageSystem.h"

#include <atomic>

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

// The start-up scan reads the table on its own thread while a conversion may read it on another.
std::atomic<const StorageSystemCalls*> activeCalls{&kRealCalls};

} // namespace

const StorageSystemCalls& RealStorageSystemCalls() {
    return kRealCalls;
}

const StorageSystemCalls& System() {
    return *activeCalls.load(std::memory_order_acquire);
}

ScopedStorageSystemOverride::ScopedStorageSystemOverride(const StorageSystemCalls& calls)
    : calls_(calls), previous_(activeCalls.exchange(&calls_, std::memory_order_acq_rel)) {}

ScopedStorageSystemOverride::~ScopedStorageSystemOverride() {
    activeCalls.store(previous_, std::memory_order_release);
}

} // namespace vesko
