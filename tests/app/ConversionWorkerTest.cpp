#include "app/ConversionWorker.h"
#include "ui/ScopedInterfaceLanguage.h"

#include <gtest/gtest.h>

#include <memory>
#include <functional>
#include <new>
#include <stdexcept>
#include <tuple>

namespace vesko {
namespace {

struct ConversionWorkerTest : testing::Test {
    // Runs the worker on one file with this conversion; what it published.
    WorkerOutcome Run(const ConvertFunction& convert, std::wstring folder = L"", bool deleteSource = false) {
        ConversionWorker(
            std::make_unique<ConversionTask>(ConversionTask{L"C:\\in\\game.nsz", folder, deleteSource}),
            shared, convert);
        EXPECT_TRUE(shared.workerFinished.load());
        std::lock_guard<std::mutex> lock(shared.outcomeLock);
        return shared.outcome;
    }

    const ScopedInterfaceLanguage english{InterfaceLanguage::English};
    WorkerShared shared;
};

TEST_F(ConversionWorkerTest, PassesPathsFlagAndChoiceToTheEngineAndPublishesProgressAndResult) {
    std::wstring seenInput, seenOutput;
    const CancelFlag* seenFlag = nullptr;
    bool seenPick = false, seenDelete = false;
    const WorkerOutcome outcome = Run(
        [&](const std::wstring& in, const std::wstring& out, const ProgressCallback& progress,
            const CancelFlag* flag, bool pick, bool del) {
            std::tie(seenInput, seenOutput, seenFlag, seenPick, seenDelete) =
                std::tie(in, out, flag, pick, del);
            progress(Progress{300, 1000, 0});
            progress(Progress{1000, 1000, 1});
            return ConversionResult{L"D:\\out\\game (1).nsp", true, 0};
        },
        L"D:\\out", true);
    EXPECT_EQ(seenInput, L"C:\\in\\game.nsz");
    EXPECT_EQ(seenOutput, L"D:\\out\\game.nsp");
    EXPECT_EQ(seenFlag, &shared.cancelRequested);
    EXPECT_TRUE(seenPick && seenDelete);
    EXPECT_EQ(shared.progressWritten.load(), 1000u);
    EXPECT_EQ(shared.progressTotal.load(), 1000u);
    EXPECT_EQ(shared.progressPhase.load(), 1);
    EXPECT_EQ(outcome.code, OutcomeConverted);
    EXPECT_EQ(outcome.statusText, L"Done: game (1).nsp");
    EXPECT_EQ(outcome.item.message, outcome.statusText);
    EXPECT_EQ(outcome.item.saved, 1);
    EXPECT_EQ(outcome.item.sourceDeleted, 1);
    EXPECT_EQ(outcome.item.sourceKept, 0);
    EXPECT_EQ(outcome.item.outputPath, L"D:\\out\\game (1).nsp");
    EXPECT_TRUE(outcome.item.sourcePath.empty());
}

TEST_F(ConversionWorkerTest, KeptSourceCarriesTheWindowsCode) {
    const WorkerOutcome outcome = Run(
        [](const std::wstring&, const std::wstring&, const ProgressCallback&, const CancelFlag*, bool, bool) {
            return ConversionResult{L"C:\\g.nsp", false, 32};
        },
        L"", true);
    EXPECT_EQ(outcome.item.sourceKept, 1);
    EXPECT_EQ(outcome.item.deleteError, 32u);
}

TEST_F(ConversionWorkerTest, EachExceptionGivesItsCodeAndText) {
    const std::wstring unexpected = L"An unexpected error stopped conversion. Restart the app and try again.";
    const std::tuple<std::function<void()>, WorkerOutcomeCode, std::wstring> cases[] = {
        {[] { throw Cancelled(); }, OutcomeCancelled, L"Conversion cancelled."},
        {[] { throw ConversionError("x", ConversionError::Kind::Corrupt); }, OutcomeFailed,
         L"The NSZ file is damaged or was not fully downloaded. Download it again."},
        {[] { throw ConversionError("x", ConversionError::Kind::AccessDenied, 5); }, OutcomeDestinationFailed,
         L""},
        {[] { throw std::bad_alloc(); }, OutcomeFailed,
         L"Not enough memory. Close other applications and try again."},
        {[] { throw std::runtime_error("boom"); }, OutcomeFailed, unexpected},
        {[] { throw 42; }, OutcomeFailed, unexpected}, // not even an exception
    };
    for (const auto& [raise, code, text] : cases) {
        SCOPED_TRACE(static_cast<int>(code));
        shared.workerFinished.store(false);
        const WorkerOutcome outcome =
            Run([&throwIt = raise](const std::wstring&, const std::wstring&, const ProgressCallback&,
                                   const CancelFlag*, bool, bool) -> ConversionResult {
                throwIt();
                return {};
            });
        EXPECT_EQ(outcome.code, code);
        EXPECT_FALSE(outcome.statusText.empty());
        if (!text.empty()) {
            EXPECT_EQ(outcome.statusText, text);
        }
        EXPECT_EQ(outcome.item.message, outcome.statusText);
        EXPECT_EQ(outcome.item.saved, 0);
    }
}

TEST_F(ConversionWorkerTest, AStartFailureLooksLikeAFailedFile) {
    PublishStartFailure(shared);
    EXPECT_TRUE(shared.workerFinished.load());
    EXPECT_EQ(shared.outcome.code, OutcomeFailed);
    EXPECT_EQ(shared.outcome.statusText, L"Could not start conversion. Close other apps and try again.");
    EXPECT_EQ(shared.outcome.item.message, shared.outcome.statusText);
    EXPECT_EQ(shared.outcome.item.saved, 0);
}

TEST(ConvertedOutcome, ArabicIsolatesTheFileName) {
    const ScopedInterfaceLanguage arabic(InterfaceLanguage::Arabic);
    const WorkerOutcome outcome = ConvertedOutcome(ConversionResult{L"C:\\d\\game.nsp", false, 0}, false);
    EXPECT_NE(outcome.statusText.find(L"\u200Egame.nsp\u200E"), std::wstring::npos);
}

} // namespace
} // namespace vesko
