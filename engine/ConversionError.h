// Failure and cancellation types shared by the engine, the storage code and the interface.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

namespace vesko {

class ConversionError : public std::runtime_error {
  public:
    // The numbers are stored knowledge of the interface and the storage code: never renumber.
    enum class Kind : std::uint32_t {
        Corrupt = 0,
        Unsupported = 1,
        ReadFailed = 2,
        WriteFailed = 3,
        NameConflict = 4,
        SystemCrypto = 5,
        VerificationFailed = 6,
        OutOfMemory = 7,
        PathProblem = 8,
        InputChanged = 9,
        AccessDenied = 10,
        NotNsz = 11,
        RecoveryRecords = 12,
    };

    ConversionError(const std::string& message, Kind kind, std::uint32_t windowsError = 0,
                    std::uint64_t requiredBytes = 0, std::uint64_t availableBytes = 0)
        : std::runtime_error(message), kind(kind), windowsError(windowsError), requiredBytes(requiredBytes),
          availableBytes(availableBytes) {}

    Kind kind;
    std::uint32_t windowsError;
    std::uint64_t requiredBytes;
    std::uint64_t availableBytes;
};

// The name of a kind as written in the code, for diagnostics and the console converter.
const char* KindName(ConversionError::Kind kind);

class Cancelled : public std::exception {
  public:
    const char* what() const noexcept override { return "Conversion cancelled"; }
};

enum class ProgressPhase : std::uint32_t { Writing = 0, Finishing = 1 };

struct Progress {
    std::uint64_t bytesWritten = 0;
    std::uint64_t bytesTotal = 0;
    std::uint32_t phase = 0;
};

using ProgressCallback = std::function<void(Progress)>;

// One byte owned by the caller; bit 0 set asks the running conversion to stop.
using CancelFlag = std::atomic<std::uint8_t>;

// The flag of the conversion running on this thread, for helpers that are not handed one.
extern thread_local const CancelFlag* currentCancelFlag;

// Restores the previous currentCancelFlag on every way out of a scope.
class CurrentCancelFlagScope {
  public:
    explicit CurrentCancelFlagScope(const CancelFlag* flag) : saved_(currentCancelFlag) {
        currentCancelFlag = flag;
    }
    ~CurrentCancelFlagScope() { currentCancelFlag = saved_; }
    CurrentCancelFlagScope(const CurrentCancelFlagScope&) = delete;
    CurrentCancelFlagScope& operator=(const CurrentCancelFlagScope&) = delete;

  private:
    const CancelFlag* saved_;
};

inline bool IsCancelRequested(const CancelFlag* flag) {
    return flag != nullptr && (flag->load(std::memory_order_acquire) & 1u) != 0;
}

void throwIfCancelled(const CancelFlag* flag);

// Cancellation point for helpers without a flag of their own.
inline void throwIfCurrentCancelled() {
    throwIfCancelled(currentCancelFlag);
}

[[noreturn]] void ThrowConversionError(const std::string& message, ConversionError::Kind kind);
[[noreturn]] void ThrowWindowsError(ConversionError::Kind kind, const std::string& message,
                                    std::uint32_t windowsCode);
[[noreturn]] void ThrowWindowsErrorMapped(ConversionError::Kind kind, const std::string& message,
                                          std::uint32_t windowsCode);

// Codes that make a failure read as "access denied" to the user.
bool IsAccessDeniedCode(std::uint32_t windowsCode);

// The message with the " (Windows N)" suffix shared by the engine and the storage code.
std::string WithWindowsCode(const std::string& message, std::uint32_t windowsCode);

constexpr std::uint32_t kErrorOperationAborted = 995;
constexpr std::uint64_t kMaxFileOffset = 0x7FFFFFFFFFFFFFFFull;

// Messages raised from more than one place.
inline constexpr const char* kMsgOverflow = "Повреждённый файл: слишком большой размер или смещение.";
inline constexpr const char* kMsgSystemCrypto = "Ошибка встроенной криптографии Windows.";

// True when start + length stays within 2^63 - 1 (and both are representable as file positions).
inline bool RangeFits(std::uint64_t start, std::uint64_t length) {
    return (length & 0x8000000000000000ull) == 0 && start <= kMaxFileOffset - length;
}

} // namespace vesko
