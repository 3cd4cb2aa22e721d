// Zstandard decompression of NCZ bodies, single-stream or in blocks.
#pragma once

#include "engine/ConversionError.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct ZSTD_DCtx_s;

namespace vesko {

class InputFile;
class SectionEncryptor;
struct NczLayout;

// The decoder and its two 1 MiB buffers, for one NCZ member.
class ZstdStreamState {
  public:
    ZstdStreamState(); // throws OutOfMemory, or the mapped decoder error
    ~ZstdStreamState();
    ZstdStreamState(const ZstdStreamState&) = delete;
    ZstdStreamState& operator=(const ZstdStreamState&) = delete;

    ZSTD_DCtx_s* decoder = nullptr;
    std::vector<std::uint8_t> input;
    std::vector<std::uint8_t> output;
};

void CheckZstdResult(std::size_t result);

// Decodes exactly one frame from [offset, offset + length) into exactly `expected` bytes.
void DecompressStream(ZstdStreamState& state, const InputFile& input, std::uint64_t offset,
                      std::uint64_t length, std::uint64_t expected, SectionEncryptor& encryptor,
                      const CancelFlag* cancelFlag);

// Produces the NCA body (everything after the header) into the encryptor.
void DecompressNcaBody(ZstdStreamState& state, const InputFile& input, const NczLayout& layout,
                       SectionEncryptor& encryptor, const CancelFlag* cancelFlag);

} // namespace vesko
