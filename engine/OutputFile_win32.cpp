#include "engine/OutputFile.h"

#include "engine/ConversionError.h"

#include <windows.h>

namespace vesko {

namespace {

class HandleOutputFile : public OutputFile {
  public:
    HandleOutputFile(HANDLE handle, bool owned) : handle_(handle), owned_(owned) {}
    ~HandleOutputFile() override {
        if (owned_)
            CloseHandle(handle_);
    }
    HandleOutputFile(const HandleOutputFile&) = delete;
    HandleOutputFile& operator=(const HandleOutputFile&) = delete;

    std::uint32_t writeSome(const void* data, std::uint32_t length, std::uint32_t& written) override {
        DWORD done = 0;
        if (!WriteFile(handle_, data, length, &done, nullptr))
            return GetLastError();
        written = done;
        return 0;
    }

  private:
    HANDLE handle_;
    bool owned_;
};

} // namespace

std::unique_ptr<OutputFile> CreateOutputFile(const std::wstring& path) {
    HANDLE handle =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        ThrowWindowsErrorMapped(ConversionError::Kind::WriteFailed, "Cannot create output file",
                                GetLastError());
    return std::make_unique<HandleOutputFile>(handle, true);
}

std::unique_ptr<OutputFile> BorrowOutputHandle(void* handle) {
    return std::make_unique<HandleOutputFile>(static_cast<HANDLE>(handle), false);
}

} // namespace vesko
