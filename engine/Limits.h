// Sizes the engine is built around.
#pragma once

#include <cstdint>

namespace vesko {

// Large data moves in pieces of this size, each a cancellation point.
constexpr std::uint32_t kPieceSize = 0x100000;
// An NCA header is copied verbatim.
constexpr std::uint64_t kNcaHeaderSize = 0x4000;
// Limit of the PFS0 tables and of the output header, which are held in memory.
constexpr std::uint64_t kMaxTableBytes = 0x4000000;
constexpr std::uint64_t kMaxNameBytes = 4096;
constexpr std::uint64_t kMaxNczSections = 0x100000;
constexpr int kZstdWindowLogMax = 29;

} // namespace vesko
