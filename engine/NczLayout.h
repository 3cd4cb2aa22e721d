// The section and block tables of an NCZ member.
#pragma once

#include "engine/ConversionError.h"

#include <array>
#include <cstdint>
#include <vector>

namespace vesko {

class InputFile;

struct NczSection {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint64_t cryptoType = 0;
    std::array<std::uint8_t, 16> key{};
    std::array<std::uint8_t, 16> counter{};
};

struct NczLayout {
    std::vector<NczSection> sections;
    std::uint64_t ncaSize = 0;
    std::uint64_t dataOffset = 0;
    std::uint64_t dataSize = 0;
    bool blockForm = false;
    std::uint64_t blockSize = 0;
    std::uint32_t blockCount = 0;
    std::uint64_t blockTableOffset = 0;
};

// Validates everything about the member's tables before a byte of it is decompressed.
NczLayout ParseNczLayout(const InputFile& input, std::uint64_t memberOffset, std::uint64_t memberSize,
                         const CancelFlag* cancelFlag);

} // namespace vesko
