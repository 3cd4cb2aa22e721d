// The body of the conversion worker thread, with the engine call handed in so that tests can
// stand in for it.
#pragma once

#include "app/WorkerShared.h"
#include "convert/ConvertNszToNsp.h"

#include <exception>
#include <functional>
#include <memory>

namespace vesko {

using ConvertFunction = std::function<ConversionResult(
    const std::wstring& inputPath, const std::wstring& outputPath, const ProgressCallback& progress,
    const CancelFlag* cancelFlag, bool pickUnusedName, bool deleteSource)>;

// The outcome of a conversion that returned, and of one that threw (the exception decides).
WorkerOutcome ConvertedOutcome(const ConversionResult& result, bool deleteSource);
WorkerOutcome FailedOutcome(const std::exception_ptr& failure);

// Runs one conversion and publishes its outcome; never throws. Returns 0 as a thread body.
int ConversionWorker(std::unique_ptr<ConversionTask> task, WorkerShared& shared,
                     const ConvertFunction& convert);

// What a worker that could not be started leaves behind, so the batch treats it as a failed file.
void PublishStartFailure(WorkerShared& shared);

} // namespace vesko
