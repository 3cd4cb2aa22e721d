// Failures to interface texts: the kind decides, and for file failures the Windows code.
#include "ui/FailureMessage.h"

namespace vesko {
namespace {

using Kind = ConversionError::Kind;

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorNotEnoughMemory = 8;
constexpr std::uint32_t kErrorOutOfMemory = 14;
constexpr std::uint32_t kErrorNotReady = 21;
constexpr std::uint32_t kErrorSharingViolation = 32;
constexpr std::uint32_t kErrorLockViolation = 33;
constexpr std::uint32_t kErrorHandleDiskFull = 39;
constexpr std::uint32_t kErrorDevNotExist = 55;
constexpr std::uint32_t kErrorNetworkAccessDenied = 65;
constexpr std::uint32_t kErrorDiskFull = 112;
constexpr std::uint32_t kErrorFileTooLarge = 223;
constexpr std::uint32_t kErrorIoDevice = 1117;
constexpr std::uint32_t kErrorDeviceNotConnected = 1167;
constexpr std::uint32_t kErrorDiskQuotaExceeded = 1295;
constexpr std::uint32_t kErrorPrivilegeNotHeld = 1314;
constexpr std::uint32_t kErrorNotEnoughQuota = 1816;

bool IsInUseCode(std::uint32_t code) {
    return code == kErrorSharingViolation || code == kErrorLockViolation;
}

bool IsNoSpaceCode(std::uint32_t code) {
    return code == kErrorHandleDiskFull || code == kErrorDiskFull || code == kErrorDiskQuotaExceeded;
}

TextKey FileFailureKey(Kind kind, std::uint32_t code) {
    if (IsInUseCode(code)) {
        return TextKey::TextErrFileInUse;
    }
    if (code == kErrorNotEnoughMemory || code == kErrorOutOfMemory || code == kErrorNotEnoughQuota) {
        return TextKey::TextErrOutOfMemory;
    }
    if (code == kErrorNotReady || code == kErrorDevNotExist || code == kErrorIoDevice ||
        code == kErrorDeviceNotConnected) {
        return TextKey::TextErrDriveUnavailable;
    }
    if (kind == Kind::ReadFailed) {
        if (code == kErrorFileNotFound || code == kErrorPathNotFound) {
            return TextKey::TextErrSourceMissing;
        }
        if (code == kErrorAccessDenied || code == kErrorNetworkAccessDenied ||
            code == kErrorPrivilegeNotHeld) {
            return TextKey::TextErrAccessDenied;
        }
        return TextKey::TextErrRead;
    }
    if (IsNoSpaceCode(code)) {
        return TextKey::TextErrDiskFull;
    }
    if (code == kErrorFileTooLarge) {
        return TextKey::TextErrFileTooLarge;
    }
    return kind == Kind::WriteFailed ? TextKey::TextErrSave : TextKey::TextErrPathAccess;
}

} // namespace

TextKey FailureMessageKey(const ConversionError& error) {
    switch (error.kind) {
    case Kind::Corrupt:
        return TextKey::TextErrDamaged;
    case Kind::Unsupported:
        return TextKey::TextErrUnsupported;
    case Kind::ReadFailed:
    case Kind::WriteFailed:
    case Kind::PathProblem:
        return FileFailureKey(error.kind, error.windowsError);
    case Kind::NameConflict:
        return TextKey::TextErrNameInUse;
    case Kind::SystemCrypto:
        return TextKey::TextErrInternal;
    case Kind::VerificationFailed:
        return TextKey::TextErrVerification;
    case Kind::OutOfMemory:
        return TextKey::TextErrOutOfMemory;
    case Kind::InputChanged:
        return TextKey::TextErrSourceChanged;
    case Kind::AccessDenied:
        return TextKey::TextErrFolderNotWritable;
    case Kind::NotNsz:
        return TextKey::TextErrNotNsz;
    case Kind::RecoveryRecords:
        return TextKey::TextErrRecoveryRecords;
    }
    // A kind from a newer build or a damaged value: say so without guessing.
    return TextKey::TextErrUnexpected;
}

std::wstring FailureMessage(const ConversionError& error) {
    const TextKey key = FailureMessageKey(error);
    std::wstring message = Text(key);
    // Only the space check fills requiredBytes together with 112; a write that ran out of space has no
    // figures worth showing, a file-size limit (223) is not a matter of free space, and under any other
    // sentence (a read failure, say) the figures would make no sense.
    if (error.requiredBytes != 0 && error.windowsError == kErrorDiskFull && key == TextKey::TextErrDiskFull) {
        message += L"\n";
        message += Text(TextKey::TextRequired);
        message += L": ";
        message += IsolateLeftToRight(FormatSize(error.requiredBytes, SizeRounding::Up));
        message += L" \u00B7 ";
        message += Text(TextKey::TextAvailable);
        message += L": ";
        message += IsolateLeftToRight(FormatSize(error.availableBytes, SizeRounding::Down));
    }
    return message;
}

bool IsDestinationFailure(const ConversionError& error) {
    switch (error.kind) {
    case Kind::AccessDenied:
        return true;
    case Kind::WriteFailed:
    case Kind::PathProblem:
        return IsNoSpaceCode(error.windowsError) || error.windowsError == kErrorFileTooLarge;
    default:
        return false;
    }
}

TextKey SourceKeptWarningKey(std::uint32_t windowsError) {
    return IsInUseCode(windowsError) ? TextKey::TextSourceInUseKept : TextKey::TextSourceNotDeleted;
}

} // namespace vesko
