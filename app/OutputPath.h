// Names derived from a source path; both separators count, so the rules hold on every build host.
#pragma once

#include <string>

namespace vesko {

// The last path component ("\" or "/"); the whole text when there is none.
std::wstring FileNameOf(const std::wstring& path);

// Everything before the last component, without a trailing separator unless it is a root ("C:\").
std::wstring ParentOf(const std::wstring& path);

// Joins with one separator unless the folder already ends with one (or is empty): a backslash on
// Windows; elsewhere a slash, or a backslash for a folder written with backslashes only.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

// The NSP path for a source: in outputFolder when given, else beside the source; only the last
// extension is replaced and a name without one gets ".nsp" appended.
std::wstring OutputPathFor(const std::wstring& sourcePath, const std::wstring& outputFolder);

} // namespace vesko
