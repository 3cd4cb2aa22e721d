// Path forms handed to the file system.
#pragma once

#include <string>

namespace vesko {

// The absolute form of a path; throws PathProblem for an empty or unresolvable path.
std::wstring ToFullPath(const std::wstring& path);

// The form of a full path that Windows accepts beyond MAX_PATH ("\\?\" or "\\?\UNC\").
std::wstring ToLongPath(const std::wstring& fullPath);

// UTF-8 <-> UTF-16 for diagnostics and tools; invalid sequences become U+FFFD.
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

} // namespace vesko
