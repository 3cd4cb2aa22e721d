#include "convert/DriverSystem.h"

#include "engine/ErrnoCode.h"
#include "engine/OutputFile.h"
#include "engine/Paths.h"
#include "storage/PendingOutput.h"

#include <cerrno>
#include <sys/stat.h>

namespace vesko {

std::wstring FileCallPath(const std::wstring& fullPath) {
    return fullPath;
}

bool IsSameFile(const std::wstring& inputCallPath, const std::wstring& outputCallPath) {
    if (inputCallPath == outputCallPath)
        return true;
    // Case matters here, but a link or a second hard link to the source is the source all the same.
    struct stat input {};
    struct stat output {};
    return ::stat(ToUtf8(inputCallPath).c_str(), &input) == 0 &&
           ::stat(ToUtf8(outputCallPath).c_str(), &output) == 0 && input.st_dev == output.st_dev &&
           input.st_ino == output.st_ino;
}

bool OutputPathExists(const std::wstring& outputCallPath, std::uint32_t& error) {
    struct stat info {};
    if (::lstat(ToUtf8(outputCallPath).c_str(), &info) == 0)
        return true;
    error = WindowsCodeFromErrno(errno);
    return false;
}

std::unique_ptr<OutputFile> BorrowReservedOutput(const PendingOutput& pending) {
    return BorrowOutputFd(pending.outputHandle());
}

} // namespace vesko
