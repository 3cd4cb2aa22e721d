#include "fuzz/FuzzInput.h"

#include "engine/Paths.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace vesko::fuzz {

std::wstring WriteInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir != nullptr ? dir : "/tmp") + "/vesko-fuzz-" + std::to_string(getpid()) + ".nsz";
    }();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        std::abort();
    if (size != 0 && std::fwrite(data, 1, size, file) != size)
        std::abort();
    std::fclose(file);
    return FromUtf8(path);
}

} // namespace vesko::fuzz
