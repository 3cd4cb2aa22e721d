#include "tools/testfiles/NszBuilder.h"

#include "engine/Crypto.h"

#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <stdexcept>

namespace vesko::testfiles {

namespace {

constexpr std::uint64_t kHeader = 0x4000;

class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
    std::uint64_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    void fill(std::uint8_t* out, std::size_t size) {
        std::size_t i = 0;
        for (; i + 8 <= size; i += 8) {
            const std::uint64_t v = next();
            std::memcpy(out + i, &v, 8);
        }
        if (i < size) {
            const std::uint64_t v = next();
            std::memcpy(out + i, &v, size - i);
        }
    }

  private:
    std::uint64_t state_;
};

void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void Put64(std::vector<std::uint8_t>& out, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void Append(std::vector<std::uint8_t>& out, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    out.insert(out.end(), bytes, bytes + size);
}

void CheckZstd(std::size_t result) {
    if (ZSTD_isError(result))
        throw std::runtime_error(std::string("zstd: ") + ZSTD_getErrorName(result));
}

std::vector<std::uint8_t> Compress(const std::uint8_t* data, std::size_t size, const MemberSpec& member,
                                   bool pledge) {
    ZSTD_CCtx* context = ZSTD_createCCtx();
    std::vector<std::uint8_t> out(ZSTD_compressBound(size) + 64);
    CheckZstd(ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, member.level));
    if (member.windowLog != 0)
        CheckZstd(ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, member.windowLog));
    if (pledge)
        CheckZstd(ZSTD_CCtx_setPledgedSrcSize(context, size));
    ZSTD_inBuffer in{data, size, 0};
    ZSTD_outBuffer target{out.data(), out.size(), 0};
    std::size_t left = 0;
    do {
        left = ZSTD_compressStream2(context, &target, &in, ZSTD_e_end);
        CheckZstd(left);
    } while (left != 0);
    ZSTD_freeCCtx(context);
    out.resize(target.pos);
    return out;
}

// The builder's own CTR: counter blocks of the section's counter high and the NCA block index.
void EncryptCtr(const CryptoProviders& providers, const SectionSpec& section, std::uint8_t* nca,
                std::uint64_t from, std::uint64_t to) {
    AesEcbKey key(providers, section.key.data());
    constexpr std::size_t kBatch = 4096;
    std::vector<std::uint8_t> stream(16 * kBatch);
    std::uint64_t block = from / 16;
    while (block * 16 < to) {
        const std::size_t count =
            static_cast<std::size_t>(std::min<std::uint64_t>(kBatch, (to - block * 16 + 15) / 16));
        for (std::size_t i = 0; i < count; ++i) {
            std::uint8_t* counter = stream.data() + 16 * i;
            std::memcpy(counter, section.counter.data(), 8);
            const std::uint64_t index = block + i;
            for (int k = 0; k < 8; ++k)
                counter[8 + k] = static_cast<std::uint8_t>(index >> (56 - 8 * k));
        }
        key.encryptBlocks(stream.data(), 16 * count);
        for (std::size_t i = 0; i < 16 * count; ++i) {
            const std::uint64_t at = block * 16 + i;
            if (at >= from && at < to)
                nca[at] ^= stream[i];
        }
        block += count;
    }
}

struct MemberBytes {
    std::vector<std::uint8_t> stored; // as in the NSZ
    std::vector<std::uint8_t> output; // as in the NSP
    BuiltMember info;
};

