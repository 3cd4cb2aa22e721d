#include "storage/Recovery.h"

#include "storage/Journal.h"

#include <cstddef>

namespace vesko {

namespace {

bool IsAsciiLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

} // namespace

// A journal is read from a directory others could write to: the path it names must not lead the
// scan anywhere but to one plain file.
bool IsRecordedTemporaryPath(const std::wstring& path, const std::wstring& recordName) {
    if (path.empty() || path.size() > kJournalMaxPathLength)
        return false;
    if (path.find(L'\0') != std::wstring::npos || path.find(L'/') != std::wstring::npos)
        return false;

    std::size_t colonSearchStart = 0;
    std::size_t componentsStart = 0;
    const bool driveLike =
        path.size() >= 6 && path.compare(0, 4, L"\\\\?\\") == 0 && IsAsciiLetter(path[4]) && path[5] == L':';
    if (driveLike) {
        if (path.size() < 7 || path[6] != L'\\')
            return false;
        colonSearchStart = 6;
        componentsStart = 7;
    } else if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
        colonSearchStart = 0;
        componentsStart = 8;
    } else {
        return false;
    }
    if (path.find(L':', colonSearchStart) != std::wstring::npos)
        return false;

    const std::size_t lastSlash = path.rfind(L'\\');
    if (lastSlash == std::wstring::npos ||
        path.compare(lastSlash + 1, std::wstring::npos, L".vesko-" + recordName + L".tmp") != 0)
        return false;

    std::size_t start = componentsStart;
    while (true) {
        const std::size_t end = path.find(L'\\', start);
        const std::wstring part =
            path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (part.empty() || part == L"." || part == L"..")
            return false;
        if (end == std::wstring::npos)
            return true;
        start = end + 1;
    }
}

} // namespace vesko
