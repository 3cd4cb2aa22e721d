#include "engine/OutputHeader.h"

#include "engine/Bytes.h"
#include "engine/Limits.h"

#include <cstring>

namespace vesko {

using K = ConversionError::Kind;

namespace {
constexpr std::uint64_t kMaxUnroundedHeader = 0x7FFFFFFFFFFFFFF0ull;
}

OutputHeader BuildOutputHeader(const std::vector<PlannedMember>& plan) {
    const std::uint64_t count = plan.size();
    std::uint64_t namesSize = 0;
    for (const PlannedMember& member : plan) {
        if (!RangeFits(namesSize, member.outputName.size() + 1))
            ThrowConversionError(kMsgOverflow, K::Corrupt);
        namesSize += member.outputName.size() + 1;
    }
    if (count > (kMaxFileOffset - 16) / 24 || !RangeFits(16 + 24 * count, namesSize) ||
        16 + 24 * count + namesSize > kMaxUnroundedHeader)
        ThrowConversionError(kMsgOverflow, K::Corrupt);
    const std::uint64_t headerSize = (16 + 24 * count + namesSize + 15) / 16 * 16;
    const std::uint64_t stringTableSize = headerSize - 16 - 24 * count;
    if (headerSize > kMaxTableBytes || stringTableSize > 0xFFFFFFFFull || count > 0xFFFFFFFFull)
        ThrowConversionError(kMsgOutputHeaderTooLarge, K::Unsupported);

    OutputHeader header;
    header.bytes.assign(static_cast<std::size_t>(headerSize), 0);
    std::uint8_t* out = header.bytes.data();
    std::memcpy(out, "PFS0", 4);
    StoreLe32(out + 4, static_cast<std::uint32_t>(count));
    StoreLe32(out + 8, static_cast<std::uint32_t>(stringTableSize));
    std::uint64_t dataOffset = 0;
    std::uint64_t nameOffset = 0;
    std::uint8_t* names = out + 16 + 24 * count;
    for (std::uint64_t i = 0; i < count; ++i) {
        const PlannedMember& member = plan[static_cast<std::size_t>(i)];
        if (!RangeFits(dataOffset, member.outputSize))
            ThrowConversionError(kMsgOverflow, K::Corrupt);
        std::uint8_t* entry = out + 16 + 24 * i;
        StoreLe64(entry, dataOffset);
        StoreLe64(entry + 8, member.outputSize);
        StoreLe32(entry + 16, static_cast<std::uint32_t>(nameOffset));
        std::memcpy(names + nameOffset, member.outputName.data(), member.outputName.size());
        nameOffset += member.outputName.size() + 1;
        dataOffset += member.outputSize;
    }
    if (!RangeFits(headerSize, dataOffset))
        ThrowConversionError(kMsgOverflow, K::Corrupt);
    header.totalSize = headerSize + dataOffset;
    return header;
}

} // namespace vesko
