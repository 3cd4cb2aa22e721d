// The reservation of one output: a temporary file beside the final name, and a recovery journal that
// lets a later start delete that file if this process dies before publishing it.
#pragma once

#include "engine/ConversionError.h"
#include "storage/Journal.h"
#include "storage/RecoveryDirectory.h"
#include "storage/StoragePaths.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vesko {

class PendingOutput;

void CreatePendingOutput(std::unique_ptr<PendingOutput>& owner, const std::wstring& outputPath,
                         const CancelFlag* cancelFlag);
std::wstring PublishOutput(std::unique_ptr<PendingOutput>& pending, const std::wstring& outputPath,
                           bool pickUnusedName, const CancelFlag* cancelFlag);

class PendingOutput {
  public:
    PendingOutput() = default;
    // Unless published, deletes the temporary file and then the journal; never throws.
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

#ifdef _WIN32
    // Write access only (no read), opened for sequential writing; stays owned by this object.
    HANDLE outputHandle() const {
        return outputHandle_.get();
    }
#else
    // Write-only; stays owned by this object.
    int outputHandle() const {
        return outputHandle_.get();
    }
#endif

    // Non-zero when the output was published but the flush after the rename failed.
    std::uint32_t publishFlushError() const {
        return publishFlushError_;
    }

  private:
    friend void CreatePendingOutput(std::unique_ptr<PendingOutput>&, const std::wstring&, const CancelFlag*);
    friend std::wstring PublishOutput(std::unique_ptr<PendingOutput>&, const std::wstring&, bool,
                                      const CancelFlag*);

    StorageHandle outputHandle_;
    // On POSIX it holds an exclusive lock, which tells the start-up scan of any instance that this
    // reservation is alive.
    StorageHandle journalHandle_;
    StorageHandle directoryHandle_;
    RecoveryDirectory recoveryDirectory_;
#ifdef _WIN32
    std::wstring directoryFinalPath_;
#else
    // POSIX deletes and renames by name, always relative to the two directories held open.
    DirectoryIdentity directoryIdentity_;
    std::string temporaryName_;
    std::string journalName_;
#endif
    bool published_ = false;
    std::uint32_t publishFlushError_ = 0;
};

} // namespace vesko
