// Builds NSZ files from a description, together with the exact NSP that converting them must give.
// The original NCAs are encrypted by a plain CTR loop of its own over the AES block function, so
// that it shares nothing with the converter's re-encryption but that function.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vesko::testfiles {

enum class Content { Random, Compressible, Zeros, Mixed };
enum class NczForm { Solid, Block };

struct SectionSpec {
    std::uint64_t size = 0;
    std::uint64_t cryptoType = 3;
    std::array<std::uint8_t, 16> key{};
    std::array<std::uint8_t, 16> counter{};
};

struct MemberSpec {
    // The stored name; with hashName, the extension to put after the 32 digits (".ncz", ".nca", ".NCZ", …).
    std::string name;
    bool ncz = false;
    bool hashName = false;
    bool upperCaseHash = false;
    std::uint64_t seed = 1;
    Content content = Content::Mixed;

    // Plain member: its size, or explicit bytes when `data` is not empty.
    std::uint64_t size = 0;
    std::vector<std::uint8_t> data;

    // NCZ member: sections follow each other from firstSectionOffset.
    std::uint64_t firstSectionOffset = 0x4000;
    std::vector<SectionSpec> sections;
    NczForm form = NczForm::Solid;
    int blockExponent = 20;
    int level = 3;
    bool storeAllBlocks = false;
    int windowLog = 0;      // 0: the compressor's choice
    bool pledgeSize = true; // solid form: content size written in the frame header
};

struct ContainerSpec {
    std::vector<MemberSpec> members;
    std::vector<std::size_t> physicalOrder; // order of the data in the file; empty: entry order
    std::uint64_t gapBetween = 0;           // filler bytes before each member's data
    bool keepNsp = true;                    // false: only the NSP's SHA-256 is kept
};

struct BuiltMember {
    std::string nszName;
    std::string nspName;
    std::uint64_t nszOffset = 0; // absolute, in the NSZ
    std::uint64_t nszSize = 0;
    std::uint64_t nspSize = 0;
    std::array<std::uint8_t, 32> sha256{}; // of the member as it is in the NSP
    // NCZ members, absolute offsets in the NSZ:
    std::uint64_t sectionTableOffset = 0; // the "NCZSECTN" magic
    std::uint64_t compressedOffset = 0;   // the "NCZBLOCK" header or the single frame
    std::uint64_t blockTableOffset = 0;
    std::uint64_t blocksOffset = 0;
    std::vector<std::uint32_t> blockSizes;
};

struct BuiltFiles {
    std::vector<std::uint8_t> nsz;
    std::vector<std::uint8_t> nsp;
    std::array<std::uint8_t, 32> nspSha256{};
    std::uint64_t nspSize = 0;
    std::uint64_t headerEnd = 0; // NSZ offset the PFS0 data offsets count from
    std::vector<BuiltMember> members;
};

BuiltFiles BuildNsz(const ContainerSpec& package);

// Deterministic content of the given kind.
std::vector<std::uint8_t> MakeContent(Content content, std::uint64_t size, std::uint64_t seed);

// A PFS0 container of the given names and data, entries in order, data back to back.
std::vector<std::uint8_t> BuildPfs0(const std::vector<std::string>& names,
                                    const std::vector<std::vector<std::uint8_t>>& data);

std::array<std::uint8_t, 32> Sha256Of(const std::vector<std::uint8_t>& data);
std::string HexOf(const std::uint8_t* data, std::size_t size);

// A section of the given size and type with key and counter drawn from the seed.
SectionSpec MakeSection(std::uint64_t size, std::uint64_t cryptoType, std::uint64_t seed);

void WriteWholeFile(const std::wstring& path, const std::vector<std::uint8_t>& data);
std::vector<std::uint8_t> ReadWholeFile(const std::wstring& path);

} // namespace vesko::testfiles
