// Reading and validating the PFS0 container of an NSZ into the plan of the output.
#pragma once

#include "engine/ConversionError.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vesko {

class InputFile;

struct PlannedMember {
    std::uint64_t sourceOffset = 0;
    std::uint64_t sourceSize = 0;
    std::uint64_t outputSize = 0;
    std::string outputName;
    bool isNcz = false;
    bool hasExpectedHash = false;
    std::array<std::uint8_t, 16> expectedHash{};
};

// Every check runs before anything is written; the first failing one throws.
std::vector<PlannedMember> ReadContainer(const InputFile& input, const CancelFlag* cancelFlag);

} // namespace vesko
