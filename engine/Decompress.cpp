#include "engine/Decompress.h"

#include "engine/Bytes.h"
#include "engine/InputFile.h"
#include "engine/Limits.h"
#include "engine/NczLayout.h"
#include "engine/SectionEncryptor.h"

#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>

namespace vesko {

using K = ConversionError::Kind;

ZstdStreamState::ZstdStreamState() : decoder(ZSTD_createDCtx()), input(kPieceSize, 0), output(kPieceSize, 0) {
    if (decoder == nullptr)
        ThrowConversionError("Недостаточно памяти для распаковки Zstandard.", K::OutOfMemory);
    // Refuses frames that would need a window above 512 MiB instead of allocating it.
    CheckZstdResult(ZSTD_DCtx_setParameter(decoder, ZSTD_d_windowLogMax, kZstdWindowLogMax));
}

ZstdStreamState::~ZstdStreamState() {
    ZSTD_freeDCtx(decoder);
}

void CheckZstdResult(std::size_t result) {
    if (!ZSTD_isError(result))
        return;
    K kind = K::Corrupt;
    switch (ZSTD_getErrorCode(result)) {
    case ZSTD_error_version_unsupported:
    case ZSTD_error_frameParameter_unsupported:
    case ZSTD_error_frameParameter_windowTooLarge:
        kind = K::Unsupported;
        break;
    case ZSTD_error_memory_allocation:
        kind = K::OutOfMemory;
        break;
    default:
        break;
    }
    ThrowConversionError(std::string("Ошибка распаковки Zstandard: ") + ZSTD_getErrorName(result), kind);
}

void DecompressStream(ZstdStreamState& state, const InputFile& input, std::uint64_t offset,
                      std::uint64_t length, std::uint64_t expected, SectionEncryptor& encryptor,
                      const CancelFlag* cancelFlag) {
    CheckZstdResult(ZSTD_initDStream(state.decoder));
    if (!RangeFits(offset, length))
        ThrowConversionError(kMsgOverflow, K::Corrupt);
    ZSTD_inBuffer window{state.input.data(), 0, 0};
    std::uint64_t consumed = 0;
    std::uint64_t produced = 0;
    throwIfCancelled(cancelFlag);
    for (;;) {
        std::size_t before = window.pos;
        if (window.pos == window.size && consumed < length) {
            const std::uint64_t piece = std::min<std::uint64_t>(length - consumed, kPieceSize);
            input.readAt(offset + consumed, state.input.data(), piece);
            window.size = static_cast<std::size_t>(piece);
            window.pos = 0;
            before = 0;
            consumed += piece;
        }
        ZSTD_outBuffer out{state.output.data(), state.output.size(), 0};
        const std::size_t result = ZSTD_decompressStream(state.decoder, &out, &window);
        CheckZstdResult(result);
        if (out.pos > expected - produced)
            ThrowConversionError("Повреждённый NCZ: распакованный размер превышает ожидаемый.", K::Corrupt);
        if (out.pos > 0) {
            encryptor.push(state.output.data(), out.pos);
            produced += out.pos;
        }
        if (result == 0)
            break;
        if (window.pos == before && out.pos == 0)
            ThrowConversionError("Повреждённый NCZ: поток Zstandard обрезан.", K::Corrupt);
        throwIfCancelled(cancelFlag);
    }
    if (produced != expected)
        ThrowConversionError("Повреждённый NCZ: распакованные данные обрезаны.", K::Corrupt);
    if (window.pos != window.size || consumed != length)
        ThrowConversionError("Повреждённый NCZ: лишние данные после потока Zstandard.", K::Corrupt);
}

void DecompressNcaBody(ZstdStreamState& state, const InputFile& input, const NczLayout& layout,
                       SectionEncryptor& encryptor, const CancelFlag* cancelFlag) {
    const std::uint64_t bodySize = layout.ncaSize - kNcaHeaderSize;
    if (!layout.blockForm) {
        DecompressStream(state, input, layout.dataOffset, layout.dataSize, bodySize, encryptor, cancelFlag);
        return;
    }
    std::vector<std::uint8_t> stored(kPieceSize, 0);
    std::uint64_t position = layout.dataOffset;
    std::uint64_t produced = 0;
    for (std::uint64_t j = 0; j < layout.blockCount; ++j) {
        throwIfCancelled(cancelFlag);
        std::uint8_t sizeField[4];
        input.readAt(layout.blockTableOffset + 4 * j, sizeField, sizeof sizeField);
        const std::uint64_t compressed = LoadLe32(sizeField);
        const std::uint64_t expected = std::min(bodySize - produced, layout.blockSize);
        if (compressed == expected) {
            // A block no smaller than its content was stored as it is.
            if (!RangeFits(position, compressed))
                ThrowConversionError(kMsgOverflow, K::Corrupt);
            for (std::uint64_t copied = 0; copied < compressed;) {
                throwIfCancelled(cancelFlag);
                const std::uint64_t piece = std::min<std::uint64_t>(compressed - copied, kPieceSize);
                input.readAt(position + copied, stored.data(), piece);
                encryptor.push(stored.data(), static_cast<std::size_t>(piece));
                copied += piece;
            }
        } else {
            DecompressStream(state, input, position, compressed, expected, encryptor, cancelFlag);
        }
        if (!RangeFits(position, compressed))
            ThrowConversionError(kMsgOverflow, K::Corrupt);
        position += compressed;
        produced += expected;
    }
}

} // namespace vesko
