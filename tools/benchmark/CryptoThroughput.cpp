// Throughput of the system's AES-128-ECB and SHA-256 as the engine calls them (1 MiB per call):
// tells how much of a conversion's time the platform's cryptography takes.
#include "engine/Crypto.h"

#include <chrono>
#include <cstdio>
#include <vector>

int main() {
    using Clock = std::chrono::steady_clock;
    vesko::CryptoProviders providers;
    const std::uint8_t keyBytes[16] = {1, 2, 3};
    vesko::AesEcbKey key(providers, keyBytes);
    std::vector<std::uint8_t> buffer(1 << 20, 7);
    const int rounds = 128;
    auto start = Clock::now();
    for (int i = 0; i < rounds; ++i)
        key.encryptBlocks(buffer.data(), buffer.size());
    const double aes = std::chrono::duration<double>(Clock::now() - start).count();
    vesko::Sha256Context hash(providers);
    start = Clock::now();
    for (int i = 0; i < rounds; ++i)
        hash.update(buffer.data(), buffer.size());
    hash.finish();
    const double sha = std::chrono::duration<double>(Clock::now() - start).count();
    const double mb = rounds * 1.048576;
    std::printf("system AES-128-ECB %.0f MB/s, SHA-256 %.0f MB/s\n", mb / aes, mb / sha);
    return 0;
}
