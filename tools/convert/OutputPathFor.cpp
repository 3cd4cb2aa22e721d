#include "tools/convert/OutputPathFor.h"

namespace vesko {

std::wstring OutputPathFor(const std::wstring& source, const std::wstring& outputDir) {
    const std::size_t slash = source.find_last_of(L"\\/");
    const std::size_t nameStart = slash == std::wstring::npos ? 0 : slash + 1;
    std::wstring name = source.substr(nameStart);
    const std::size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos)
        name.erase(dot);
    name += L".nsp";
    if (outputDir.empty())
        return source.substr(0, nameStart) + name;
    const wchar_t last = outputDir.back();
    return outputDir + (last == L'\\' || last == L'/' ? L"" : L"\\") + name;
}

} // namespace vesko
