#include "engine/Crypto.h"

#include "engine/ConversionError.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <climits>

namespace vesko {

namespace {
[[noreturn]] void CryptoFailure() {
    ThrowConversionError(kMsgSystemCrypto, ConversionError::Kind::SystemCrypto);
}
} // namespace

// libcrypto needs no provider objects for what is used here.
struct CryptoProviders::Native {};

CryptoProviders::CryptoProviders() : native_(std::make_unique<Native>()) {}
CryptoProviders::~CryptoProviders() = default;

struct AesEcbKey::Native {
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    ~Native() { EVP_CIPHER_CTX_free(context); }
};

AesEcbKey::AesEcbKey(const CryptoProviders&, const std::uint8_t key[16])
    : native_(std::make_unique<Native>()) {
    if (native_->context == nullptr ||
        EVP_EncryptInit_ex(native_->context, EVP_aes_128_ecb(), nullptr, key, nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(native_->context, 0) != 1)
        CryptoFailure();
}

AesEcbKey::~AesEcbKey() = default;

void AesEcbKey::encryptBlocks(std::uint8_t* data, std::size_t length) {
    constexpr std::size_t kMaxCall = 0x40000000;
    for (std::size_t done = 0; done < length;) {
        const int piece = static_cast<int>(std::min(length - done, kMaxCall));
        int produced = 0;
        if (EVP_EncryptUpdate(native_->context, data + done, &produced, data + done, piece) != 1)
            CryptoFailure();
        if (produced != piece)
            ThrowConversionError("Некорректный результат AES Windows.", ConversionError::Kind::SystemCrypto);
        done += static_cast<std::size_t>(piece);
    }
}

struct Sha256Context::Native {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~Native() { EVP_MD_CTX_free(context); }
};

Sha256Context::Sha256Context(const CryptoProviders&) : native_(std::make_unique<Native>()) {
    if (native_->context == nullptr || EVP_DigestInit_ex(native_->context, EVP_sha256(), nullptr) != 1)
        CryptoFailure();
}

Sha256Context::~Sha256Context() = default;

void Sha256Context::update(const void* data, std::size_t length) {
    if (EVP_DigestUpdate(native_->context, data, length) != 1)
        CryptoFailure();
}

std::array<std::uint8_t, 32> Sha256Context::finish() {
    std::array<std::uint8_t, 32> digest{};
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(native_->context, digest.data(), &size) != 1 || size != digest.size())
        CryptoFailure();
    return digest;
}

bool FillRandomBytes(std::uint8_t* data, std::size_t length) {
    for (std::size_t done = 0; done < length;) {
        const int piece = static_cast<int>(std::min<std::size_t>(length - done, INT_MAX));
        if (RAND_bytes(data + done, piece) != 1)
            return false;
        done += static_cast<std::size_t>(piece);
    }
    return true;
}

void SecureZero(void* data, std::size_t length) {
    if (length != 0)
        OPENSSL_cleanse(data, length);
}

} // namespace vesko
