#include "app/ConversionWorker.h"

#include "app/OutputPath.h"
#include "ui/FailureMessage.h"
#include "ui/Texts.h"

#include <new>
#include <utility>

namespace vesko {
namespace {

void Publish(WorkerShared& shared, WorkerOutcome outcome) {
    {
        std::lock_guard<std::mutex> lock(shared.outcomeLock);
        shared.outcome.code = outcome.code;
        shared.outcome.statusText = std::move(outcome.statusText);
        shared.outcome.item = std::move(outcome.item);
    }
    // Raised only after the lock is released: whoever sees it finds the complete outcome.
    shared.workerFinished.store(true);
}

WorkerOutcome Failure(WorkerOutcomeCode code, std::wstring text) {
    WorkerOutcome outcome;
    outcome.code = code;
    outcome.item.message = text;
    outcome.statusText = std::move(text);
    return outcome;
}

} // namespace

WorkerOutcome ConvertedOutcome(const ConversionResult& result, bool deleteSource) {
    WorkerOutcome outcome;
    outcome.code = OutcomeConverted;
    outcome.item.saved = 1;
    outcome.item.outputPath = result.outputPath;
    outcome.item.sourceDeleted = result.sourceDeleted ? 1 : 0;
    outcome.item.sourceKept = (deleteSource && !result.sourceDeleted) ? 1 : 0;
    outcome.item.deleteError = result.sourceDeleteError;
    outcome.statusText =
        std::wstring(Text(TextKey::TextDone)) + L": " + IsolateLeftToRight(FileNameOf(result.outputPath));
    outcome.item.message = outcome.statusText;
    return outcome;
}

WorkerOutcome FailedOutcome(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const Cancelled&) {
        return Failure(OutcomeCancelled, Text(TextKey::TextConversionCancelled));
    } catch (const ConversionError& error) {
        return Failure(IsDestinationFailure(error) ? OutcomeDestinationFailed : OutcomeFailed,
                       std::wstring(FailureMessage(error)));
    } catch (const std::bad_alloc&) {
        return Failure(OutcomeFailed, Text(TextKey::TextErrOutOfMemory));
    } catch (...) {
        return Failure(OutcomeFailed, Text(TextKey::TextErrUnexpected));
    }
}

int ConversionWorker(std::unique_ptr<ConversionTask> task, WorkerShared& shared,
                     const ConvertFunction& convert) {
    WorkerOutcome outcome;
    try {
        const std::wstring outputPath = OutputPathFor(task->sourcePath, task->outputFolder);
        // Three plain stores: this runs for every block written, so no lock, allocation or message.
        const ProgressCallback progress = [&shared](Progress report) {
            shared.progressTotal.exchange(report.bytesTotal);
            shared.progressWritten.exchange(report.bytesWritten);
            shared.progressPhase.exchange(static_cast<std::int32_t>(report.phase));
        };
        const ConversionResult result = convert(task->sourcePath, outputPath, progress,
                                                &shared.cancelRequested, true, task->deleteSource);
        outcome = ConvertedOutcome(result, task->deleteSource);
    } catch (...) {
        try {
            outcome = FailedOutcome(std::current_exception());
        } catch (...) {
            // Composing the message itself ran out of memory: report with what needs no allocation.
            outcome = WorkerOutcome{};
            outcome.code = OutcomeFailed;
        }
    }
    Publish(shared, std::move(outcome));
    return 0;
}

void PublishStartFailure(WorkerShared& shared) {
    {
        std::lock_guard<std::mutex> lock(shared.outcomeLock);
        shared.outcome.code = OutcomeFailed;
        shared.outcome.statusText = Text(TextKey::TextErrStartFailed);
        shared.outcome.item = BatchItemResult{};
        shared.outcome.item.message = shared.outcome.statusText;
    }
    shared.workerFinished.store(true);
}

} // namespace vesko
