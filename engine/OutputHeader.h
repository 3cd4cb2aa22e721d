// The PFS0 header of the output NSP, planned before any space is reserved.
#pragma once

#include "engine/Container.h"

#include <cstdint>
#include <vector>

namespace vesko {

// The header-size failure; planning raises it too, as soon as the running total passes the limit.
constexpr const char* kMsgOutputHeaderTooLarge = "Слишком большой заголовок выходного NSP.";

struct OutputHeader {
    std::vector<std::uint8_t> bytes;
    std::uint64_t totalSize = 0; // header plus every member: the exact size of the finished NSP
};

// Members in input order, back to back after a header padded to 16 bytes.
OutputHeader BuildOutputHeader(const std::vector<PlannedMember>& plan);

} // namespace vesko
