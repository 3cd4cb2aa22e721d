#include "engine/Paths.h"

#include "engine/ConversionError.h"

#include <cerrno>
#include <climits>
#include <unistd.h>

#include <vector>

namespace vesko {

// Lexical only, as GetFullPathNameW: links are not followed and the file need not exist.
std::wstring ToFullPath(const std::wstring& path) {
    using K = ConversionError::Kind;
    if (path.empty())
        ThrowConversionError("Не указан путь к файлу.", K::PathProblem);
    if (path.front() == L'/')
        return path;
    std::vector<char> cwd(PATH_MAX + 1, '\0');
    if (getcwd(cwd.data(), cwd.size()) == nullptr)
        ThrowWindowsError(K::PathProblem, "Не удалось определить путь к файлу.",
                          static_cast<std::uint32_t>(errno));
    std::wstring base = FromUtf8(cwd.data());
    if (base.empty() || base.back() != L'/')
        base += L'/';
    return base + path;
}

} // namespace vesko
