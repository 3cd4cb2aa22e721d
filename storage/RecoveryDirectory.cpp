#include "storage/RecoveryDirectory.h"

#include "storage/StoragePaths.h"
#include "storage/StorageSystem.h"

#include <objbase.h>

#include <memory>

namespace vesko {

namespace {

constexpr DWORD kErrorAlreadyExists = 183;

struct CoTaskMemFreer {
    void operator()(wchar_t* text) const { CoTaskMemFree(text); }
};
using CoTaskMemString = std::unique_ptr<wchar_t, CoTaskMemFreer>;

} // namespace

RecoveryDirectory OpenRecoveryDirectory(bool create, const CancelFlag* cancelFlag) {
    using K = ConversionError::Kind;
    std::wstring knownFolder;
    {
        PWSTR raw = nullptr;
        const HRESULT result = System().getKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &raw);
        CoTaskMemString owned(raw); // released even when the call failed but returned memory
        if (FAILED(result))
            ThrowStorageError(K::RecoveryRecords, "Cannot locate recovery directory",
                              static_cast<std::uint32_t>(result), cancelFlag);
        knownFolder = owned ? owned.get() : L"";
    }

    RecoveryDirectory directory;
    // The known folder itself may be redirected through a link; the levels below must not be.
    directory.handles.push_back(OpenStorageDirectory(knownFolder, false, K::RecoveryRecords, cancelFlag));
    directory.path = FinalDirectoryPath(directory.handles.back().get(), K::RecoveryRecords, cancelFlag);
    for (const wchar_t* component : {L"VESKO", L"ZARUvivuriza", L"Recovery"}) {
        directory.path = JoinStoragePath(directory.path, component);
        if (create && !CreateDirectoryW(directory.path.c_str(), nullptr)) {
            const DWORD error = GetLastError();
            if (error != kErrorAlreadyExists)
                ThrowStorageError(K::RecoveryRecords, "Cannot create recovery directory", error, cancelFlag);
        }
        directory.handles.push_back(
            OpenStorageDirectory(directory.path, true, K::RecoveryRecords, cancelFlag));
    }
    return directory;
}

} // namespace vesko
