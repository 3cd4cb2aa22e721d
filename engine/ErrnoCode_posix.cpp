#include "engine/ErrnoCode.h"

#include "engine/ConversionError.h"

#include <cerrno>

namespace vesko {

std::uint32_t WindowsCodeFromErrno(int error) {
    struct Pair {
        int error;
        std::uint32_t code;
    };
    static constexpr Pair kCodes[] = {
        {ENOENT, 2},
        {ENOTDIR, 3},
        {EMFILE, 4},
        {EACCES, 5},
        {EPERM, 5},
        {EBADF, 6},
        {ENOMEM, 8},
        {EXDEV, 17},
        {EROFS, 19},
        {EBUSY, 32},
        {ETXTBSY, 32},
        {EAGAIN, 33},
        {ENODEV, 55},
        {ENXIO, 55},
        {EEXIST, 80},
        {EINVAL, 87},
        {ENOSPC, 112},
        {ENAMETOOLONG, 206},
        {EFBIG, 223},
        {EISDIR, 267},
        {ENOTSUP, 50},
        {ENOSYS, 50},
        {EINTR, kErrorOperationAborted},
        {EIO, 1117},
        {EDQUOT, 1295},
        {ELOOP, 1920},
        {ENOTEMPTY, 145},
    };
    for (const Pair& pair : kCodes) {
        if (pair.error == error)
            return pair.code;
    }
    // An unknown errno keeps its own value; no Windows code chosen by a table would be truer.
    return static_cast<std::uint32_t>(error);
}

} // namespace vesko
