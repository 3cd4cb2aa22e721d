#include "engine/Crypto.h"

#include "engine/ConversionError.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <vector>

namespace vesko {

namespace {

bool Ok(NTSTATUS status) {
    return status >= 0;
}

[[noreturn]] void CryptoFailure() {
    ThrowConversionError(kMsgSystemCrypto, ConversionError::Kind::SystemCrypto);
}

class AlgorithmHandle {
  public:
    AlgorithmHandle() = default;
    ~AlgorithmHandle() {
        if (handle_ != nullptr)
            BCryptCloseAlgorithmProvider(handle_, 0);
    }
    AlgorithmHandle(const AlgorithmHandle&) = delete;
    AlgorithmHandle& operator=(const AlgorithmHandle&) = delete;

    BCRYPT_ALG_HANDLE* put() { return &handle_; }
    BCRYPT_ALG_HANDLE get() const { return handle_; }

  private:
    BCRYPT_ALG_HANDLE handle_ = nullptr;
};

// The object buffer CNG wants for a key or hash, of the size the provider asks for.
std::vector<UCHAR> ObjectBuffer(BCRYPT_ALG_HANDLE algorithm) {
    DWORD length = 0;
    ULONG got = 0;
    if (!Ok(BCryptGetProperty(algorithm, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&length),
                              sizeof(length), &got, 0)) ||
        got != sizeof(length))
        CryptoFailure();
    return std::vector<UCHAR>(length, 0);
}

} // namespace

struct CryptoProviders::Native {
    // Declared in reverse of the closing order: SHA-256 is closed first.
    AlgorithmHandle aes;
    AlgorithmHandle sha256;
};

CryptoProviders::CryptoProviders() : native_(std::make_unique<Native>()) {
    if (!Ok(BCryptOpenAlgorithmProvider(native_->aes.put(), BCRYPT_AES_ALGORITHM, nullptr, 0)))
        CryptoFailure();
    if (!Ok(BCryptOpenAlgorithmProvider(native_->sha256.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        CryptoFailure();
    static const wchar_t kEcb[] = L"ChainingModeECB";
    if (!Ok(BCryptSetProperty(native_->aes.get(), BCRYPT_CHAINING_MODE,
                              reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(kEcb)), sizeof(kEcb), 0)))
        CryptoFailure();
}

CryptoProviders::~CryptoProviders() = default;

struct AesEcbKey::Native {
    BCRYPT_KEY_HANDLE key = nullptr;
    std::vector<UCHAR> object;

    ~Native() {
        if (key != nullptr)
            BCryptDestroyKey(key);
        SecureZero(object.data(), object.size());
    }
};

AesEcbKey::AesEcbKey(const CryptoProviders& providers, const std::uint8_t key[16])
    : native_(std::make_unique<Native>()) {
    const BCRYPT_ALG_HANDLE algorithm = providers.native().aes.get();
    native_->object = ObjectBuffer(algorithm);
    if (!Ok(BCryptGenerateSymmetricKey(algorithm, &native_->key, native_->object.data(),
                                       static_cast<ULONG>(native_->object.size()), const_cast<PUCHAR>(key),
                                       16, 0))) {
        native_->key = nullptr;
        CryptoFailure();
    }
}

AesEcbKey::~AesEcbKey() = default;

void AesEcbKey::encryptBlocks(std::uint8_t* data, std::size_t length) {
    constexpr std::size_t kMaxCall = 0x40000000;
    for (std::size_t done = 0; done < length;) {
        const auto piece = static_cast<ULONG>(std::min(length - done, kMaxCall));
        ULONG produced = 0;
        if (!Ok(BCryptEncrypt(native_->key, data + done, piece, nullptr, nullptr, 0, data + done, piece,
                              &produced, 0)))
            CryptoFailure();
        if (produced != piece)
            ThrowConversionError("Некорректный результат AES Windows.", ConversionError::Kind::SystemCrypto);
        done += piece;
    }
}

struct Sha256Context::Native {
    BCRYPT_HASH_HANDLE hash = nullptr;
    std::vector<UCHAR> object;

    ~Native() {
        if (hash != nullptr)
            BCryptDestroyHash(hash);
    }
};

Sha256Context::Sha256Context(const CryptoProviders& providers) : native_(std::make_unique<Native>()) {
    const BCRYPT_ALG_HANDLE algorithm = providers.native().sha256.get();
    native_->object = ObjectBuffer(algorithm);
    if (!Ok(BCryptCreateHash(algorithm, &native_->hash, native_->object.data(),
                             static_cast<ULONG>(native_->object.size()), nullptr, 0, 0))) {
        native_->hash = nullptr;
        CryptoFailure();
    }
}

Sha256Context::~Sha256Context() = default;

void Sha256Context::update(const void* data, std::size_t length) {
    constexpr std::size_t kMaxCall = 0x40000000;
    const auto* bytes = static_cast<const UCHAR*>(data);
    do {
        const auto piece = static_cast<ULONG>(std::min(length, kMaxCall));
        if (!Ok(BCryptHashData(native_->hash, const_cast<PUCHAR>(bytes), piece, 0)))
            CryptoFailure();
        bytes += piece;
        length -= piece;
    } while (length > 0);
}

std::array<std::uint8_t, 32> Sha256Context::finish() {
    std::array<std::uint8_t, 32> digest{};
    if (!Ok(BCryptFinishHash(native_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0)))
        CryptoFailure();
    return digest;
}

bool FillRandomBytes(std::uint8_t* data, std::size_t length) {
    return Ok(BCryptGenRandom(nullptr, data, static_cast<ULONG>(length), BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

void SecureZero(void* data, std::size_t length) {
    if (length != 0)
        SecureZeroMemory(data, length);
}

} // namespace vesko
