// NSZ files for the scenarios and the screenshot tour, made by the test-file builder.
#pragma once

#include "tools/testfiles/NszBuilder.h"

#include <cstdint>

namespace vesko::ui_driver {

// A small NSZ with one hash-named NCZ member and a metadata file, different for each seed.
testfiles::BuiltFiles SmallNsz(std::uint64_t seed);

// An NSZ whose NSP is mostly `mebibytes` MiB of zeros: quick to build, slow enough to watch
// converting. Only the NSP's hash is kept.
testfiles::BuiltFiles ZerosNsz(std::uint64_t mebibytes);

} // namespace vesko::ui_driver
