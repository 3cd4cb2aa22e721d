#include "tests/support/TestPaths.h"

#include "engine/Crypto.h"
#include "tools/testfiles/NszBuilder.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace vesko::test {
namespace fs = std::filesystem;

TempDir::TempDir() {
    std::uint8_t random[8];
    FillRandomBytes(random, sizeof random);
    const fs::path dir =
        fs::temp_directory_path() / ("vesko-test-" + testfiles::HexOf(random, sizeof random));
    fs::create_directories(dir);
    path_ = dir.wstring();
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(fs::path(path_), ignored);
}

std::wstring TempDir::file(const std::wstring& name) const {
    return (fs::path(path_) / name).wstring();
}

std::wstring SharedSamplesDir() {
    std::wstring dir = fs::path(VESKO_SHARED_DIR "/samples").wstring();
#ifdef _WIN32
    // The build knows the folder by its Linux path; wine shows the Linux root as drive Z.
    if (!dir.empty() && dir[0] == L'/')
        dir = L"Z:" + dir;
    std::replace(dir.begin(), dir.end(), L'/', L'\\');
#endif
    return dir;
}

} // namespace vesko::test
