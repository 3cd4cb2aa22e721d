// Owner of a directory enumeration started by FindFirstFileW.
#pragma once

#include <windows.h>

#include <utility>

namespace vesko {

class UniqueFindHandle {
  public:
    UniqueFindHandle() = default;
    explicit UniqueFindHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueFindHandle() {
        if (valid())
            FindClose(handle_);
    }

    UniqueFindHandle(UniqueFindHandle&& other) noexcept
        : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    UniqueFindHandle& operator=(UniqueFindHandle&&) = delete;
    UniqueFindHandle(const UniqueFindHandle&) = delete;
    UniqueFindHandle& operator=(const UniqueFindHandle&) = delete;

    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

} // namespace vesko
