// The one place where the user-interface thread and the conversion worker meet.
#pragma once

#include "app/BatchState.h"
#include "engine/ConversionError.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace vesko {

enum WorkerOutcomeCode : std::uint32_t {
    OutcomeConverted = 0,
    OutcomeCancelled = 1,
    OutcomeFailed = 2,
    OutcomeDestinationFailed = 3,
};

struct WorkerOutcome {
    WorkerOutcomeCode code = OutcomeConverted;
    std::wstring statusText;
    BatchItemResult item;
};

struct WorkerShared {
    std::thread workerThread;
    // The engine's cancel flag itself: its address is handed to the conversion.
    CancelFlag cancelRequested{0};
    std::atomic<bool> workerFinished{false};
    std::atomic<std::uint64_t> progressWritten{0};
    std::atomic<std::uint64_t> progressTotal{0};
    std::atomic<std::int32_t> progressPhase{0};
    std::mutex outcomeLock;
    WorkerOutcome outcome;
};

struct ConversionTask {
    std::wstring sourcePath;
    std::wstring outputFolder;
    bool deleteSource = false;
};

} // namespace vesko
