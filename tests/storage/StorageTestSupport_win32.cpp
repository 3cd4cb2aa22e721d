#include "tests/storage/StorageTestSupport.h"

#include "engine/Paths.h"
#include "storage/UniqueHandle.h"

#include <objbase.h>

#include <cstring>

namespace vesko::test {

namespace {

HANDLE WINAPI ScriptedCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                 DWORD disposition, DWORD flags, HANDLE templateFile) {
    seam.creates.emplace_back(path, access, share, disposition, flags);
    if (seam.createError != 0 && std::wstring(path).ends_with(seam.createSuffix))
        return SetLastError(seam.createError), INVALID_HANDLE_VALUE;
    return CreateFileW(path, access, share, security, disposition, flags, templateFile);
}

BOOL WINAPI ScriptedFileInformation(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION info) {
    if (seam.infoSuffix.empty() || !FinalPathOf(handle).ends_with(seam.infoSuffix))
        return GetFileInformationByHandle(handle, info);
    if (seam.infoError != 0 || !GetFileInformationByHandle(handle, info))
        return seam.infoError != 0 ? SetLastError(seam.infoError) : void(), FALSE;
    if (seam.zeroFileIndex)
        info->nFileIndexHigh = info->nFileIndexLow = 0;
    info->nNumberOfLinks += seam.extraLinks;
    info->dwFileAttributes |= seam.extraAttributes;
    return TRUE;
}

void Cancel(CancelFlag* flag) {
    if (flag != nullptr)
        flag->store(1);
}

BOOL WINAPI ScriptedFlush(HANDLE file) {
    Cancel(seam.cancelOnFlush);
    return ++seam.flushCalls != seam.failingFlush ? FlushFileBuffers(file)
                                                  : (SetLastError(seam.flushError), FALSE);
}

BOOL WINAPI ScriptedWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                              LPOVERLAPPED overlapped) {
    Cancel(seam.cancelOnWrite);
    if (seam.writeError != 0)
        return SetLastError(seam.writeError), FALSE;
    return WriteFile(file, data, seam.shortWrite ? size - 1 : size, written, overlapped);
}

DWORD WINAPI ScriptedFinalPath(HANDLE handle, LPWSTR buffer, DWORD size, DWORD flags) {
    if (!seam.finalPath)
        return GetFinalPathNameByHandleW(handle, buffer, size, flags);
    const std::wstring& path = *seam.finalPath;
    if (path.empty())
        return SetLastError(seam.finalPathError), 0;
    if (path.size() < size)
        std::copy(path.c_str(), path.c_str() + path.size() + 1, buffer);
    return static_cast<DWORD>(path.size() < size ? path.size() : path.size() + 1);
}

NTSTATUS WINAPI ScriptedRandom(BCRYPT_ALG_HANDLE algorithm, PUCHAR buffer, ULONG size, ULONG flags) {
    if (randomScript.fail || flags != BCRYPT_USE_SYSTEM_PREFERRED_RNG || size != 16)
        return static_cast<NTSTATUS>(0xC0000001L);
    return NextScriptedDraw(buffer) ? 0 : BCryptGenRandom(algorithm, buffer, size, flags);
}

BOOL Refuse() {
    return SetLastError(ERROR_INVALID_PARAMETER), FALSE;
}

BOOL WINAPI FakeVolumePath(LPCWSTR path, LPWSTR out, DWORD length) {
    volume.volumePathAskedFor = path;
    if (!volume.pathWorks || length < 8)
        return Refuse();
    return wcscpy_s(out, length, L"\\\\?\\F:\\") == 0;
}

// Only the file-system name is asked for.
BOOL WINAPI FakeVolumeInformation(LPCWSTR root, LPWSTR name, DWORD nameLength, LPDWORD serial,
                                  LPDWORD componentLength, LPDWORD flags, LPWSTR fileSystem,
                                  DWORD fileSystemLength) {
    volume.volumeInformationAskedFor = root;
    Cancel(volume.cancelOnInformation);
    if (!volume.limitQueryWorks || name != nullptr || nameLength != 0 || serial != nullptr ||
        componentLength != nullptr || flags != nullptr || fileSystem == nullptr || fileSystemLength != 64)
        return Refuse();
    return wcscpy_s(fileSystem, fileSystemLength, volume.fileSystem.c_str()) == 0;
}

