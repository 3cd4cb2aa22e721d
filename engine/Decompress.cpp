#include "engine/Decompress.h"

#include "engine/Bytes.h"
#include "engine/InputFile.h"
#include "engine/Limits.h"
#include "engine/NczLayout.h"
#include "engine/RebuildPipeline.h"
#include "engine/SectionEncryptor.h"

#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>

namespace vesko {

using K = ConversionError::Kind;

ZstdStreamState::ZstdStreamState() : decoder_(ZSTD_createDCtx()) {
    if (!decoder_)
        ThrowConversionError("Недостаточно памяти для распаковки Zstandard.", K::OutOfMemory);
    // Refuses frames that would need a window above 512 MiB instead of allocating it.
    CheckZstdResult(ZSTD_DCtx_setParameter(decoder_.get(), ZSTD_d_windowLogMax, kZstdWindowLogMax));
}

void ZstdStreamState::Free::operator()(ZSTD_DCtx_s* decoder) const {
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

namespace {

void ReadFrame(const InputFile& input, std::uint64_t offset, std::uint64_t length, std::uint64_t expected,
               RebuildPipeline& pipeline, const CancelFlag* cancelFlag) {
    pipeline.putFrameStart(length, expected);
    ReadRange(input, offset, length, InputKind::FrameData, pipeline, cancelFlag);
}

} // namespace

void ReadNcaBody(const InputFile& input, const NczLayout& layout, RebuildPipeline& pipeline,
                 const CancelFlag* cancelFlag) {
    const std::uint64_t bodySize = layout.ncaSize - kNcaHeaderSize;
    if (!layout.blockForm) {
        ReadFrame(input, layout.dataOffset, layout.dataSize, bodySize, pipeline, cancelFlag);
        return;
    }
    std::uint64_t position = layout.dataOffset;
    std::uint64_t produced = 0;
    for (std::uint64_t j = 0; j < layout.blockCount; ++j) {
        throwIfCancelled(cancelFlag);
        std::uint8_t sizeField[4];
        input.readAt(layout.blockTableOffset + 4 * j, sizeField, sizeof sizeField);
        const std::uint64_t compressed = LoadLe32(sizeField);
        const std::uint64_t expected = std::min(bodySize - produced, layout.blockSize);
        // A block no smaller than its content was stored as it is.
        if (compressed == expected)
            ReadRange(input, position, compressed, InputKind::Stored, pipeline, cancelFlag);
        else
            ReadFrame(input, position, compressed, expected, pipeline, cancelFlag);
        if (!RangeFits(position, compressed))
            ThrowConversionError(kMsgOverflow, K::Corrupt);
        position += compressed;
        produced += expected;
    }
}

void DecompressStream(ZstdStreamState& state, RebuildPipeline& pipeline, std::uint64_t length,
                      std::uint64_t expected, SectionEncryptor& encryptor, const CancelFlag* cancelFlag) {
    CheckZstdResult(ZSTD_initDStream(state.decoder()));
    ZSTD_inBuffer window{nullptr, 0, 0};
    std::uint64_t consumed = 0;
    std::uint64_t produced = 0;
    throwIfCancelled(cancelFlag);
    for (;;) {
        std::size_t before = window.pos;
        if (window.pos == window.size && consumed < length) {
            InputPiece& piece = pipeline.takeInput();
            if (piece.kind == InputKind::Failure)
                std::rethrow_exception(piece.failure);
            window = ZSTD_inBuffer{piece.buffer.get(), piece.size, 0};
            before = 0;
            consumed += piece.size;
        }
        std::uint8_t* buffer = pipeline.outputBuffer();
        ZSTD_outBuffer out{buffer, kPieceSize, 0};
        const std::size_t result = ZSTD_decompressStream(state.decoder(), &out, &window);
        CheckZstdResult(result);
        if (out.pos > expected - produced)
            ThrowConversionError("Повреждённый NCZ: распакованный размер превышает ожидаемый.", K::Corrupt);
        if (out.pos > 0) {
            encryptor.push(buffer, out.pos);
            pipeline.putOutput(OutputKind::Bytes);
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

} // namespace vesko
