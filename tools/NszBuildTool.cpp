// vesko-nsz-build: writes an NSZ made by the test-file builder and, on request, the NSP it must give.
// For scripts, benchmarks and manual checks; prints the SHA-256 and size of the expected NSP.
#include "engine/Paths.h"
#include "tools/testfiles/NszBuilder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace vesko::testfiles;

namespace {

void Usage() {
    std::fprintf(
        stderr,
        "usage: vesko-nsz-build OUT.nsz [--nsp OUT.nsp] [--mib N] [--solid] [--exponent E]\n"
        "                        [--level L] [--damage] [--frames OUT.zst]\n"
        "--frames writes the zstd frames of the NCZ members, concatenated (stored blocks left out)\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        Usage();
        return 2;
    }
    std::string out = argv[1];
    std::string nspOut;
    std::string framesOut;
    std::uint64_t mib = 4;
    bool solid = false;
    bool damage = false;
    int exponent = 20;
    int level = 3;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--nsp" && hasValue) {
            nspOut = argv[++i];
        } else if (arg == "--frames" && hasValue) {
            framesOut = argv[++i];
        } else if (arg == "--mib" && hasValue) {
            mib = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--exponent" && hasValue) {
            exponent = std::atoi(argv[++i]);
        } else if (arg == "--level" && hasValue) {
            level = std::atoi(argv[++i]);
        } else if (arg == "--solid") {
            solid = true;
        } else if (arg == "--damage") {
            damage = true;
        } else {
            Usage();
            return 2;
        }
    }
    // A package as it usually comes: one large program NCA in a few sections, a meta NCA, small files.
    MemberSpec program;
    program.name = ".ncz";
    program.hashName = true;
    program.ncz = true;
    program.form = solid ? NczForm::Solid : NczForm::Block;
    program.blockExponent = exponent;
    program.level = level;
    program.content = Content::Mixed;
    const std::uint64_t body = mib * 1048576;
    program.sections = {MakeSection(0x8000, 1, 1), MakeSection(body / 2 + 0x123, 3, 2),
                        MakeSection(body - body / 2 - 0x8000 - 0x123, 3, 3)};
    program.firstSectionOffset = 0x4000;
    MemberSpec meta;
    meta.name = ".cnmt.ncz";
    meta.ncz = true;
    meta.sections = {MakeSection(0x1200, 3, 4)};
    MemberSpec ticket;
    ticket.name = "0100000000010000000000000000000a.tik";
    ticket.size = 0x2C0;
    MemberSpec cert;
    cert.name = "0100000000010000000000000000000a.cert";
    cert.size = 0x700;
    ContainerSpec package;
    package.members = {program, meta, ticket, cert};
    package.keepNsp = !nspOut.empty();
    BuiltFiles built = BuildNsz(package);
    if (damage)
        built.nsz[built.members[0].nszOffset + 0x200] ^= 0x01; // the hashed NCA no longer matches its name
    WriteWholeFile(vesko::FromUtf8(out), built.nsz);
    if (!nspOut.empty())
        WriteWholeFile(vesko::FromUtf8(nspOut), built.nsp);
    if (!framesOut.empty()) {
        std::vector<std::uint8_t> frames;
        for (const BuiltMember& m : built.members) {
            if (m.compressedOffset == 0)
                continue;
            if (m.blockSizes.empty()) {
                frames.insert(frames.end(),
                              built.nsz.begin() + static_cast<std::ptrdiff_t>(m.compressedOffset),
                              built.nsz.begin() + static_cast<std::ptrdiff_t>(m.nszOffset + m.nszSize));
                continue;
            }
            const std::uint64_t blockSize = std::uint64_t{1} << exponent;
            std::uint64_t left = m.nspSize - 0x4000;
            std::uint64_t at = m.blocksOffset;
            for (std::uint32_t size : m.blockSizes) {
                const std::uint64_t expected = std::min(left, blockSize);
                if (size != expected)
                    frames.insert(frames.end(), built.nsz.begin() + static_cast<std::ptrdiff_t>(at),
                                  built.nsz.begin() + static_cast<std::ptrdiff_t>(at + size));
                at += size;
                left -= expected;
            }
        }
        WriteWholeFile(vesko::FromUtf8(framesOut), frames);
    }
    std::printf("%s %llu\n", HexOf(built.nspSha256.data(), 32).c_str(),
                static_cast<unsigned long long>(built.nspSize));
    return 0;
}
