#include "engine/OutputFile.h"

#include <windows.h>

namespace vesko {

namespace {

class HandleOutputFile : public OutputFile {
  public:
    explicit HandleOutputFile(HANDLE handle) : handle_(handle) {}

    std::uint32_t writeSome(const void* data, std::uint32_t length, std::uint32_t& written) override {
        DWORD done = 0;
        if (!WriteFile(handle_, data, length, &done, nullptr))
            return GetLastError();
        written = done;
        return 0;
    }

  private:
    HANDLE handle_;
};

} // namespace

std::unique_ptr<OutputFile> BorrowOutputHandle(void* handle) {
    return std::make_unique<HandleOutputFile>(static_cast<HANDLE>(handle));
}

} // namespace vesko
