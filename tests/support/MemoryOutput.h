// An output file in memory, able to fail on demand, and inputs put in a scratch file.
#pragma once
#include "engine/ConvertToFile.h"
#include "engine/OutputFile.h"
#include "tests/support/TestPaths.h"
#include "tools/testfiles/NszBuilder.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace vesko::test {

struct MemoryOutput : OutputFile {
    std::uint32_t writeSome(const void* data, std::uint32_t length, std::uint32_t& written) override {
        ++calls;
        written = 0;
        if (failAfterBytes >= 0 && bytes.size() >= static_cast<std::size_t>(failAfterBytes))
            return failCode;
        written = maxPerCall != 0 ? std::min(length, maxPerCall) : length;
        bytes.insert(bytes.end(), static_cast<const std::uint8_t*>(data),
                     static_cast<const std::uint8_t*>(data) + written);
        return 0;
    }

    std::vector<std::uint8_t> bytes;
    // Once this many bytes are stored, every call returns failCode and writes nothing (0: not an error).
    long long failAfterBytes = -1;
    std::uint32_t failCode = 112;
    std::uint32_t maxPerCall = 0; // short writes
    int calls = 0;
};

// Puts `bytes` in this process's scratch file, the same one every time, and returns its path.
inline std::wstring ScratchFile(const std::vector<std::uint8_t>& bytes) {
    static const TempDir dir;
    testfiles::WriteWholeFile(dir.file(L"in.nsz"), bytes);
    return dir.file(L"in.nsz");
}

inline std::uint64_t ConvertBytes(const std::vector<std::uint8_t>& nsz, MemoryOutput& out,
                                  const ProgressCallback& progress = {}, const CancelFlag* flag = nullptr) {
    return ConvertToOutputFile(ScratchFile(nsz), out, progress, flag);
}

} // namespace vesko::test