BOOL WINAPI FakeFreeSpace(LPCWSTR path, PULARGE_INTEGER available, PULARGE_INTEGER total,
                          PULARGE_INTEGER free) {
    volume.freeSpaceAskedFor = path;
    Cancel(volume.cancelOnFreeSpace);
    if (!volume.spaceQueryWorks || available == nullptr || total != nullptr || free != nullptr)
        return Refuse();
    return available->QuadPart = volume.freeBytes, TRUE;
}

// storage_crash_helper beside this executable, with its standard output on a pipe given to `output`.
UniqueHandle StartHelper(const std::wstring& arguments, UniqueHandle& output) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return UniqueHandle();
    output.reset(readEnd);
    const UniqueHandle childEnd(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = childEnd.get();
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self);
    command = command.substr(0, command.rfind(L'\\') + 1) + L"storage_crash_helper.exe\" " + arguments;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &info))
        return UniqueHandle();
    const UniqueHandle thread(info.hThread);
    return UniqueHandle(info.hProcess);
}

} // namespace

ReservingProcess::ReservingProcess(const StorageSandbox& sandbox, const std::wstring& outputPath,
                                   unsigned bytes) {
    UniqueHandle output;
    process_ = StartHelper(L"reserve \"" + sandbox.recoveryHome() + L"\" \"" + outputPath + L"\" " +
                               std::to_wstring(bytes),
                           output);
    char line[6] = {};
    DWORD got = 0;
    ready =
        process_.valid() && ReadFile(output.get(), line, 5, &got, nullptr) && std::string(line) == "ready";
}

void ReservingProcess::kill() {
    if (process_.valid())
        TerminateProcess(process_.get(), 9), WaitForSingleObject(process_.get(), INFINITE), process_.reset();
}

void RecoverInAnotherProcess(const StorageSandbox& sandbox) {
    UniqueHandle output;
    const UniqueHandle process = StartHelper(L"recover \"" + sandbox.recoveryHome() + L"\"", output);
    ASSERT_TRUE(process.valid());
    WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(code, 0u);
}

HRESULT WINAPI FakeKnownFolderPath(REFKNOWNFOLDERID id, DWORD, HANDLE, PWSTR* path) {
    *path = nullptr;
    if (FAILED(seam.knownFolderError) || !IsEqualGUID(id, FOLDERID_LocalAppData))
        return FAILED(seam.knownFolderError) ? seam.knownFolderError : E_INVALIDARG;
    const std::size_t bytes = (localAppData.size() + 1) * sizeof(wchar_t);
    *path = static_cast<PWSTR>(CoTaskMemAlloc(bytes));
    if (*path == nullptr)
        return E_OUTOFMEMORY;
    std::memcpy(*path, localAppData.c_str(), bytes);
    return S_OK;
}

StorageSandbox::StorageSandbox() : calls(RealStorageSystemCalls()) {
    seam = SeamScript{};
    localAppData = home_.path();
    randomScript = RandomScript{};
    calls.getKnownFolderPath = &FakeKnownFolderPath;
    calls.createFile = &ScriptedCreateFile;
    calls.getFileInformationByHandle = &ScriptedFileInformation;
    calls.flushFileBuffers = &ScriptedFlush;
    calls.writeFile = &ScriptedWriteFile;
    calls.getFinalPathNameByHandle = &ScriptedFinalPath;
    calls.genRandom = &ScriptedRandom;
    apply();
}

StorageSandbox::~StorageSandbox() = default;

void StorageSandbox::fakeVolume() {
    calls.getVolumePathName = &FakeVolumePath;
    calls.getVolumeInformation = &FakeVolumeInformation;
    calls.getDiskFreeSpaceEx = &FakeFreeSpace;
    apply();
}

std::wstring StorageSandbox::recordedFile(const std::wstring& name) const {
    return ToLongPath(destination()) + L"\\" + name;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring FinalPathOf(HANDLE handle) {
    wchar_t path[1024] = {};
    GetFinalPathNameByHandleW(handle, path, 1024, 0);
    return path;
}

std::unique_ptr<PendingOutput> ReserveAndWrite(const std::wstring& outputPath, const Bytes& bytes) {
    std::unique_ptr<PendingOutput> pending;
    CreatePendingOutput(pending, outputPath, nullptr);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(pending->outputHandle(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                          nullptr) &&
                written == bytes.size());
    return pending;
}

JournalIdentity IdentityOf(const std::wstring& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    const UniqueHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    EXPECT_TRUE(file.valid() && GetFileInformationByHandle(file.get(), &info)) << GetLastError();
    return {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow,
            info.ftCreationTime.dwLowDateTime, info.ftCreationTime.dwHighDateTime};
}

} // namespace vesko::test
