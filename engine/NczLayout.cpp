#include "engine/NczLayout.h"

#include "engine/Bytes.h"
#include "engine/InputFile.h"
#include "engine/Limits.h"

#include <algorithm>
#include <cstring>

namespace vesko {

namespace {

using K = ConversionError::Kind;

constexpr std::uint64_t kSectionHeaderEnd = kNcaHeaderSize + 16;
constexpr std::uint64_t kSectionRecordSize = 64;
constexpr std::uint64_t kBlockHeaderSize = 24;
// The block size table is validated through one fixed buffer, never loaded whole.
constexpr std::uint64_t kTableChunkEntries = 16384;
// Section records are read a chunk at a time: a million of them must not cost a million reads.
constexpr std::uint64_t kTableChunkRecords = 1024;

std::uint64_t CheckedAdd(std::uint64_t a, std::uint64_t b) {
    if (!RangeFits(a, b))
        ThrowConversionError(kMsgOverflow, K::Corrupt);
    return a + b;
}

void ValidateBlockTable(const InputFile& input, std::uint64_t tableOffset, const NczLayout& layout,
                        std::uint64_t bytesAfterTable, const CancelFlag* cancelFlag) {
    const std::uint64_t bodySize = layout.ncaSize - kNcaHeaderSize;
    std::vector<std::uint8_t> buffer(kTableChunkEntries * 4);
    std::uint64_t sum = 0;
    for (std::uint64_t first = 0; first < layout.blockCount; first += kTableChunkEntries) {
        throwIfCancelled(cancelFlag);
        const std::uint64_t entries = std::min<std::uint64_t>(kTableChunkEntries, layout.blockCount - first);
        input.readAt(tableOffset + 4 * first, buffer.data(), 4 * entries);
        for (std::uint64_t k = 0; k < entries; ++k) {
            const std::uint64_t j = first + k;
            const std::uint64_t compressed = LoadLe32(buffer.data() + 4 * k);
            const std::uint64_t expected = std::min(layout.blockSize, bodySize - j * layout.blockSize);
            if (compressed == 0 || compressed > expected)
                ThrowConversionError("Повреждённый NCZBLOCK: некорректная длина блока.", K::Corrupt);
            sum = CheckedAdd(sum, compressed);
        }
    }
    if (sum != bytesAfterTable)
        ThrowConversionError("Повреждённый NCZBLOCK: данные обрезаны или содержат лишние байты.", K::Corrupt);
}

} // namespace

NczLayout ParseNczLayout(const InputFile& input, std::uint64_t memberOffset, std::uint64_t memberSize,
                         const CancelFlag* cancelFlag) {
    if (!RangeFits(memberOffset, memberSize))
        ThrowConversionError(kMsgOverflow, K::Corrupt);
    if (memberSize < kNcaHeaderSize)
        ThrowConversionError("Повреждённый файл: заголовок выходит за границы данных.", K::Corrupt);
    if (memberSize < kSectionHeaderEnd)
        ThrowConversionError("Повреждённый файл: данные обрезаны.", K::Corrupt);
    if (memberOffset > kMaxFileOffset - kNcaHeaderSize)
        ThrowConversionError(kMsgOverflow, K::Corrupt);

    std::uint8_t sectionHeader[16];
    input.readAt(memberOffset + kNcaHeaderSize, sectionHeader, sizeof sectionHeader);
    if (std::memcmp(sectionHeader, "NCZSECTN", 8) != 0)
        ThrowConversionError("В файле NCZ отсутствует заголовок NCZSECTN.", K::Corrupt);

    const std::uint64_t count = LoadLe64(sectionHeader + 8);
    if (count == 0 || count > (memberSize - kSectionHeaderEnd) / kSectionRecordSize)
        ThrowConversionError("Повреждённый NCZ: некорректное число секций.", K::Corrupt);
    if (count > kMaxNczSections)
        ThrowConversionError("Повреждённый NCZ: некорректное число секций.", K::Unsupported);

    NczLayout layout;
    layout.sections.reserve(static_cast<std::size_t>(count));
    std::vector<std::uint8_t> records;
    for (std::uint64_t k = 0; k < count; ++k) {
        throwIfCancelled(cancelFlag);
        const std::uint64_t inChunk = k % kTableChunkRecords;
        if (inChunk == 0) {
            records.resize(
                static_cast<std::size_t>(kSectionRecordSize * std::min(kTableChunkRecords, count - k)));
            input.readAt(memberOffset + kSectionHeaderEnd + kSectionRecordSize * k, records.data(),
                         records.size());
        }
        const std::uint8_t* record = records.data() + kSectionRecordSize * inChunk;
        NczSection section;
        section.offset = LoadLe64(record);
        section.size = LoadLe64(record + 8);
        section.cryptoType = LoadLe64(record + 16);
        std::memcpy(section.key.data(), record + 32, 16);
        std::memcpy(section.counter.data(), record + 48, 16);
        if (section.size == 0)
            ThrowConversionError("Повреждённый NCZ: пустая секция.", K::Corrupt);
        if (!RangeFits(section.offset, section.size))
            ThrowConversionError(kMsgOverflow, K::Corrupt);
        if (k > 0) {
            const NczSection& previous = layout.sections.back();
            if (section.offset != previous.offset + previous.size)
                ThrowConversionError("Повреждённый NCZ: секции пересекаются или имеют пропуски.", K::Corrupt);
        }
        if (section.cryptoType != 1 && section.cryptoType != 3 && section.cryptoType != 4)
            ThrowConversionError("Этот тип шифрования секции NCZ не поддерживается.", K::Unsupported);
        layout.sections.push_back(section);
    }

    layout.ncaSize = layout.sections.back().offset + layout.sections.back().size;
    if (layout.ncaSize <= kNcaHeaderSize)
        ThrowConversionError("Повреждённый NCZ: отсутствуют данные после заголовка NCA.", K::Corrupt);

    const std::uint64_t tablesEnd = kSectionHeaderEnd + kSectionRecordSize * count; // P
    const std::uint64_t remaining = memberSize - tablesEnd;
    if (remaining < 4)
        ThrowConversionError("Повреждённый NCZ: отсутствуют сжатые данные.", K::Corrupt);

    const std::uint64_t dataStart = CheckedAdd(memberOffset, tablesEnd);
    std::uint8_t blockHeader[kBlockHeaderSize] = {};
    bool blockForm = false;
    if (remaining >= 8) {
        input.readAt(dataStart, blockHeader, 8);
        blockForm = std::memcmp(blockHeader, "NCZBLOCK", 8) == 0;
    }
    if (!blockForm) {
        layout.dataOffset = dataStart;
        layout.dataSize = remaining;
        return layout;
    }

    if (remaining < kBlockHeaderSize)
        ThrowConversionError("Повреждённый файл: данные обрезаны.", K::Corrupt);
    input.readAt(dataStart, blockHeader, kBlockHeaderSize);
    if (blockHeader[8] != 2 || blockHeader[9] != 1)
        ThrowConversionError("Неподдерживаемая версия или тип NCZBLOCK.", K::Unsupported);
    const unsigned exponent = blockHeader[11];
    if (exponent < 14 || exponent > 32)
        ThrowConversionError("Повреждённый NCZBLOCK: некорректный размер блока.", K::Corrupt);
    const std::uint64_t blockSize = std::uint64_t{1} << exponent;
    const std::uint64_t blockCount = LoadLe32(blockHeader + 12);
    const std::uint64_t bodySize = LoadLe64(blockHeader + 16);
    if (bodySize != layout.ncaSize - kNcaHeaderSize)
        ThrowConversionError("Повреждённый NCZBLOCK: размеры блоков и секций не совпадают.", K::Corrupt);
    if (blockCount == 0 || blockCount != (bodySize + blockSize - 1) / blockSize ||
        blockCount > (remaining - kBlockHeaderSize) / 4)
        ThrowConversionError("Повреждённый NCZBLOCK: некорректное число блоков.", K::Corrupt);

    layout.blockForm = true;
    layout.blockSize = blockSize;
    layout.blockCount = static_cast<std::uint32_t>(blockCount);
    layout.blockTableOffset = CheckedAdd(dataStart, kBlockHeaderSize);
    const std::uint64_t bytesAfterTable = remaining - kBlockHeaderSize - 4 * blockCount;
    ValidateBlockTable(input, layout.blockTableOffset, layout, bytesAfterTable, cancelFlag);
    layout.dataOffset = layout.blockTableOffset + 4 * blockCount;
    layout.dataSize = bytesAfterTable;
    return layout;
}

} // namespace vesko
