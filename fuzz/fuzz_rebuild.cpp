// The whole conversion of a fuzzed NSZ into a writer that discards its bytes.
#include "engine/ConvertToFile.h"
#include "engine/OutputFile.h"
#include "fuzz/FuzzInput.h"

namespace {

struct DiscardingOutput : vesko::OutputFile {
    std::uint32_t writeSome(const void*, std::uint32_t length, std::uint32_t& written) override {
        written = length;
        return 0;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    DiscardingOutput output;
    try {
        vesko::ConvertToOutputFile(vesko::fuzz::WriteInput(data, size), output, {}, nullptr);
    } catch (const vesko::ConversionError&) {
    }
    return 0;
}
