#include "engine/Paths.h"

#include "engine/ConversionError.h"

#include <windows.h>

#include <vector>

namespace vesko {

std::wstring ToFullPath(const std::wstring& path) {
    using K = ConversionError::Kind;
    if (path.empty())
        ThrowConversionError("Не указан путь к файлу.", K::PathProblem);
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        ThrowWindowsError(K::PathProblem, "Не удалось определить путь к файлу.", GetLastError());
    std::vector<wchar_t> buffer(static_cast<std::size_t>(needed) + 1, L'\0');
    const DWORD result = GetFullPathNameW(path.c_str(), needed + 1, buffer.data(), nullptr);
    if (result == 0 || result >= needed + 1)
        ThrowWindowsError(K::PathProblem, "Не удалось определить путь к файлу.", GetLastError());
    return std::wstring(buffer.data(), result);
}

} // namespace vesko
