#include "engine/SectionEncryptor.h"

#include "engine/Limits.h"

#include <algorithm>
#include <cstring>

namespace vesko {

using K = ConversionError::Kind;

void MakeCounterBlock(const std::uint8_t counterHigh[8], std::uint64_t blockIndex, std::uint8_t out[16]) {
    std::memcpy(out, counterHigh, 8);
    out[8] = static_cast<std::uint8_t>(blockIndex >> 56);
    out[9] = static_cast<std::uint8_t>(blockIndex >> 48);
    out[10] = static_cast<std::uint8_t>(blockIndex >> 40);
    out[11] = static_cast<std::uint8_t>(blockIndex >> 32);
    out[12] = static_cast<std::uint8_t>(blockIndex >> 24);
    out[13] = static_cast<std::uint8_t>(blockIndex >> 16);
    out[14] = static_cast<std::uint8_t>(blockIndex >> 8);
    out[15] = static_cast<std::uint8_t>(blockIndex);
}

SectionKey::SectionKey(const CryptoProviders& providers, const NczSection& section)
    : key_(providers, section.key.data()) {
    std::memcpy(counterHigh_.data(), section.counter.data(), counterHigh_.size());
}

SectionKey::~SectionKey() {
    SecureZero(keystream_, keystreamSize_);
    delete[] keystream_;
    SecureZero(counterHigh_.data(), counterHigh_.size());
}

void SectionKey::apply(std::uint8_t* data, std::size_t length, std::uint64_t position) {
    const std::size_t skip = static_cast<std::size_t>(position % 16);
    const std::size_t needed = (length + skip + 15) / 16 * 16;
    if (needed > keystreamSize_) {
        // Grown by hand so that the old keystream is wiped, not left behind by a reallocation.
        auto* grown = new std::uint8_t[needed];
        SecureZero(keystream_, keystreamSize_);
        delete[] keystream_;
        keystream_ = grown;
        keystreamSize_ = needed;
    }
    const std::uint64_t firstBlock = position / 16;
    for (std::size_t b = 0; b < needed / 16; ++b)
        MakeCounterBlock(counterHigh_.data(), firstBlock + b, keystream_ + 16 * b);
    key_.encryptBlocks(keystream_, needed);
    // Eight bytes at a time: this loop runs over every encrypted byte of a package.
    std::size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        std::uint64_t word;
        std::uint64_t stream;
        std::memcpy(&word, data + i, 8);
        std::memcpy(&stream, keystream_ + skip + i, 8);
        word ^= stream;
        std::memcpy(data + i, &word, 8);
    }
    for (; i < length; ++i)
        data[i] ^= keystream_[skip + i];
}

SectionEncryptor::SectionEncryptor(const NczLayout& layout, const CryptoProviders& providers, ChunkSink& sink)
    : layout_(layout), providers_(providers), sink_(sink), position_(kNcaHeaderSize) {}

void SectionEncryptor::push(std::uint8_t* data, std::size_t length) {
    if (length > layout_.ncaSize - position_)
        ThrowConversionError("NCZ распаковывается в больший размер, чем указан в заголовке.", K::Corrupt);
    while (length > 0) {
        if (sectionIndex_ >= layout_.sections.size())
            ThrowConversionError("Повреждённая таблица секций NCZ.", K::Corrupt);
        const NczSection& section = layout_.sections[sectionIndex_];
        const std::uint64_t sectionEnd = section.offset + section.size;
        if (position_ >= sectionEnd) {
            ++sectionIndex_;
            key_.reset();
            continue;
        }
        const bool inside = position_ >= section.offset;
        const std::uint64_t chunkEnd = inside ? sectionEnd : section.offset;
        const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(chunkEnd - position_, length));
        if (inside && section.cryptoType != 1) {
            if (!key_)
                key_ = std::make_unique<SectionKey>(providers_, section);
            key_->apply(data, chunk, position_);
        }
        sink_.write(data, chunk);
        position_ += chunk;
        data += chunk;
        length -= chunk;
    }
}

} // namespace vesko