MemberBytes BuildMember(const MemberSpec& member, const CryptoProviders& providers) {
    MemberBytes m;
    if (!member.ncz) {
        m.output = member.data.empty() ? MakeContent(member.content, member.size, member.seed) : member.data;
        m.stored = m.output;
    } else {
        if (member.sections.empty())
            throw std::invalid_argument("an NCZ member needs sections");
        std::uint64_t ncaSize = member.firstSectionOffset;
        for (const SectionSpec& s : member.sections)
            ncaSize += s.size;
        if (ncaSize <= kHeader)
            throw std::invalid_argument("an NCZ member needs a body");
        std::vector<std::uint8_t> nca(static_cast<std::size_t>(ncaSize));
        Random(member.seed ^ 0xA5A5).fill(nca.data(), kHeader);
        const std::vector<std::uint8_t> body = MakeContent(member.content, ncaSize - kHeader, member.seed);
        std::memcpy(nca.data() + kHeader, body.data(), body.size());
        std::uint64_t offset = member.firstSectionOffset;
        for (const SectionSpec& s : member.sections) {
            const std::uint64_t from = std::max(offset, kHeader);
            if ((s.cryptoType == 3 || s.cryptoType == 4) && from < offset + s.size)
                EncryptCtr(providers, s, nca.data(), from, offset + s.size);
            offset += s.size;
        }
        m.output = std::move(nca);

        std::vector<std::uint8_t>& out = m.stored;
        Append(out, m.output.data(), kHeader);
        Append(out, "NCZSECTN", 8);
        out.resize(out.size() + 8);
        Put64(out, out.size() - 8, member.sections.size());
        offset = member.firstSectionOffset;
        for (const SectionSpec& s : member.sections) {
            const std::size_t at = out.size();
            out.resize(at + 64);
            Put64(out, at, offset);
            Put64(out, at + 8, s.size);
            Put64(out, at + 16, s.cryptoType);
            std::memcpy(out.data() + at + 32, s.key.data(), 16);
            std::memcpy(out.data() + at + 48, s.counter.data(), 16);
            offset += s.size;
        }
        m.info.sectionTableOffset = kHeader;
        m.info.compressedOffset = out.size();
        if (member.form == NczForm::Solid) {
            const auto frame = Compress(body.data(), body.size(), member, member.pledgeSize);
            Append(out, frame.data(), frame.size());
        } else {
            const std::uint64_t blockSize = std::uint64_t{1} << member.blockExponent;
            const std::uint64_t count = (body.size() + blockSize - 1) / blockSize;
            std::vector<std::vector<std::uint8_t>> blocks;
            for (std::uint64_t j = 0; j < count; ++j) {
                const std::size_t start = static_cast<std::size_t>(j * blockSize);
                const std::size_t length =
                    static_cast<std::size_t>(std::min<std::uint64_t>(blockSize, body.size() - start));
                std::vector<std::uint8_t> frame;
                if (!member.storeAllBlocks)
                    frame = Compress(body.data() + start, length, member, true);
                if (member.storeAllBlocks || frame.size() >= length)
                    frame.assign(body.begin() + static_cast<std::ptrdiff_t>(start),
                                 body.begin() + static_cast<std::ptrdiff_t>(start + length));
                m.info.blockSizes.push_back(static_cast<std::uint32_t>(frame.size()));
                blocks.push_back(std::move(frame));
            }
            const std::size_t at = out.size();
            out.resize(at + 24 + 4 * count);
            std::memcpy(out.data() + at, "NCZBLOCK", 8);
            out[at + 8] = 2;
            out[at + 9] = 1;
            out[at + 11] = static_cast<std::uint8_t>(member.blockExponent);
            Put32(out, at + 12, static_cast<std::uint32_t>(count));
            Put64(out, at + 16, body.size());
            for (std::uint64_t j = 0; j < count; ++j)
                Put32(out, static_cast<std::size_t>(at + 24 + 4 * j), m.info.blockSizes[j]);
            m.info.blockTableOffset = at + 24;
            m.info.blocksOffset = out.size();
            for (const auto& b : blocks)
                Append(out, b.data(), b.size());
        }
    }
    m.info.sha256 = Sha256Of(m.output);
    m.info.nszSize = m.stored.size();
    m.info.nspSize = m.output.size();
    if (member.hashName) {
        std::string hex = HexOf(m.info.sha256.data(), 16);
        if (member.upperCaseHash)
            std::transform(hex.begin(), hex.end(), hex.begin(),
                           [](char c) { return static_cast<char>(std::toupper(c)); });
        m.info.nszName = hex + member.name;
    } else {
        m.info.nszName = member.name;
    }
    m.info.nspName = m.info.nszName;
    const std::size_t n = m.info.nspName.size();
    if (member.ncz && n >= 4)
        m.info.nspName.replace(n - 4, 4, ".nca");
    return m;
}

} // namespace

std::vector<std::uint8_t> MakeContent(Content content, std::uint64_t size, std::uint64_t seed) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(size), 0);
    Random random(seed);
    switch (content) {
    case Content::Zeros:
        break;
    case Content::Random:
        random.fill(out.data(), out.size());
        break;
    case Content::Compressible:
    case Content::Mixed: {
        // Text-like runs compress well; with Mixed, every third 96 KiB region is noise.
        static const char kWords[] = "texture mesh sound script level actor 0123 shader font table ";
        const std::size_t region = 96 * 1024;
        for (std::size_t start = 0, r = 0; start < out.size(); start += region, ++r) {
            const std::size_t end = std::min(out.size(), start + region);
            if (content == Content::Mixed && r % 3 == 2) {
                random.fill(out.data() + start, end - start);
            } else if (content == Content::Mixed && r % 3 == 1) {
                for (std::size_t i = start; i < end; ++i)
                    out[i] = static_cast<std::uint8_t>((i / 64) & 0x0F);
            } else {
                for (std::size_t i = start; i < end;) {
                    const std::size_t word = static_cast<std::size_t>(random.next() % (sizeof kWords - 8));
                    const std::size_t len = std::min<std::size_t>(end - i, 2 + random.next() % 6);
                    std::memcpy(out.data() + i, kWords + word, len);
                    i += len;
                }
            }
        }
        break;
    }
    }
    return out;
}

