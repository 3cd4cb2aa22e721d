#include "engine/ConversionError.h"

namespace vesko {

thread_local const CancelFlag* currentCancelFlag = nullptr;

const char* KindName(ConversionError::Kind kind) {
    using K = ConversionError::Kind;
    switch (kind) {
    case K::Corrupt:
        return "Corrupt";
    case K::Unsupported:
        return "Unsupported";
    case K::ReadFailed:
        return "ReadFailed";
    case K::WriteFailed:
        return "WriteFailed";
    case K::NameConflict:
        return "NameConflict";
    case K::SystemCrypto:
        return "SystemCrypto";
    case K::VerificationFailed:
        return "VerificationFailed";
    case K::OutOfMemory:
        return "OutOfMemory";
    case K::PathProblem:
        return "PathProblem";
    case K::InputChanged:
        return "InputChanged";
    case K::AccessDenied:
        return "AccessDenied";
    case K::NotNsz:
        return "NotNsz";
    case K::RecoveryRecords:
        return "RecoveryRecords";
    }
    return "Unknown";
}

void throwIfCancelled(const CancelFlag* flag) {
    if (IsCancelRequested(flag))
        throw Cancelled();
}

void ThrowConversionError(const std::string& message, ConversionError::Kind kind) {
    throw ConversionError(message, kind);
}

bool IsAccessDeniedCode(std::uint32_t windowsCode) {
    return windowsCode == 5 || windowsCode == 19 || windowsCode == 65 || windowsCode == 1314;
}

std::string WithWindowsCode(const std::string& message, std::uint32_t windowsCode) {
    return message + " (Windows " + std::to_string(windowsCode) + ")";
}

void ThrowWindowsError(ConversionError::Kind kind, const std::string& message, std::uint32_t windowsCode) {
    if (windowsCode == kErrorOperationAborted && IsCancelRequested(currentCancelFlag))
        throw Cancelled();
    throw ConversionError(WithWindowsCode(message, windowsCode), kind, windowsCode);
}

void ThrowWindowsErrorMapped(ConversionError::Kind kind, const std::string& message,
                             std::uint32_t windowsCode) {
    ThrowWindowsError(IsAccessDeniedCode(windowsCode) ? ConversionError::Kind::AccessDenied : kind, message,
                      windowsCode);
}

} // namespace vesko
