// For tests only: speaks another language for one scope and restores the previous one afterwards.
// The application itself sets its language once, at start-up, and never uses this.
#pragma once

#include "ui/Texts.h"

namespace vesko {

class ScopedInterfaceLanguage {
  public:
    explicit ScopedInterfaceLanguage(InterfaceLanguage language) : saved_(CurrentInterfaceLanguage()) {
        SetInterfaceLanguage(language);
    }
    ~ScopedInterfaceLanguage() { SetInterfaceLanguage(saved_); }
    ScopedInterfaceLanguage(const ScopedInterfaceLanguage&) = delete;
    ScopedInterfaceLanguage& operator=(const ScopedInterfaceLanguage&) = delete;

  private:
    InterfaceLanguage saved_;
};

} // namespace vesko
