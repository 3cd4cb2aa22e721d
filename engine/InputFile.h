// The NSZ being converted, read with positioned, cancellable reads.
#pragma once

#include <cstdint>
#include <string>

namespace vesko {

// What proves later that a path still names the file that was converted.
struct FileIdentity {
    std::uint32_t attributes = 0;
    std::uint32_t volumeSerial = 0;
    std::uint32_t fileIndexHigh = 0;
    std::uint32_t fileIndexLow = 0;
    std::uint32_t fileSizeHigh = 0;
    std::uint32_t fileSizeLow = 0;
    std::uint32_t lastWriteLow = 0;
    std::uint32_t lastWriteHigh = 0;
    // POSIX only: the inode's change time, which also moves when the file is renamed or relinked.
    std::uint64_t changeTime = 0;

    bool operator==(const FileIdentity&) const = default;
};

class InputFile {
  public:
    // Opens for reading, sharing read access only; throws ReadFailed.
    explicit InputFile(const std::wstring& longPath);
    virtual ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Fills the buffer with exactly `length` bytes from `offset`, or throws.
    // Virtual so that tests can make a chosen read fail.
    virtual void readAt(std::uint64_t offset, void* buffer, std::uint64_t length) const;

    // Throws ReadFailed when the size cannot be read, Corrupt when it is negative.
    std::uint64_t size() const;

    // 0 on success, else the system's error code.
    std::uint32_t queryIdentity(FileIdentity& identity) const;

    void close();
    bool isOpen() const;

  private:
    std::uint32_t seekTo(std::uint64_t offset) const;
    // Reads up to `length` bytes at the current position; `got` 0 means end of file.
    std::uint32_t readSome(void* buffer, std::uint32_t length, std::uint32_t& got) const;

    std::intptr_t native_;
};

} // namespace vesko
