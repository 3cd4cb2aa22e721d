#include "app/ConversionWorker.h"
#include "ui/ScopedInterfaceLanguage.h"

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <stdexcept>

namespace vesko {
namespace {

std::unique_ptr<ConversionTask> Task(std::wstring source, std::wstring folder = L"",
                                     bool deleteSource = false) {
    return std::make_unique<ConversionTask>(
        ConversionTask{std::move(source), std::move(folder), deleteSource});
}

WorkerOutcome Published(WorkerShared& shared) {
    EXPECT_TRUE(shared.workerFinished.load());
    std::lock_guard<std::mutex> lock(shared.outcomeLock);
    return shared.outcome;
}

TEST(ConversionWorker, PassesPathsFlagAndChoiceToTheEngine) {
    const ScopedInterfaceLanguage english(InterfaceLanguage::English);
    WorkerShared shared;
    std::wstring seenInput, seenOutput;
    const CancelFlag* seenFlag = nullptr;
    bool seenPick = false, seenDelete = false;
    const ConvertFunction convert = [&](const std::wstring& in, const std::wstring& out,
                                        const ProgressCallback&, const CancelFlag* flag, bool pick,
                                        bool del) {
        seenInput = in;
        seenOutput = out;
        seenFlag = flag;
        seenPick = pick;
        seenDelete = del;
        return ConversionResult{L"D:\\out\\game (1).nsp", true, 0};
    };
    EXPECT_EQ(ConversionWorker(Task(L"C:\\in\\game.nsz", L"D:\\out", true), shared, convert), 0);
    EXPECT_EQ(seenInput, L"C:\\in\\game.nsz");
    EXPECT_EQ(seenOutput, L"D:\\out\\game.nsp");
    EXPECT_EQ(seenFlag, &shared.cancelRequested);
    EXPECT_TRUE(seenPick);
    EXPECT_TRUE(seenDelete);
    const WorkerOutcome outcome = Published(shared);
    EXPECT_EQ(outcome.code, OutcomeConverted);
    EXPECT_EQ(outcome.statusText, L"Done: game (1).nsp");
    EXPECT_EQ(outcome.item.message, outcome.statusText);
    EXPECT_EQ(outcome.item.saved, 1);
    EXPECT_EQ(outcome.item.sourceDeleted, 1);
    EXPECT_EQ(outcome.item.sourceKept, 0);
    EXPECT_EQ(outcome.item.outputPath, L"D:\\out\\game (1).nsp");
    EXPECT_TRUE(outcome.item.sourcePath.empty());
}

TEST(ConversionWorker, ProgressReachesTheSharedValues) {
    const ScopedInterfaceLanguage english(InterfaceLanguage::English);
    WorkerShared shared;
    const ConvertFunction convert = [](const std::wstring&, const std::wstring&,
                                       const ProgressCallback& progress, const CancelFlag*, bool, bool) {
        progress(Progress{300, 1000, 0});
        progress(Progress{1000, 1000, 1});
        return ConversionResult{L"x.nsp", false, 0};
    };
    ConversionWorker(Task(L"x.nsz"), shared, convert);
    EXPECT_EQ(shared.progressWritten.load(), 1000u);
    EXPECT_EQ(shared.progressTotal.load(), 1000u);
    EXPECT_EQ(shared.progressPhase.load(), 1);
}

TEST(ConversionWorker, KeptSourceCarriesTheWindowsCode) {
    const ScopedInterfaceLanguage english(InterfaceLanguage::English);
    WorkerShared shared;
    const ConvertFunction convert = [](const std::wstring&, const std::wstring&, const ProgressCallback&,
                                       const CancelFlag*, bool, bool) {
        return ConversionResult{L"C:\\g.nsp", false, 32};
    };
    ConversionWorker(Task(L"C:\\g.nsz", L"", true), shared, convert);
    const WorkerOutcome outcome = Published(shared);
    EXPECT_EQ(outcome.item.sourceKept, 1);
    EXPECT_EQ(outcome.item.deleteError, 32u);
}

TEST(ConversionWorker, EachExceptionGivesItsCodeAndText) {
    const ScopedInterfaceLanguage english(InterfaceLanguage::English);
    struct Case {
        const char* name;
        std::function<void()> raise;
        WorkerOutcomeCode code;
        std::wstring text;
    };
    const Case cases[] = {
        {"cancelled", [] { throw Cancelled(); }, OutcomeCancelled, L"Conversion cancelled."},
        {"corrupt", [] { throw ConversionError("x", ConversionError::Kind::Corrupt); }, OutcomeFailed,
         L"The NSZ file is damaged or was not fully downloaded. Download it again."},
        {"access denied", [] { throw ConversionError("x", ConversionError::Kind::AccessDenied, 5); },
         OutcomeDestinationFailed, L""},
        {"out of memory", [] { throw std::bad_alloc(); }, OutcomeFailed,
         L"Not enough memory. Close other applications and try again."},
        {"anything else", [] { throw std::runtime_error("boom"); }, OutcomeFailed,
         L"An unexpected error stopped conversion. Restart the app and try again."},
        {"not even an exception", [] { throw 42; }, OutcomeFailed,
         L"An unexpected error stopped conversion. Restart the app and try again."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WorkerShared shared;
        const ConvertFunction convert = [&](const std::wstring&, const std::wstring&, const ProgressCallback&,
                                            const CancelFlag*, bool, bool) -> ConversionResult {
            c.raise();
            return {};
        };
        ConversionWorker(Task(L"C:\\g.nsz"), shared, convert);
        const WorkerOutcome outcome = Published(shared);
        EXPECT_EQ(outcome.code, c.code);
        if (!c.text.empty()) {
            EXPECT_EQ(outcome.statusText, c.text);
        } else {
            EXPECT_FALSE(outcome.statusText.empty());
        }
        EXPECT_EQ(outcome.item.message, outcome.statusText);
        EXPECT_EQ(outcome.item.saved, 0);
    }
}

TEST(PublishStartFailure, LooksLikeAFailedFile) {
    const ScopedInterfaceLanguage english(InterfaceLanguage::English);
    WorkerShared shared;
    PublishStartFailure(shared);
    const WorkerOutcome outcome = Published(shared);
    EXPECT_EQ(outcome.code, OutcomeFailed);
    EXPECT_EQ(outcome.statusText, L"Could not start conversion. Close other apps and try again.");
    EXPECT_EQ(outcome.item.message, outcome.statusText);
    EXPECT_EQ(outcome.item.saved, 0);
}

TEST(ConvertedOutcome, ArabicIsolatesTheFileName) {
    const ScopedInterfaceLanguage arabic(InterfaceLanguage::Arabic);
    const WorkerOutcome outcome = ConvertedOutcome(ConversionResult{L"C:\\d\\game.nsp", false, 0}, false);
    EXPECT_NE(outcome.statusText.find(L"\u200Egame.nsp\u200E"), std::wstring::npos);
}

} // namespace
} // namespace vesko
