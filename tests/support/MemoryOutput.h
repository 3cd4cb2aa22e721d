// An output file in memory, able to fail on demand.
#pragma once

#include "engine/ConvertToFile.h"
#include "engine/OutputFile.h"
#include "tests/support/TestPaths.h"
#include "tools/testfiles/NszBuilder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vesko::test {

class MemoryOutput : public OutputFile {
  public:
    std::uint32_t writeSome(const void* data, std::uint32_t length, std::uint32_t& written) override {
        ++calls;
        if (failAfterBytes >= 0 && bytes.size() >= static_cast<std::size_t>(failAfterBytes))
            return failCode;
        std::uint32_t take = length;
        if (maxPerCall != 0)
            take = std::min(take, maxPerCall);
        if (zeroWrites)
            take = 0;
        const auto* p = static_cast<const std::uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + take);
        written = take;
        return 0;
    }

    std::vector<std::uint8_t> bytes;
    long long failAfterBytes = -1; // once this many bytes are stored, every call fails with failCode
    std::uint32_t failCode = 112;
    std::uint32_t maxPerCall = 0; // short writes
    bool zeroWrites = false;
    int calls = 0;
};

// Converts `nsz`, put in a scratch file, into `out`.
inline std::uint64_t ConvertBytes(const std::vector<std::uint8_t>& nsz, MemoryOutput& out,
                                  const ProgressCallback& progress = {}, const CancelFlag* flag = nullptr) {
    TempDir dir;
    testfiles::WriteWholeFile(dir.file(L"in.nsz"), nsz);
    return ConvertToOutputFile(dir.file(L"in.nsz"), out, progress, flag);
}

} // namespace vesko::test
