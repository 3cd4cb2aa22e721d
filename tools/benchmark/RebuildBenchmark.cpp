// Throughput of the rebuild path (decompress, re-encrypt, hash, write) against its two floors on one
// realistic member: plain zstd decompression of the same frames and SHA-256 alone over the same output
// bytes. Prints MB/s of output and the rebuild's ratio to the slower floor.
// usage: vesko-rebuild-bench [MiB] [scratch-dir]
//        vesko-rebuild-bench --convert FILE.nsz   (one conversion into a discarding sink, for peak memory)
#include "engine/ConvertToFile.h"
#include "engine/Crypto.h"
#include "engine/OutputFile.h"
#include "engine/Paths.h"
#include "tools/testfiles/NszBuilder.h"

#include <zstd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

using namespace vesko;
using namespace vesko::testfiles;

namespace {

class DiscardingOutput : public OutputFile {
  public:
    std::uint32_t writeSome(const void*, std::uint32_t length, std::uint32_t& written) override {
        written = length;
        return 0;
    }
};

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Plain streaming decompression of every frame of the member, stored blocks copied: the floor.
double FloorSeconds(const BuiltFiles& built, const std::vector<std::uint8_t>& nsz, std::uint64_t bodySize,
                    bool blockForm, std::uint64_t& produced) {
    ZSTD_DCtx* dctx = ZSTD_createDCtx();
    std::vector<std::uint8_t> out(1 << 20);
    std::vector<std::uint8_t> copy(1 << 20);
    produced = 0;
    const auto start = std::chrono::steady_clock::now();
    auto decode = [&](const std::uint8_t* data, std::size_t size) {
        ZSTD_initDStream(dctx);
        ZSTD_inBuffer in{data, size, 0};
        for (;;) {
            ZSTD_outBuffer o{out.data(), out.size(), 0};
            const std::size_t r = ZSTD_decompressStream(dctx, &o, &in);
            if (ZSTD_isError(r)) {
                std::fprintf(stderr, "zstd: %s\n", ZSTD_getErrorName(r));
                std::exit(1);
            }
            produced += o.pos;
            if (r == 0)
                break;
        }
    };
    const BuiltMember& m = built.members[0];
    if (blockForm) {
        std::uint64_t at = m.blocksOffset;
        std::uint64_t left = bodySize;
        for (std::uint32_t size : m.blockSizes) {
            const std::uint64_t expected = std::min<std::uint64_t>(left, std::uint64_t{1} << 20);
            if (size == expected) {
                std::memcpy(copy.data(), nsz.data() + at, size);
                produced += size;
            } else {
                decode(nsz.data() + at, size);
            }
            at += size;
            left -= expected;
        }
    } else {
        decode(nsz.data() + m.compressedOffset,
               static_cast<std::size_t>(m.nszOffset + m.nszSize - m.compressedOffset));
    }
    const double seconds = Seconds(std::chrono::steady_clock::now() - start);
    ZSTD_freeDCtx(dctx);
    return seconds;
}

// SHA-256 alone over the output, fed in the 1 MiB pieces the writer hands it.
double HashSeconds(const std::vector<std::uint8_t>& nsp) {
    const CryptoProviders providers;
    const auto start = std::chrono::steady_clock::now();
    Sha256Context hash(providers);
    for (std::size_t at = 0; at < nsp.size(); at += std::size_t{1} << 20)
        hash.update(nsp.data() + at, std::min<std::size_t>(nsp.size() - at, std::size_t{1} << 20));
    hash.finish();
    return Seconds(std::chrono::steady_clock::now() - start);
}

int ConvertOnce(const char* path) {
    DiscardingOutput sink;
    const auto start = std::chrono::steady_clock::now();
    const std::uint64_t size = ConvertToOutputFile(FromUtf8(path), sink, {}, nullptr);
    const double seconds = Seconds(std::chrono::steady_clock::now() - start);
    std::printf("converted %.1f MB in %.3f s, %.0f MB/s\n", static_cast<double>(size) / 1e6, seconds,
                static_cast<double>(size) / 1e6 / seconds);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--convert") == 0)
        return ConvertOnce(argv[2]);
    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
    const std::filesystem::path scratch = argc > 2 ? argv[2] : std::filesystem::temp_directory_path();
    const std::uint64_t body = mib << 20;
    std::printf("member of %llu MiB (text-like, patterned and random regions), best of 3 runs\n",
                static_cast<unsigned long long>(mib));
    for (bool blockForm : {true, false}) {
        MemberSpec m;
        m.name = ".ncz";
        m.hashName = true;
        m.ncz = true;
        m.form = blockForm ? NczForm::Block : NczForm::Solid;
        m.blockExponent = 20;
        m.content = Content::Mixed;
        m.sections = {MakeSection(0xC000, 1, 1), MakeSection(body / 2, 3, 2),
                      MakeSection(body - body / 2 - 0xC000, 4, 3)};
        ContainerSpec package;
        package.members = {m};
        const BuiltFiles built = BuildNsz(package);
        const std::filesystem::path file = scratch / "vesko-bench.nsz";
        WriteWholeFile(file.wstring(), built.nsz);

        double best = 1e9;
        double floorBest = 1e9;
        double hashBest = 1e9;
        std::uint64_t floorBytes = 0;
        for (int run = 0; run < 3; ++run) {
            DiscardingOutput sink;
            const auto start = std::chrono::steady_clock::now();
            ConvertToOutputFile(file.wstring(), sink, {}, nullptr);
            best = std::min(best, Seconds(std::chrono::steady_clock::now() - start));
            floorBest = std::min(floorBest, FloorSeconds(built, built.nsz, body, blockForm, floorBytes));
            hashBest = std::min(hashBest, HashSeconds(built.nsp));
        }
        std::filesystem::remove(file);
        const double mb = static_cast<double>(built.nspSize) / 1e6;
        std::printf("%-10s nsz %.1f MB  rebuild %.3f s %.0f MB/s   plain zstd %.3f s %.0f MB/s   "
                    "SHA-256 %.3f s %.0f MB/s   ratio to the slower floor %.2f\n",
                    blockForm ? "block e=20" : "solid", static_cast<double>(built.nsz.size()) / 1e6, best,
                    mb / best, floorBest, static_cast<double>(floorBytes) / 1e6 / floorBest, hashBest,
                    mb / hashBest, best / std::max(floorBest, hashBest));
    }
    return 0;
}
