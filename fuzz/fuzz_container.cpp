// Container reading and every NCZ member's tables, as planning runs them.
#include "engine/Container.h"
#include "engine/InputFile.h"
#include "engine/OutputHeader.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring path = vesko::fuzz::WriteInput(data, size);
    try {
        vesko::InputFile input(path);
        const auto plan = vesko::ReadContainer(input, nullptr);
        vesko::BuildOutputHeader(plan);
    } catch (const vesko::ConversionError&) {
    }
    return 0;
}
