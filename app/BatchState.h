// The record of one batch: its files, one result per processed file, and the counters.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vesko {

struct BatchItemResult {
    std::wstring sourcePath;
    std::wstring outputPath;
    std::wstring message;
    std::uint8_t saved = 0;
    std::uint8_t sourceDeleted = 0;
    std::uint8_t sourceKept = 0;
    std::uint32_t deleteError = 0;
};

struct BatchState {
    std::vector<std::wstring> files;
    std::vector<BatchItemResult> results;
    std::uint64_t index = 0;
    std::uint64_t savedCount = 0;
    std::uint64_t failedCount = 0;
    std::uint64_t keptCount = 0;
    bool deleteSources = false;
    bool stopped = false;
};

void StartBatch(BatchState& batch, std::vector<std::wstring> files, bool deleteSources);

// Throws std::logic_error "No active batch item" when no file is current; the record is then unchanged.
void RecordBatchResult(BatchState& batch, BatchItemResult item);

} // namespace vesko
