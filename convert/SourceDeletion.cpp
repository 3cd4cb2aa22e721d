#include "convert/SourceDeletion.h"

namespace vesko {

namespace {

constexpr std::uint32_t kErrorNotSupported = 50;

thread_local DeletionPath lastPath = DeletionPath::None;

} // namespace

DeletionPath LastDeletionPath() noexcept {
    return lastPath;
}

void RecordDeletionPath(DeletionPath path) noexcept {
    lastPath = path;
}

std::uint32_t KeptForSystemError(std::uint32_t systemError, const CancelFlag* cancelFlag) noexcept {
    return (systemError == kErrorOperationAborted && IsCancelRequested(cancelFlag)) ? kErrorCancelled
                                                                                    : systemError;
}

std::uint32_t SourceKeptBeforeCheck(const FileIdentity* identity, std::uint32_t identityError,
                                    std::uint32_t publishFlushError, const CancelFlag* cancelFlag) noexcept {
    if (publishFlushError != 0)
        return publishFlushError;
    if (IsCancelRequested(cancelFlag))
        return kErrorCancelled;
    if (identity == nullptr)
        return identityError != 0 ? identityError : kErrorNotSupported;
    // Without a file index nothing could prove later that the path still names the file that was read.
    if (identity->fileIndexHigh == 0 && identity->fileIndexLow == 0)
        return kErrorNotSupported;
    return 0;
}

} // namespace vesko
