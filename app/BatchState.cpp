#include "app/BatchState.h"

#include <stdexcept>
#include <utility>

namespace vesko {

void StartBatch(BatchState& batch, std::vector<std::wstring> files, bool deleteSources) {
    batch.files = std::move(files);
    batch.results.clear();
    batch.index = 0;
    batch.savedCount = 0;
    batch.failedCount = 0;
    batch.keptCount = 0;
    batch.deleteSources = deleteSources;
    batch.stopped = false;
}

void RecordBatchResult(BatchState& batch, BatchItemResult item) {
    if (batch.stopped || batch.index >= batch.files.size()) {
        throw std::logic_error("No active batch item");
    }
    item.sourcePath = batch.files[static_cast<std::size_t>(batch.index)];
    batch.results.push_back(std::move(item));
    const BatchItemResult& added = batch.results.back();
    if (added.saved != 0) {
        ++batch.savedCount;
        if (added.sourceKept != 0) {
            ++batch.keptCount;
        }
    } else {
        ++batch.failedCount;
    }
    ++batch.index;
}

} // namespace vesko
