// Where the NSP of a source goes: beside it, or in the chosen folder, under the source's name.
#pragma once

#include <string>

namespace vesko {

// Only the last extension is replaced (demo.en.nsz gives demo.en.nsp); a name without one gets ".nsp".
std::wstring OutputPathFor(const std::wstring& source, const std::wstring& outputDir);

} // namespace vesko
