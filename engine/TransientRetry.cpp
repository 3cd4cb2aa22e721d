#include "engine/TransientRetry.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace vesko {

namespace {
// How often a wait looks at the cancel flag.
constexpr std::uint32_t kCancelPollMs = 10;
} // namespace

bool SleepUnlessCancelled(std::uint32_t milliseconds, const CancelFlag* cancelFlag) {
    for (std::uint32_t waited = 0; waited < milliseconds;) {
        if (IsCancelRequested(cancelFlag))
            return false;
        const std::uint32_t slice = std::min(kCancelPollMs, milliseconds - waited);
        std::this_thread::sleep_for(std::chrono::milliseconds(slice));
        waited += slice;
    }
    return !IsCancelRequested(cancelFlag);
}

std::uint32_t RetryTransientFailure(const std::function<std::uint32_t()>& attempt,
                                    const std::function<bool(std::uint32_t error)>& isTransient,
                                    const CancelFlag* cancelFlag, const RetryWait& wait) {
    std::uint32_t error = attempt();
    for (const std::uint32_t delay : kTransientRetryDelaysMs) {
        if (error == 0 || !isTransient(error) || !wait(delay, cancelFlag))
            break;
        error = attempt();
    }
    return error;
}

} // namespace vesko
