#include "convert/SourceDeletion.h"

#include "engine/ErrnoCode.h"
#include "engine/FileIdentity_posix.h"
#include "engine/Paths.h"
#include "storage/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace vesko {

namespace {

std::uint32_t LastErrorWhile(const CancelFlag* cancelFlag) {
    return KeptForSystemError(WindowsCodeFromErrno(errno), cancelFlag);
}

} // namespace

std::uint32_t DeleteSourceIfUnchanged(const std::wstring& longInputPath, const FileIdentity* identity,
                                      std::uint32_t identityError, std::uint32_t publishFlushError,
                                      const CancelFlag* cancelFlag) noexcept {
    RecordDeletionPath(DeletionPath::None);
    if (const std::uint32_t kept =
            SourceKeptBeforeCheck(identity, identityError, publishFlushError, cancelFlag))
        return kept;
    try {
        const std::string path = ToUtf8(longInputPath);
        const std::size_t slash = path.rfind('/');
        const std::string directoryPath = slash == 0 ? "/" : path.substr(0, slash);
        const std::string name = path.substr(slash + 1);
        // The name is checked and removed relative to one open directory, so both steps see one entry.
        const UniqueFd directory(::open(directoryPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!directory.valid())
            return LastErrorWhile(cancelFlag);
        struct stat now {};
        if (::fstatat(directory.get(), name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0)
            return LastErrorWhile(cancelFlag);
        if (!S_ISREG(now.st_mode) || !(FileIdentityOf(now) == *identity))
            return kErrorFileInvalid;
        if (IsCancelRequested(cancelFlag))
            return kErrorCancelled;
        if (::unlinkat(directory.get(), name.c_str(), 0) != 0)
            return LastErrorWhile(cancelFlag);
    } catch (const std::bad_alloc&) {
        return 8; // not enough memory; this function never throws
    }
    RecordDeletionPath(DeletionPath::PosixSemantics);
    return 0;
}

} // namespace vesko
