// Owner of one Win32 kernel handle: closed exactly once, by whoever holds it last.
#pragma once

#include <windows.h>

#include <utility>

namespace vesko {

class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    // Some calls report failure with the null handle, others with INVALID_HANDLE_VALUE.
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE get() const { return handle_; }

    HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }

    void reset(HANDLE handle = INVALID_HANDLE_VALUE) {
        const HANDLE old = std::exchange(handle_, handle);
        if (old != INVALID_HANDLE_VALUE && old != nullptr)
            CloseHandle(old);
    }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

} // namespace vesko
