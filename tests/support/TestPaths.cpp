#include "tests/support/TestPaths.h"

#include "engine/Crypto.h"
#include "tools/testfiles/NszBuilder.h"

#include <filesystem>
#include <system_error>

namespace vesko::test {

TempDir::TempDir() {
    std::uint8_t random[8];
    FillRandomBytes(random, sizeof random);
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vesko-test-" + testfiles::HexOf(random, sizeof random));
    std::filesystem::create_directories(dir);
    path_ = dir.wstring();
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(path_), ignored);
}

std::wstring TempDir::file(const std::wstring& name) const {
    return (std::filesystem::path(path_) / name).wstring();
}

std::wstring SharedSamplesDir() {
    std::wstring dir = std::filesystem::path(VESKO_SHARED_DIR "/samples").wstring();
#ifdef _WIN32
    // The build knows the folder by its Linux path; wine shows the Linux root as drive Z.
    if (!dir.empty() && dir[0] == L'/') {
        for (wchar_t& c : dir)
            c = c == L'/' ? L'\\' : c;
        dir = L"Z:" + dir;
    }
#endif
    return dir;
}

} // namespace vesko::test
