// Every output byte passes here: size-guarded writes and progress; and the hash of one member.
#pragma once

#include "engine/ConversionError.h"
#include "engine/Crypto.h"

#include <array>
#include <cstdint>
#include <string>

namespace vesko {

class OutputFile;

// The SHA-256 of one member as written, checked at its end against the prefix its name carries.
class Sha256Hash {
  public:
    explicit Sha256Hash(const CryptoProviders& providers) : context_(providers) {}

    void update(const void* data, std::size_t length) { context_.update(data, length); }
    // Throws VerificationFailed naming the member when the first 16 digest bytes differ.
    void finishAndVerify(const std::array<std::uint8_t, 16>& expected, const std::string& outputName);

  private:
    Sha256Context context_;
};

class OutputWriter {
  public:
    // `progress` may be empty and must outlive the writer.
    OutputWriter(OutputFile& output, const ProgressCallback& progress, const CancelFlag* cancelFlag,
                 std::uint64_t total);

    void write(const void* data, std::uint64_t length);

    void setPhase(ProgressPhase phase) { phase_ = static_cast<std::uint32_t>(phase); }
    void reportProgress() const;
    std::uint64_t written() const { return written_; }
    std::uint64_t total() const { return total_; }

  private:
    OutputFile& output_;
    const ProgressCallback& progress_;
    const CancelFlag* cancelFlag_;
    std::uint64_t written_ = 0;
    std::uint64_t total_;
    std::uint32_t phase_ = 0;
};

} // namespace vesko
