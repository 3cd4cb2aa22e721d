// Writing a planned NSP: the header, then every member copied or rebuilt, in input order.
#pragma once

#include "engine/Container.h"
#include "engine/Crypto.h"

#include <cstdint>
#include <vector>

namespace vesko {

class InputFile;
class OutputWriter;

// Writes the header and every member; throws InputChanged when an NCZ member no longer plans to its
// size, Corrupt when the output does not add up, VerificationFailed when a hash differs.
void RebuildNsp(const InputFile& input, const std::vector<PlannedMember>& plan,
                const std::vector<std::uint8_t>& header, OutputWriter& writer,
                const CryptoProviders& providers, const CancelFlag* cancelFlag);

} // namespace vesko
