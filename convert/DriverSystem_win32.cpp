#include "convert/DriverSystem.h"

#include "engine/OutputFile.h"
#include "engine/Paths.h"
#include "storage/PendingOutput.h"

#include <windows.h>

namespace vesko {

std::wstring FileCallPath(const std::wstring& fullPath) {
    return ToLongPath(fullPath);
}

bool IsSameFile(const std::wstring& inputCallPath, const std::wstring& outputCallPath) {
    return CompareStringOrdinal(inputCallPath.c_str(), -1, outputCallPath.c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool OutputPathExists(const std::wstring& outputCallPath, std::uint32_t& error) {
    if (GetFileAttributesW(outputCallPath.c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    error = GetLastError();
    return false;
}

std::unique_ptr<OutputFile> BorrowReservedOutput(const PendingOutput& pending) {
    return BorrowOutputHandle(pending.outputHandle());
}

} // namespace vesko
