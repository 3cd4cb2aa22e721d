// Container reading and every NCZ member's tables, as planning runs them.
#include "engine/Container.h"
#include "engine/InputFile.h"
#include "engine/OutputHeader.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        vesko::InputFile input(vesko::fuzz::WriteInput(data, size));
        vesko::BuildOutputHeader(vesko::ReadContainer(input, nullptr));
    } catch (const vesko::ConversionError&) {
    }
    return 0;
}
