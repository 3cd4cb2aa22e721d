// The system calls whose answers the storage code cannot provoke on a test machine (a FAT32 volume, a
// full disk, a zero file index, a failing flush, a slow clock), routed through one table so that tests
// can answer differently. Production code never swaps it.
#pragma once

#include "storage/CallTable.h"

#include <windows.h>
#include <bcrypt.h>
#include <shlobj.h>

namespace vesko {

struct StorageSystemCalls {
    HANDLE(WINAPI* createFile)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    BOOL(WINAPI* getFileInformationByHandle)(HANDLE, LPBY_HANDLE_FILE_INFORMATION);
    BOOL(WINAPI* setFileInformationByHandle)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
    BOOL(WINAPI* writeFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* flushFileBuffers)(HANDLE);
    DWORD(WINAPI* getFinalPathNameByHandle)(HANDLE, LPWSTR, DWORD, DWORD);
    BOOL(WINAPI* getVolumePathName)(LPCWSTR, LPWSTR, DWORD);
    BOOL(WINAPI* getVolumeInformation)(LPCWSTR, LPWSTR, DWORD, LPDWORD, LPDWORD, LPDWORD, LPWSTR, DWORD);
    BOOL(WINAPI* getDiskFreeSpaceEx)(LPCWSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
    NTSTATUS(WINAPI* genRandom)(BCRYPT_ALG_HANDLE, PUCHAR, ULONG, ULONG);
    ULONGLONG(WINAPI* getTickCount64)();
    HRESULT(WINAPI* getKnownFolderPath)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR*);
};

// The real calls.
const StorageSystemCalls& RealStorageSystemCalls();

// The table in force; the real calls unless a test has swapped it.
const StorageSystemCalls& System();

CallTable<StorageSystemCalls>& StorageCallTable(const StorageSystemCalls*);
using ScopedStorageSystemOverride = ScopedCallsOverride<StorageSystemCalls>;

} // namespace vesko
