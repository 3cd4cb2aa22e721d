// Antivirus scanners and indexers open a file for a moment right after it is closed. An operation they
// refuse meanwhile is tried again a few times over less than a second, unless the user cancels.
#pragma once

#include "engine/ConversionError.h"

#include <cstdint>
#include <functional>

namespace vesko {

// Pauses before each further attempt; 750 ms in all.
inline constexpr std::uint32_t kTransientRetryDelaysMs[] = {50, 100, 200, 400};

// Waits `milliseconds`; false as soon as the flag asks to stop (the wait is then cut short).
using RetryWait = std::function<bool(std::uint32_t milliseconds, const CancelFlag* cancelFlag)>;
bool SleepUnlessCancelled(std::uint32_t milliseconds, const CancelFlag* cancelFlag);

// Calls `attempt` (0 on success, else the system's error code) until it succeeds, fails with an error
// that `isTransient` rejects, the delays are used up or `wait` reports cancellation. Returns the last
// attempt's result: a caller checks the flag itself to tell a cancelled wait from a lock that stayed.
std::uint32_t RetryTransientFailure(const std::function<std::uint32_t()>& attempt,
                                    const std::function<bool(std::uint32_t error)>& isTransient,
                                    const CancelFlag* cancelFlag,
                                    const RetryWait& wait = SleepUnlessCancelled);

} // namespace vesko
