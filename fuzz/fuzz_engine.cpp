// The engine on fuzzed files. fuzz_container: container reading and every NCZ member's tables, as planning
// runs them. fuzz_rebuild (VESKO_FUZZ_REBUILD): the whole conversion, into a writer that discards its bytes.
#include "engine/Container.h"
#include "engine/ConvertToFile.h"
#include "engine/InputFile.h"
#include "engine/OutputFile.h"
#include "engine/OutputHeader.h"
#include "engine/Paths.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

// The engine reads files only: a file in memory, reopened by its /proc name (a disk file cost a writeback).
std::wstring WriteInput(const std::uint8_t* data, std::size_t size) {
    static const int file = memfd_create("vesko-fuzz-input", MFD_CLOEXEC);
    static const std::wstring path = vesko::FromUtf8("/proc/self/fd/" + std::to_string(file));
    for (std::size_t done = 0; file >= 0 && done < size;) {
        const ssize_t written = pwrite(file, data + done, size - done, static_cast<off_t>(done));
        if (written <= 0)
            std::abort();
        done += static_cast<std::size_t>(written);
    }
    if (ftruncate(file, static_cast<off_t>(size)) != 0)
        std::abort();
    return path;
}

struct DiscardingOutput : vesko::OutputFile {
    std::uint32_t writeSome(const void*, std::uint32_t length, std::uint32_t& written) override {
        written = length;
        return 0;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
#ifdef VESKO_FUZZ_REBUILD
        DiscardingOutput output;
        vesko::ConvertToOutputFile(WriteInput(data, size), output, {}, nullptr);
#else
        vesko::InputFile input(WriteInput(data, size));
        vesko::BuildOutputHeader(vesko::ReadContainer(input, nullptr));
#endif
    } catch (const vesko::ConversionError&) {
    }
    return 0;
}
