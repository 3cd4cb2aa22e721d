// Re-encrypting NCA sections with AES-128-CTR, built on the AES block function.
#pragma once

#include "engine/Crypto.h"
#include "engine/NczLayout.h"

#include <array>
#include <cstdint>
#include <memory>

namespace vesko {

// The counter block of the 16-byte block at NCA offset 16 * blockIndex: the section's counter
// bytes 0 to 7, then the block index big-endian.
void MakeCounterBlock(const std::uint8_t counterHigh[8], std::uint64_t blockIndex, std::uint8_t out[16]);

// The key of the section being encrypted; its material is zeroed on release.
class SectionKey {
  public:
    SectionKey(const CryptoProviders& providers, const NczSection& section);
    ~SectionKey();
    SectionKey(const SectionKey&) = delete;
    SectionKey& operator=(const SectionKey&) = delete;

    // XORs `length` bytes that start at NCA `position` with the section's keystream.
    void apply(std::uint8_t* data, std::size_t length, std::uint64_t position);

  private:
    AesEcbKey key_;
    std::uint8_t* keystream_ = nullptr;
    std::size_t keystreamSize_ = 0;
    std::array<std::uint8_t, 8> counterHigh_{};
};

// Receives the encryptor's output one chunk at a time; a chunk never crosses a section boundary.
class ChunkSink {
  public:
    virtual void write(std::uint8_t* data, std::size_t length) = 0;

  protected:
    ~ChunkSink() = default;
};

class SectionEncryptor {
  public:
    SectionEncryptor(const NczLayout& layout, const CryptoProviders& providers, ChunkSink& sink);

    // Encrypts in place where a section asks for it, then hands the chunks on; the buffer's contents change.
    void push(std::uint8_t* data, std::size_t length);

    std::uint64_t position() const { return position_; }

  private:
    const NczLayout& layout_;
    const CryptoProviders& providers_;
    ChunkSink& sink_;
    std::uint64_t position_;
    std::size_t sectionIndex_ = 0;
    std::unique_ptr<SectionKey> key_;
};

} // namespace vesko
