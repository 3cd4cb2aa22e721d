#include "app/OutputPath.h"

namespace vesko {
namespace {

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// Windows joins with a backslash. Elsewhere the slash, unless the folder is written in the Windows
// form only (a path handed over from a Windows tool keeps its form).
wchar_t JoinSeparatorFor(const std::wstring& folder) {
#ifdef _WIN32
    (void)folder;
    return L'\\';
#else
    return folder.find(L'/') == std::wstring::npos && folder.find(L'\\') != std::wstring::npos ? L'\\' : L'/';
#endif
}

std::wstring::size_type LastSeparator(const std::wstring& path) {
    return path.find_last_of(L"\\/");
}

} // namespace

std::wstring FileNameOf(const std::wstring& path) {
    const auto at = LastSeparator(path);
    return at == std::wstring::npos ? path : path.substr(at + 1);
}

std::wstring ParentOf(const std::wstring& path) {
    const auto at = LastSeparator(path);
    if (at == std::wstring::npos) {
        return {};
    }
    // "C:\game.nsz" keeps its root separator: "C:" alone would mean the drive's current folder.
    const bool root = at == 0 || (at == 2 && path[1] == L':');
    return path.substr(0, root ? at + 1 : at);
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty() || IsSeparator(folder.back())) {
        return folder + name;
    }
    return folder + JoinSeparatorFor(folder) + name;
}

std::wstring OutputPathFor(const std::wstring& sourcePath, const std::wstring& outputFolder) {
    std::wstring name = FileNameOf(sourcePath);
    const auto dot = name.rfind(L'.');
    // A leading dot starts a hidden name, not an extension (".nsz" becomes ".nsz.nsp").
    if (dot != std::wstring::npos && dot != 0 && name != L"..") {
        name.erase(dot);
    }
    name += L".nsp";
    return JoinPath(outputFolder.empty() ? ParentOf(sourcePath) : outputFolder, name);
}

} // namespace vesko
