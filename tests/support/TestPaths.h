// Paths for tests: scratch directories and the shared sample files.
#pragma once
#include <string>

namespace vesko::test {

// A fresh, empty directory for one test, removed by the destructor.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring file(const std::wstring& name) const;

  private:
    std::wstring path_;
};

// The folder of the shared samples, in the form this platform's file calls take.
std::wstring SharedSamplesDir();

} // namespace vesko::test
