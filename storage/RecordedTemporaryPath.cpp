#include "storage/Recovery.h"

#include "storage/Journal.h"
#include "storage/StorageRules.h"

#include <cstddef>

namespace vesko {

namespace {

#ifdef _WIN32
constexpr wchar_t kSeparator = L'\\';

bool IsAsciiLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// Where the directory components begin in a "\\?\D:\..." or "\\?\UNC\..." path, or 0 when the path
// has neither form or names a stream (a colon beyond the drive's).
std::size_t ComponentsStart(const std::wstring& path) {
    std::size_t colonSearchStart = 0;
    std::size_t componentsStart = 0;
    const bool driveLike =
        path.size() >= 6 && path.compare(0, 4, L"\\\\?\\") == 0 && IsAsciiLetter(path[4]) && path[5] == L':';
    if (driveLike) {
        if (path.size() < 7 || path[6] != L'\\')
            return 0;
        colonSearchStart = 6;
        componentsStart = 7;
    } else if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
        componentsStart = 8;
    } else {
        return 0;
    }
    return path.find(L':', colonSearchStart) == std::wstring::npos ? componentsStart : 0;
}
#else
constexpr wchar_t kSeparator = L'/';

// Only an absolute path; a colon is an ordinary character here.
std::size_t ComponentsStart(const std::wstring& path) {
    return path.front() == L'/' ? 1 : 0;
}
#endif

} // namespace

// A journal is read from a directory others could write to: the path it names must not lead the
// scan anywhere but to one plain file.
bool IsRecordedTemporaryPath(const std::wstring& path, const std::wstring& recordName) {
    if (path.empty() || path.size() > kJournalMaxPathLength)
        return false;
    if (path.find(L'\0') != std::wstring::npos)
        return false;
#ifdef _WIN32
    if (path.find(L'/') != std::wstring::npos)
        return false;
#endif
    const std::size_t componentsStart = ComponentsStart(path);
    if (componentsStart == 0)
        return false;

    const std::size_t lastSlash = path.rfind(kSeparator);
    if (lastSlash == std::wstring::npos ||
        path.compare(lastSlash + 1, std::wstring::npos, TemporaryFileName(recordName)) != 0)
        return false;

    std::size_t start = componentsStart;
    while (true) {
        const std::size_t end = path.find(kSeparator, start);
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
