// The system's cryptography: AES-128 as a block function, SHA-256 and random bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace vesko {

// The AES (ECB) and SHA-256 algorithm providers of one conversion; throws SystemCrypto.
class CryptoProviders {
  public:
    CryptoProviders();
    ~CryptoProviders();
    CryptoProviders(const CryptoProviders&) = delete;
    CryptoProviders& operator=(const CryptoProviders&) = delete;

    struct Native;
    const Native& native() const { return *native_; }

  private:
    std::unique_ptr<Native> native_;
};

// One AES-128 key, used in ECB mode as the block function of CTR. Key material is zeroed on release.
class AesEcbKey {
  public:
    AesEcbKey(const CryptoProviders& providers, const std::uint8_t key[16]);
    ~AesEcbKey();
    AesEcbKey(const AesEcbKey&) = delete;
    AesEcbKey& operator=(const AesEcbKey&) = delete;

    // Encrypts `length` bytes (a multiple of 16) in place; throws SystemCrypto.
    void encryptBlocks(std::uint8_t* data, std::size_t length);

    struct Native;

  private:
    std::unique_ptr<Native> native_;
};

class Sha256Context {
  public:
    explicit Sha256Context(const CryptoProviders& providers);
    ~Sha256Context();
    Sha256Context(const Sha256Context&) = delete;
    Sha256Context& operator=(const Sha256Context&) = delete;

    void update(const void* data, std::size_t length);
    std::array<std::uint8_t, 32> finish();

    struct Native;

  private:
    std::unique_ptr<Native> native_;
};

// False when the system generator failed.
bool FillRandomBytes(std::uint8_t* data, std::size_t length);

// Overwrites memory in a way the optimiser keeps.
void SecureZero(void* data, std::size_t length);

} // namespace vesko
