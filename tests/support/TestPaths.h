// Paths for tests: scratch directories and the shared sample files.
#pragma once
#include "engine/Crypto.h"
#include "tools/testfiles/NszBuilder.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>

namespace vesko::test {

// A fresh, empty directory for one test, removed by the destructor.
class TempDir {
  public:
    TempDir() {
        std::uint8_t random[8];
        FillRandomBytes(random, sizeof random);
        const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                          ("vesko-test-" + testfiles::HexOf(random, sizeof random));
        std::filesystem::create_directories(dir);
        path_ = dir.wstring();
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(path_), ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring file(const std::wstring& name) const {
        return (std::filesystem::path(path_) / name).wstring();
    }

  private:
    std::wstring path_;
};

// The folder of the shared samples, in the form this platform's file calls take.
inline std::wstring SharedSamplesDir() {
    std::wstring dir = std::filesystem::path(VESKO_SHARED_DIR "/samples").wstring();
#ifdef _WIN32
    // The build knows the folder by its Linux path; wine shows the Linux root as drive Z.
    if (!dir.empty() && dir[0] == L'/')
        dir = L"Z:" + dir;
    std::replace(dir.begin(), dir.end(), L'/', L'\\');
#endif
    return dir;
}

} // namespace vesko::test
