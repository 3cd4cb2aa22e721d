#include "app/BatchState.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace vesko {
namespace {

BatchItemResult Item(bool saved, bool kept = false) {
    BatchItemResult item;
    item.saved = saved ? 1 : 0;
    item.sourceKept = kept ? 1 : 0;
    item.message = L"m";
    return item;
}

TEST(StartBatch, ResetsEverything) {
    BatchState batch;
    batch.results.push_back(Item(true));
    batch.index = 4;
    batch.savedCount = 3;
    batch.failedCount = 2;
    batch.keptCount = 1;
    batch.stopped = true;
    StartBatch(batch, {L"a", L"b", L"c"}, true);
    EXPECT_EQ(batch.files.size(), 3u);
    EXPECT_TRUE(batch.results.empty());
    EXPECT_EQ(batch.index, 0u);
    EXPECT_EQ(batch.savedCount + batch.failedCount + batch.keptCount, 0u);
    EXPECT_TRUE(batch.deleteSources);
    EXPECT_FALSE(batch.stopped);
}

TEST(RecordBatchResult, CountsSavedKeptAndFailed) {
    BatchState batch;
    StartBatch(batch, {L"C:\\a.nsz", L"C:\\b.nsz", L"C:\\c.nsz"}, false);
    RecordBatchResult(batch, Item(true, true));
    EXPECT_EQ(batch.savedCount, 1u);
    EXPECT_EQ(batch.keptCount, 1u);
    RecordBatchResult(batch, Item(false));
    EXPECT_EQ(batch.failedCount, 1u);
    EXPECT_EQ(batch.savedCount, 1u);
    // A kept flag on an unsaved item is not counted as kept.
    RecordBatchResult(batch, Item(false, true));
    EXPECT_EQ(batch.failedCount, 2u);
    EXPECT_EQ(batch.keptCount, 1u);
    EXPECT_EQ(batch.index, 3u);
    ASSERT_EQ(batch.results.size(), 3u);
    EXPECT_EQ(batch.results[1].sourcePath, L"C:\\b.nsz");
}

TEST(RecordBatchResult, RefusesWithoutACurrentFileAndChangesNothing) {
    struct Case {
        const char* name;
        bool stopped;
        std::size_t recordedBefore;
    };
    const Case cases[] = {{"after the last file", false, 2}, {"after a stop", true, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BatchState batch;
        StartBatch(batch, {L"a", L"b"}, false);
        for (std::size_t i = 0; i < c.recordedBefore; ++i) {
            RecordBatchResult(batch, Item(true));
        }
        batch.stopped = c.stopped;
        const BatchState before = batch;
        try {
            RecordBatchResult(batch, Item(false));
            FAIL() << "no exception";
        } catch (const std::logic_error& e) {
            EXPECT_STREQ(e.what(), "No active batch item");
        }
        EXPECT_EQ(batch.results.size(), before.results.size());
        EXPECT_EQ(batch.index, before.index);
        EXPECT_EQ(batch.failedCount, before.failedCount);
    }
}

} // namespace
} // namespace vesko