std::vector<std::uint8_t> BuildPfs0(const std::vector<std::string>& names,
                                    const std::vector<std::vector<std::uint8_t>>& data) {
    std::uint64_t namesSize = 0;
    for (const auto& n : names)
        namesSize += n.size() + 1;
    const std::uint64_t headerSize = (16 + 24 * names.size() + namesSize + 15) / 16 * 16;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(headerSize), 0);
    std::memcpy(out.data(), "PFS0", 4);
    Put32(out, 4, static_cast<std::uint32_t>(names.size()));
    Put32(out, 8, static_cast<std::uint32_t>(headerSize - 16 - 24 * names.size()));
    std::uint64_t offset = 0;
    std::uint64_t nameOffset = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        Put64(out, 16 + 24 * i, offset);
        Put64(out, 24 + 24 * i, data[i].size());
        Put32(out, 32 + 24 * i, static_cast<std::uint32_t>(nameOffset));
        std::memcpy(out.data() + 16 + 24 * names.size() + nameOffset, names[i].data(), names[i].size());
        nameOffset += names[i].size() + 1;
        offset += data[i].size();
    }
    for (const auto& d : data)
        Append(out, d.data(), d.size());
    return out;
}

BuiltFiles BuildNsz(const ContainerSpec& package) {
    CryptoProviders providers;
    std::vector<MemberBytes> members;
    for (const MemberSpec& m : package.members)
        members.push_back(BuildMember(m, providers));

    BuiltFiles built;
    std::vector<std::string> nspNames;
    std::vector<std::vector<std::uint8_t>> nspData;
    for (MemberBytes& m : members) {
        nspNames.push_back(m.info.nspName);
        nspData.push_back(std::move(m.output));
    }
    std::vector<std::uint8_t> nsp = BuildPfs0(nspNames, nspData);
    built.nspSha256 = Sha256Of(nsp);
    built.nspSize = nsp.size();
    if (package.keepNsp)
        built.nsp = std::move(nsp);
    nspData.clear();

    // The NSZ header: string table padded to 32 bytes, as packers commonly do.
    std::uint64_t namesSize = 0;
    for (const MemberBytes& m : members)
        namesSize += m.info.nszName.size() + 1;
    const std::uint64_t count = members.size();
    const std::uint64_t headerEnd = (16 + 24 * count + namesSize + 31) / 32 * 32;
    std::vector<std::uint8_t>& nsz = built.nsz;
    nsz.assign(static_cast<std::size_t>(headerEnd), 0);
    std::memcpy(nsz.data(), "PFS0", 4);
    Put32(nsz, 4, static_cast<std::uint32_t>(count));
    Put32(nsz, 8, static_cast<std::uint32_t>(headerEnd - 16 - 24 * count));
    std::vector<std::size_t> order = package.physicalOrder;
    if (order.empty()) {
        order.resize(members.size());
        std::iota(order.begin(), order.end(), 0);
    }
    Random filler(77);
    for (std::size_t index : order) {
        MemberBytes& m = members.at(index);
        std::vector<std::uint8_t> gap(static_cast<std::size_t>(package.gapBetween));
        filler.fill(gap.data(), gap.size());
        Append(nsz, gap.data(), gap.size());
        m.info.nszOffset = nsz.size();
        Append(nsz, m.stored.data(), m.stored.size());
    }
    std::uint64_t nameOffset = 0;
    for (std::size_t i = 0; i < members.size(); ++i) {
        BuiltMember& info = members[i].info;
        Put64(nsz, 16 + 24 * i, info.nszOffset - headerEnd);
        Put64(nsz, 24 + 24 * i, info.nszSize);
        Put32(nsz, 32 + 24 * i, static_cast<std::uint32_t>(nameOffset));
        std::memcpy(nsz.data() + 16 + 24 * count + nameOffset, info.nszName.data(), info.nszName.size());
        nameOffset += info.nszName.size() + 1;
        if (package.members[i].ncz) {
            info.sectionTableOffset += info.nszOffset;
            info.compressedOffset += info.nszOffset;
            if (info.blockTableOffset != 0) {
                info.blockTableOffset += info.nszOffset;
                info.blocksOffset += info.nszOffset;
            }
        }
        built.members.push_back(std::move(info));
    }
    built.headerEnd = headerEnd;
    return built;
}

std::array<std::uint8_t, 32> Sha256Of(const std::vector<std::uint8_t>& data) {
    CryptoProviders providers;
    Sha256Context context(providers);
    context.update(data.data(), data.size());
    return context.finish();
}

std::string HexOf(const std::uint8_t* data, std::size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 15];
    }
    return out;
}

SectionSpec MakeSection(std::uint64_t size, std::uint64_t cryptoType, std::uint64_t seed) {
    SectionSpec s;
    s.size = size;
    s.cryptoType = cryptoType;
    Random random(seed + 1000);
    random.fill(s.key.data(), 16);
    random.fill(s.counter.data(), 16);
    return s;
}

void WriteWholeFile(const std::wstring& path, const std::vector<std::uint8_t>& data) {
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!out)
        throw std::runtime_error("cannot write test file");
}

std::vector<std::uint8_t> ReadWholeFile(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read test file");
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace vesko::testfiles
