#include "tests/storage/StorageTestSupport.h"

#include "engine/Paths.h"
#include "storage/Journal.h"
#include "storage/UniqueFindHandle.h"
#include "storage/UniqueHandle.h"

#include <objbase.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace vesko::test {

namespace {
std::wstring fakeLocalAppData;
} // namespace

void SetFakeLocalAppData(const std::wstring& folder) {
    fakeLocalAppData = folder;
}

HRESULT WINAPI FakeKnownFolderPath(REFKNOWNFOLDERID id, DWORD, HANDLE, PWSTR* path) {
    *path = nullptr;
    if (!IsEqualGUID(id, FOLDERID_LocalAppData))
        return E_INVALIDARG;
    const std::size_t bytes = (fakeLocalAppData.size() + 1) * sizeof(wchar_t);
    *path = static_cast<PWSTR>(CoTaskMemAlloc(bytes));
    if (*path == nullptr)
        return E_OUTOFMEMORY;
    std::memcpy(*path, fakeLocalAppData.c_str(), bytes);
    return S_OK;
}

SeamScript seam;

namespace {

HANDLE WINAPI ScriptedCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                 DWORD disposition, DWORD flags, HANDLE templateFile) {
    if (seam.createError != 0 && std::wstring_view(path).ends_with(seam.createSuffix)) {
        SetLastError(seam.createError);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(path, access, share, security, disposition, flags, templateFile);
}

BOOL WINAPI ScriptedFileInformation(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION info) {
    const bool scripted =
        (seam.infoError | seam.extraLinks | seam.extraAttributes) != 0 || seam.zeroFileIndex;
    if (!scripted || !FinalPathOf(handle).ends_with(seam.infoSuffix))
        return GetFileInformationByHandle(handle, info);
    if (seam.infoError != 0) {
        SetLastError(seam.infoError);
        return FALSE;
    }
    if (!GetFileInformationByHandle(handle, info))
        return FALSE;
    if (seam.zeroFileIndex)
        info->nFileIndexHigh = info->nFileIndexLow = 0;
    info->nNumberOfLinks += seam.extraLinks;
    info->dwFileAttributes |= seam.extraAttributes;
    return TRUE;
}

BOOL WINAPI ScriptedFlush(HANDLE file) {
    if (seam.cancelOnFlush != nullptr)
        seam.cancelOnFlush->store(1);
    if (++seam.flushCalls != seam.failingFlush)
        return FlushFileBuffers(file);
    SetLastError(seam.flushError);
    return FALSE;
}

DWORD WINAPI ScriptedFinalPath(HANDLE handle, LPWSTR buffer, DWORD size, DWORD flags) {
    if (!seam.finalPath)
        return GetFinalPathNameByHandleW(handle, buffer, size, flags);
    const std::wstring& path = *seam.finalPath;
    if (path.empty())
        SetLastError(seam.finalPathError);
    else if (path.size() >= size)
        return static_cast<DWORD>(path.size() + 1);
    else
        std::copy(path.c_str(), path.c_str() + path.size() + 1, buffer);
    return static_cast<DWORD>(path.size());
}

} // namespace

StorageSandbox::StorageSandbox() : calls(RealStorageSystemCalls()) {
    SetFakeLocalAppData(appData_.path());
    seam = SeamScript{};
    calls.getKnownFolderPath = &FakeKnownFolderPath;
    calls.createFile = &ScriptedCreateFile;
    calls.getFileInformationByHandle = &ScriptedFileInformation;
    calls.flushFileBuffers = &ScriptedFlush;
    calls.getFinalPathNameByHandle = &ScriptedFinalPath;
    apply();
}

void StorageSandbox::apply() {
    override_.reset();
    override_ = std::make_unique<ScopedStorageSystemOverride>(calls);
}

std::wstring StorageSandbox::recoveryPath() const {
    return appData_.path() + L"\\VESKO\\ZARUvivuriza\\Recovery";
}

void StorageSandbox::makeRecoveryDirectory() const {
    std::wstring path = appData_.path();
    for (const wchar_t* level : {L"\\VESKO", L"\\ZARUvivuriza", L"\\Recovery"}) {
        path += level;
        CreateDirectoryW(path.c_str(), nullptr);
    }
}

std::vector<std::wstring> StorageSandbox::journals() const {
    return ListNames(recoveryPath(), L"*");
}

std::vector<std::wstring> StorageSandbox::temporaryFiles() const {
    return ListNames(destination(), L".vesko-*");
}

std::vector<std::wstring> ListNames(const std::wstring& directory, const std::wstring& pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry{};
    const UniqueFindHandle find(FindFirstFileW((directory + L"\\" + pattern).c_str(), &entry));
    if (!find.valid())
        return names;
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(find.get(), &entry));
    return names;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring FinalPathOf(HANDLE handle) {
    wchar_t path[1024] = {};
    GetFinalPathNameByHandleW(handle, path, 1024, 0);
    return path;
}

void WriteWholeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
    const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(file.valid() &&
                WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                written == bytes.size())
        << GetLastError();
}

std::vector<std::uint8_t> ReadWholeFile(const std::wstring& path) {
    const UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    EXPECT_TRUE(file.valid() && GetFileSizeEx(file.get(), &size)) << GetLastError();
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    EXPECT_TRUE(bytes.empty() ||
                ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr));
    EXPECT_EQ(read, bytes.size());
    return bytes;
}

BY_HANDLE_FILE_INFORMATION FileInformation(const std::wstring& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    const UniqueHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    EXPECT_TRUE(file.valid()) << GetLastError();
    EXPECT_TRUE(GetFileInformationByHandle(file.get(), &info));
    return info;
}

std::uint32_t U32At(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
           static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

void SetU32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void Reseal(std::vector<std::uint8_t>& bytes) {
    SetU32(bytes, 40, JournalChecksum(bytes.data(), bytes.size()));
}

} // namespace vesko::test
