// Sizes the engine is built around.
#pragma once

#include <cstdint>

namespace vesko {

// Large data moves in pieces of this size, each a cancellation point. The fuzz build moves small pieces:
// its inputs of a few KiB then cross piece boundaries, and no input pays for fresh megabyte buffers.
#ifdef VESKO_FUZZ_SMALL_PIECES
constexpr std::uint32_t kPieceSize = 0x2000;
#else
constexpr std::uint32_t kPieceSize = 0x100000;
#endif
// An NCA header is copied verbatim.
constexpr std::uint64_t kNcaHeaderSize = 0x4000;
// Limit of the PFS0 tables and of the output header, which are held in memory.
constexpr std::uint64_t kMaxTableBytes = 0x4000000;
constexpr std::uint64_t kMaxNameBytes = 4096;
constexpr std::uint64_t kMaxNczSections = 0x100000;
constexpr int kZstdWindowLogMax = 29;

} // namespace vesko
