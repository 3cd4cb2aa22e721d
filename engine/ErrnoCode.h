// POSIX error numbers as the Windows codes of the same meaning, so that the failure kinds, the
// decisions that read codes and the texts the user sees are those of the Windows program.
#pragma once

#include <cstdint>

namespace vesko {

// EINTR becomes 995 (operation aborted): a read or write interrupted for cancellation.
std::uint32_t WindowsCodeFromErrno(int error);

} // namespace vesko
