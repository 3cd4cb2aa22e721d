// Zstandard decompression of NCZ bodies, single-stream or in blocks: the converting thread reads the
// compressed pieces, the decoder thread decodes them.
#pragma once

#include "engine/ConversionError.h"

#include <cstddef>
#include <cstdint>
#include <memory>

struct ZSTD_DCtx_s;

namespace vesko {

class InputFile;
class RebuildPipeline;
class SectionEncryptor;
struct NczLayout;

// The decoder of one NCZ member, owned from the moment it is created.
class ZstdStreamState {
  public:
    ZstdStreamState(); // throws OutOfMemory, or the mapped decoder error

    ZSTD_DCtx_s* decoder() const { return decoder_.get(); }

  private:
    struct Free {
        void operator()(ZSTD_DCtx_s* decoder) const;
    };
    std::unique_ptr<ZSTD_DCtx_s, Free> decoder_;
};

void CheckZstdResult(std::size_t result);

// The reader's half of the NCA body (everything after the header): stored blocks as they are, frames
// as a frame start followed by their compressed bytes.
void ReadNcaBody(const InputFile& input, const NczLayout& layout, RebuildPipeline& pipeline,
                 const CancelFlag* cancelFlag);

// The decoder's half of one frame: decodes the `length` compressed bytes that follow in the pipeline
// into exactly `expected` bytes, each decoder call's output re-encrypted into one output piece.
void DecompressStream(ZstdStreamState& state, RebuildPipeline& pipeline, std::uint64_t length,
                      std::uint64_t expected, SectionEncryptor& encryptor, const CancelFlag* cancelFlag);

} // namespace vesko
