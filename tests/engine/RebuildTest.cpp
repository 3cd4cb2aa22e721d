// Whole conversions: members from the test-file builder and the independent samples come back byte for
// byte on any number of processors; the first failure in stream order wins, whichever stage meets it
// first; decompression and write failures carry their kind and exact message.
#include "engine/ConvertToFile.h"
#include "engine/Bytes.h"
#include "engine/InputFile.h"
#include "engine/OutputWriter.h"
#include "tests/support/ExpectError.h"
#include "tests/support/MemoryOutput.h"
#include "tests/support/TestPaths.h"
#include "tools/testfiles/NszBuilder.h"

#include <gtest/gtest.h>
#include <zstd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <sched.h>
#endif

namespace vesko {
namespace {

// The whole process on its first processor for one scope: the rebuild's threads share one core (threads
// inherit the affinity of the thread that starts them).
class OneProcessor {
  public:
#ifdef _WIN32
    OneProcessor() {
        DWORD_PTR system = 0;
        GetProcessAffinityMask(GetCurrentProcess(), &saved_, &system);
        pinned = SetProcessAffinityMask(GetCurrentProcess(), saved_ & (~saved_ + 1)) != FALSE;
    }
    ~OneProcessor() {
        SetProcessAffinityMask(GetCurrentProcess(), saved_);
    }
    DWORD_PTR saved_ = 0;
#else
    OneProcessor() {
        sched_getaffinity(0, sizeof saved_, &saved_);
        cpu_set_t one;
        CPU_ZERO(&one);
        for (int cpu = 0; cpu < CPU_SETSIZE && !CPU_COUNT(&one); ++cpu)
            if (CPU_ISSET(cpu, &saved_))
                CPU_SET(cpu, &one);
        pinned = sched_setaffinity(0, sizeof one, &one) == 0;
    }
    ~OneProcessor() {
        sched_setaffinity(0, sizeof saved_, &saved_);
    }
    cpu_set_t saved_;
#endif
    OneProcessor(const OneProcessor&) = delete;
    OneProcessor& operator=(const OneProcessor&) = delete;
    bool pinned = false;
};

// An input whose reads can be watched, and failed, by offset.
class WatchedInput : public InputFile {
  public:
    WatchedInput(const std::wstring& path, std::function<void(std::uint64_t)> onRead)
        : InputFile(path), onRead_(std::move(onRead)) {}
    void readAt(std::uint64_t offset, void* buffer, std::uint64_t length) const override {
        onRead_(offset);
        InputFile::readAt(offset, buffer, length);
    }

  private:
    std::function<void(std::uint64_t)> onRead_;
};

using K = ConversionError::Kind;
using testfiles::Content;
using testfiles::MakeSection;
using testfiles::MemberSpec;
using testfiles::NczForm;

MemberSpec Ncz(std::string name, NczForm form, int exponent, std::vector<testfiles::SectionSpec> sections,
               std::uint64_t firstOffset = 0x4000, Content content = Content::Mixed) {
    MemberSpec m;
    m.name = std::move(name);
    m.ncz = true;
    m.form = form;
    m.blockExponent = exponent;
    m.sections = std::move(sections);
    m.firstSectionOffset = firstOffset;
    m.content = content;
    m.seed = m.sections.size() * 31 + static_cast<std::uint64_t>(exponent);
    return m;
}

MemberSpec Plain(std::string name, std::uint64_t size, std::uint64_t seed = 5) {
    MemberSpec m;
    m.name = std::move(name);
    m.size = size;
    m.seed = seed;
    m.content = Content::Random;
    return m;
}

testfiles::ContainerSpec Package(std::vector<MemberSpec> members) {
    testfiles::ContainerSpec package;
    package.members = std::move(members);
    return package;
}

struct RebuildCase {
    const char* what;
    testfiles::ContainerSpec package;
};

std::vector<RebuildCase> Cases() {
    // Boundaries that are multiples of neither 16 nor 1 MiB, mixed types, a gap before the first section.
    const std::vector<testfiles::SectionSpec> mixed = {MakeSection(0x1234F, 3, 1), MakeSection(0x10007, 1, 2),
                                                       MakeSection(0x180001, 4, 3), MakeSection(0x9, 3, 4)};
    std::vector<RebuildCase> cases;
    auto add = [&](const char* what, std::vector<MemberSpec> members) {
        cases.push_back({what, Package(members)});
    };
    add("solid, mixed sections, gap before the first", {Ncz(".ncz", NczForm::Solid, 0, mixed, 0x4A07)});
    add("block e=14, mixed sections", {Ncz("a.ncz", NczForm::Block, 14, mixed)});
    add("block e=20, partial last block", {Ncz("b.ncz", NczForm::Block, 20, mixed, 0x4010)});
    {
        auto m = Ncz("c.ncz", NczForm::Block, 14, {MakeSection(0x20003, 3, 9)}, 0x4000, Content::Random);
        add("block e=14, every block stored (incompressible)", {m});
        m.storeAllBlocks = true;
        m.content = Content::Compressible;
        m.name = "d.ncz";
        add("block e=14, stored although compressible", {m});
    }
    {
        auto m = Ncz("s.ncz", NczForm::Solid, 0, {MakeSection(0x30000, 3, 3)});
        m.pledgeSize = false;
        add("solid frame without a content size", {m});
    }
    {
        auto hashed = Ncz(".Ncz", NczForm::Block, 16, {MakeSection(0x8000, 3, 5), MakeSection(0x777, 1, 6)});
        hashed.hashName = true;
        auto upper = Ncz(".NCZ", NczForm::Solid, 0, {MakeSection(0x5001, 4, 7)});
        upper.hashName = true;
        upper.upperCaseHash = true;
        auto plainHashed = Plain(".nca", 1000);
        plainHashed.hashName = true;
        auto package = Package({Plain("x.cnmt.xml", 333), hashed, Plain("empty.tik", 0), upper, plainHashed,
                                Plain("cert.cert", 0x100000 + 3)});
        package.physicalOrder = {3, 5, 0, 2, 1, 4};
        package.gapBetween = 17;
        cases.push_back(
            {"hash-named members, plain members, empty member, shuffled data with gaps", package});
    }
    add("plain members only", {Plain("a.tik", 10), Plain("b.cert", 0x200001), Plain("c.xml", 1)});
    return cases;
}

TEST(Rebuild, MembersComeBackByteForByte) {
    for (const RebuildCase& c : Cases()) {
        for (const bool oneProcessor : {false, true}) {
            SCOPED_TRACE(c.what);
            SCOPED_TRACE(oneProcessor ? "one processor, short writes" : "every processor");
            std::optional<OneProcessor> pinned;
            if (oneProcessor) {
                pinned.emplace();
                ASSERT_TRUE(pinned->pinned);
            }
            const testfiles::BuiltFiles built = testfiles::BuildNsz(c.package);
            test::MemoryOutput out;
            out.maxPerCall = oneProcessor ? 1000 : 0; // short writes are continued
            std::vector<Progress> reports;
            ASSERT_NO_THROW(test::ConvertBytes(built.nsz, out, [&](Progress p) { reports.push_back(p); }));
            ASSERT_EQ(out.bytes.size(), built.nsp.size());
            EXPECT_TRUE(out.bytes == built.nsp) << "content differs";
            ASSERT_FALSE(reports.empty());
            EXPECT_EQ(reports.front().bytesWritten, 0u);
            EXPECT_EQ(reports.back().bytesWritten, built.nsp.size());
            for (std::size_t i = 1; i < reports.size(); ++i) {
                EXPECT_GT(reports[i].bytesWritten, reports[i - 1].bytesWritten);
                EXPECT_LE(reports[i].bytesWritten - reports[i - 1].bytesWritten, 0x100000u);
                EXPECT_EQ(reports[i].bytesTotal, built.nsp.size());
                EXPECT_EQ(reports[i].phase, 0u);
            }
        }
    }
}

// A hashed member of five 1 MiB blocks (the last one partial), then a small solid one.
testfiles::ContainerSpec TwoMembers() {
    auto first =
        Ncz(".ncz", NczForm::Block, 20, {MakeSection(0x480000, 3, 1)}, 0x4000, Content::Compressible);
    first.hashName = true;
    return Package({first, Ncz("s.ncz", NczForm::Solid, 0, {MakeSection(0x30000, 3, 2)})});
}

std::uint64_t BlockStart(const testfiles::BuiltMember& m, std::size_t block) {
    std::uint64_t at = m.blocksOffset;
    for (std::size_t j = 0; j < block; ++j)
        at += m.blockSizes[j];
    return at;
}

TEST(Rebuild, FirstFailureInStreamOrderWins) {
    struct Case {
        const char* what;
        int brokenFrame;         // this block of the first member is no zstd frame; -1: none
        int failedRead;          // the read of this block's data fails
        long long writableBytes; // after the first member's NCA header; -1: no limit
        bool brokenHashAndSecondFrame;
        test::ExpectedError error;
        int blocksWritten; // exactly this many blocks of the first member reach the output; -1: not checked
    };
    const auto built = testfiles::BuildNsz(TwoMembers());
    const test::ExpectedError zstd{K::Corrupt, std::string("Ошибка распаковки Zstandard: ") +
                                                   ZSTD_getErrorName(static_cast<std::size_t>(-10))};
    const test::ExpectedError read{K::ReadFailed, "Ошибка чтения входного файла. (Windows 23)", 23};
    const test::ExpectedError write{
        K::WriteFailed, "Не удалось записать NSP. Проверьте свободное место на диске. (Windows 112)", 112};
    const test::ExpectedError mismatch{K::VerificationFailed,
                                       "Проверка SHA-256 не пройдена: " + built.members[0].nspName +
                                           ". Данные повреждены или изменены; NSP не сохранён."};
    const Case cases[] = {
        {"decoder, first buffer", 0, -1, -1, false, zstd, 0},
        {"decoder, middle buffer", 2, -1, -1, false, zstd, 2},
        {"decoder, last buffer", 4, -1, -1, false, zstd, 4},
        {"reader, first buffer", -1, 0, -1, false, read, 0},
        {"reader, middle buffer", -1, 2, -1, false, read, 2},
        {"reader, last buffer", -1, 4, -1, false, read, 4},
        {"writer, first buffer", -1, -1, 0, false, write, -1},
        {"writer, middle buffer", -1, -1, 0x200000, false, write, -1},
        {"writer, last buffer", -1, -1, 0x400001, false, write, -1},
        {"hasher: a mismatch before corrupt data", -1, -1, -1, true, mismatch, 5},
        {"corrupt data before a failed read", 1, 3, -1, false, zstd, 1},
        {"corrupt data before a failed write", 1, -1, 0x180000, false, zstd, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> nsz = built.nsz;
        if (c.brokenFrame >= 0)
            std::fill_n(
                nsz.begin() + static_cast<std::ptrdiff_t>(BlockStart(built.members[0], c.brokenFrame)), 4, 0);
        if (c.brokenHashAndSecondFrame) {
            nsz[built.members[0].nszOffset + 100] ^= 1; // in the NCA header, which is copied verbatim
            std::fill_n(nsz.begin() + static_cast<std::ptrdiff_t>(built.members[1].compressedOffset), 4, 0);
        }
        test::TempDir dir;
        testfiles::WriteWholeFile(dir.file(L"in.nsz"), nsz);
        const std::uint64_t failAt = c.failedRead < 0 ? 0 : BlockStart(built.members[0], c.failedRead);
        const WatchedInput input(dir.file(L"in.nsz"), [&](std::uint64_t offset) {
            if (c.failedRead >= 0 && offset == failAt)
                ThrowWindowsError(K::ReadFailed, "Ошибка чтения входного файла.", 23);
        });
        test::MemoryOutput out;
        const std::uint64_t headerEnd =
            built.nsp.size() - built.members[0].nspSize - built.members[1].nspSize;
        if (c.writableBytes >= 0)
            out.failAfterBytes = static_cast<long long>(headerEnd + 0x4000) + c.writableBytes;
        test::ExpectConversionError([&] { ConvertToOutputFile(input, out, {}, nullptr); }, c.error);
        if (c.blocksWritten >= 0) {
            EXPECT_EQ(out.bytes.size(),
                      headerEnd + 0x4000 + std::min<std::uint64_t>(0x480000, 0x100000u * c.blocksWritten));
        }
        EXPECT_LT(out.bytes.size(), built.nsp.size());
    }
}

TEST(Rebuild, CancellationEndsEveryStage) {
    const auto built = testfiles::BuildNsz(TwoMembers());
    test::TempDir dir;
    testfiles::WriteWholeFile(dir.file(L"in.nsz"), built.nsz);
    const std::uint64_t middle = BlockStart(built.members[0], 2);
    const auto start = std::chrono::steady_clock::now();
    test::MemoryOutput whole;
    ConvertToOutputFile(dir.file(L"in.nsz"), whole, {}, nullptr);
    const auto oneRun = std::chrono::steady_clock::now() - start;
    // From the reader at a chosen read, from the writer at a chosen report, then from another thread at
    // moments spread over a whole conversion: whichever stage sees the flag first stops them all.
    const int rounds = 42;
    int cancelled = 0;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        CancelFlag flag{0};
        const WatchedInput input(dir.file(L"in.nsz"), [&](std::uint64_t offset) {
            if (round == 0 && offset == middle)
                flag = 1;
        });
        int reports = 0;
        const ProgressCallback progress = [&](Progress) {
            if (round == 1 && ++reports == 3)
                flag = 1;
        };
        test::MemoryOutput out;
        {
            std::jthread canceller([&] {
                if (round >= 2) {
                    std::this_thread::sleep_for(oneRun * (round - 2) / (rounds - 2));
                    flag = 1;
                }
            });
            try {
                ConvertToOutputFile(input, out, progress, &flag);
                EXPECT_TRUE(out.bytes == built.nsp);
            } catch (const Cancelled&) {
                ++cancelled;
                EXPECT_LE(out.bytes.size(), built.nsp.size());
            }
        }
        if (round < 2) {
            EXPECT_EQ(cancelled, round + 1) << "a cancellation from the reader or the writer was missed";
        }
    }
}

constexpr std::uint64_t kBody = 0x3001; // the NCA body every member here plans to

// An NCZ member of one type-3 section over the body, followed by `data` as its compressed part.
std::vector<std::uint8_t> MemberWith(const std::vector<std::uint8_t>& data, std::uint64_t body = kBody) {
    std::vector<std::uint8_t> out(0x4010 + 64, 0);
    std::memcpy(out.data() + 0x4000, "NCZSECTN\1", 9);
    StoreLe64(out.data() + 0x4010, 0x4000);
    StoreLe64(out.data() + 0x4018, body);
    out[0x4020] = 3;
    const std::size_t at = out.size();
    out.resize(at + data.size());
    if (!data.empty()) // -O3 warns of a zero-length copy past the end
        std::memcpy(out.data() + at, data.data(), data.size());
    return out;
}

std::vector<std::uint8_t> Frame(std::uint64_t size, bool pledge = true) {
    const auto content = testfiles::MakeContent(testfiles::Content::Mixed, size, 3);
    std::vector<std::uint8_t> out(ZSTD_compressBound(content.size()));
    ZSTD_CCtx* cctx = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_contentSizeFlag, pledge ? 1 : 0);
    out.resize(ZSTD_compress2(cctx, out.data(), out.size(), content.data(), content.size()));
    ZSTD_freeCCtx(cctx);
    return out;
}

// A hand-made frame: no content size, the given window descriptor, then one raw or reserved block.
std::vector<std::uint8_t> HandFrame(std::uint8_t windowDescriptor, std::uint8_t blockType) {
    const std::uint32_t blockHeader = 1u | (static_cast<std::uint32_t>(blockType) << 1) | (1u << 3);
    return {0x28, 0xB5, 0x2F, 0xFD, 0x00, windowDescriptor, static_cast<std::uint8_t>(blockHeader),
            0,    0,    0x41};
}

TEST(Decompress, RefusalsCarryKindAndExactMessage) {
    struct Failure {
        const char* what;
        std::vector<std::uint8_t> member;
        K kind;
        std::string message;
    };
    auto truncated = Frame(kBody);
    truncated.resize(truncated.size() - 3);
    auto extra = Frame(kBody);
    extra.push_back(0);
    auto twoFrames = Frame(kBody);
    const auto second = Frame(16);
    twoFrames.insert(twoFrames.end(), second.begin(), second.end());
    const std::string larger = "Повреждённый NCZ: распакованный размер превышает ожидаемый.";
    const std::string after = "Повреждённый NCZ: лишние данные после потока Zstandard.";
    const std::string zstd = "Ошибка распаковки Zstandard: ";
    const Failure cases[] = {
        {"one byte more than planned", MemberWith(Frame(kBody + 1)), K::Corrupt, larger},
        {"one byte more, no content size", MemberWith(Frame(kBody + 1, false)), K::Corrupt, larger},
        {"one byte less than planned", MemberWith(Frame(kBody - 1)), K::Corrupt,
         "Повреждённый NCZ: распакованные данные обрезаны."},
        {"truncated stream", MemberWith(truncated), K::Corrupt, "Повреждённый NCZ: поток Zstandard обрезан."},
        {"a byte after the frame", MemberWith(extra), K::Corrupt, after},
        {"a second frame", MemberWith(twoFrames), K::Corrupt, after},
        {"window of 2^30", MemberWith(HandFrame(20 << 3, 0), 1), K::Unsupported,
         zstd + ZSTD_getErrorName(static_cast<std::size_t>(-16))},
        {"reserved block type", MemberWith(HandFrame(0, 3), 1), K::Corrupt,
         zstd + ZSTD_getErrorName(static_cast<std::size_t>(-20))},
        {"not a frame", MemberWith({1, 2, 3, 4, 5, 6, 7, 8, 9}), K::Corrupt,
         zstd + ZSTD_getErrorName(static_cast<std::size_t>(-10))},
    };
    for (const Failure& c : cases) {
        SCOPED_TRACE(c.what);
        test::MemoryOutput out;
        test::ExpectConversionError(
            [&] { test::ConvertBytes(testfiles::BuildPfs0({"m.ncz"}, {c.member}), out); },
            {c.kind, c.message});
        // Header (48 bytes for one short name) plus at most the planned NCA.
        EXPECT_LE(out.bytes.size(), 48 + 0x4000 + kBody);
    }
    // A 2^29 window is the largest the decoder takes; the frame itself holds one raw byte.
    test::MemoryOutput out;
    ASSERT_NO_THROW(
        test::ConvertBytes(testfiles::BuildPfs0({"m.ncz"}, {MemberWith(HandFrame(19 << 3, 0), 1)}), out));
    EXPECT_EQ(out.bytes.size(), 48u + 0x4001u);
}

TEST(Decompress, CancellationBetweenDecoderCallsStops) {
    for (const NczForm form : {NczForm::Solid, NczForm::Block}) {
        SCOPED_TRACE(form == NczForm::Block);
        const auto built =
            testfiles::BuildNsz(Package({Ncz("a.ncz", form, 16, {MakeSection(0x500000, 3, 1)})}));
        CancelFlag flag{0};
        int reports = 0;
        const ProgressCallback progress = [&](Progress) {
            if (++reports == 4)
                flag = 1;
        };
        test::MemoryOutput out;
        EXPECT_THROW(test::ConvertBytes(built.nsz, out, progress, &flag), Cancelled);
        EXPECT_EQ(reports, 4);
        EXPECT_LT(out.bytes.size(), built.nsp.size());
    }
}

TEST(OutputWriter, WritesUpToTheTotalAndNotAByteMore) {
    test::MemoryOutput out;
    std::vector<Progress> reports;
    const ProgressCallback progress = [&](Progress p) { reports.push_back(p); };
    OutputWriter writer(out, progress, nullptr, 10);
    const std::uint8_t data[11] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    writer.write(data, 4);
    test::ExpectConversionError([&] { writer.write(data, 7); },
                                {K::Corrupt, "Ошибка размера выходного NSP."});
    EXPECT_EQ(out.bytes.size(), 4u);
    writer.write(data, 6);
    EXPECT_EQ(out.bytes.size(), 10u);
    EXPECT_EQ(writer.written(), 10u);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].bytesWritten, 10u);
    EXPECT_EQ(reports[1].bytesTotal, 10u);
    // Large writes go in pieces of one MiB.
    test::MemoryOutput pieces;
    const std::vector<std::uint8_t> large(0x200005, 7);
    const ProgressCallback none; // the writer keeps a reference
    OutputWriter largeWriter(pieces, none, nullptr, large.size());
    largeWriter.write(large.data(), large.size());
    EXPECT_EQ(pieces.calls, 3);
    EXPECT_EQ(pieces.bytes.size(), large.size());
}

TEST(OutputWriter, SystemFailures) {
    const std::string full = "Не удалось записать NSP. Проверьте свободное место на диске. (Windows ";
    const test::ExpectedError cases[] = {
        {K::WriteFailed, full + "112)", 112},
        {K::AccessDenied, full + "5)", 5},
        {K::AccessDenied, full + "19)", 19},
        {K::WriteFailed, "Windows не смогла записать данные NSP.", 0}, // a call that wrote nothing
    };
    const ProgressCallback none;
    for (const test::ExpectedError& c : cases) {
        SCOPED_TRACE(c.message);
        test::MemoryOutput out;
        out.failAfterBytes = c.windowsError == 0 ? -1 : 0;
        out.failCode = c.windowsError;
        out.zeroWrites = c.windowsError == 0;
        OutputWriter writer(out, none, nullptr, 100);
        test::ExpectConversionError([&] { writer.write("abc", 3); }, c);
        EXPECT_EQ(writer.written(), 0u);
    }
    // 995 (aborted) is cancellation only while a cancel is requested.
    test::MemoryOutput out;
    out.failAfterBytes = 0;
    out.failCode = 995;
    CancelFlag flag{0};
    CurrentCancelFlagScope scope(&flag);
    OutputWriter writer(out, none, nullptr, 100);
    EXPECT_THROW(writer.write("abc", 3), ConversionError);
    flag = 1;
    EXPECT_THROW(writer.write("abc", 3), Cancelled);
}

// A plain member, then an NCZ one, hash-named unless `name` is given.
testfiles::BuiltFiles Hashed(const char* name = nullptr) {
    auto ncz = Ncz(name ? name : ".ncz", NczForm::Solid, 0, {MakeSection(0x2000, 3, 4)});
    ncz.hashName = name == nullptr;
    return testfiles::BuildNsz(Package({Plain("other.tik", 100), ncz}));
}

TEST(MemberHash, MismatchNamesTheOutputMember) {
    auto built = Hashed();
    // One byte of the NCA header (copied verbatim) changed: the rebuilt member no longer matches its name.
    built.nsz[built.members[1].nszOffset + 100] ^= 1;
    test::MemoryOutput out;
    EXPECT_EQ(built.members[1].nspName.substr(32), ".nca");
    test::ExpectConversionError(
        [&] { test::ConvertBytes(built.nsz, out); },
        {K::VerificationFailed, "Проверка SHA-256 не пройдена: " + built.members[1].nspName +
                                    ". Данные повреждены или изменены; NSP не сохранён."});
    // 36 bytes, but not all digits: not verified.
    const auto unhashed = Hashed("0123456789abcdef0123456789abcdeX.ncz");
    test::MemoryOutput plain;
    EXPECT_NO_THROW(test::ConvertBytes(unhashed.nsz, plain));
    EXPECT_TRUE(plain.bytes == unhashed.nsp);
}

TEST(Samples, ConvertToTheRecordedNsp) {
    const std::filesystem::path dir(test::SharedSamplesDir());
    std::ifstream in(dir / "expected.tsv");
    std::string file, sha256;
    std::getline(in, file); // column names
    int samples = 0;
    while (in >> file >> sha256) {
        SCOPED_TRACE(file);
        ++samples;
        test::MemoryOutput out;
        std::uint64_t size = 0;
        ASSERT_NO_THROW(size = ConvertToOutputFile((dir / file).wstring(), out, {}, nullptr));
        EXPECT_EQ(size, out.bytes.size());
        const auto digest = testfiles::Sha256Of(out.bytes);
        EXPECT_EQ(testfiles::HexOf(digest.data(), digest.size()), sha256);
    }
    EXPECT_EQ(samples, 4) << "expected.tsv not found or incomplete";
}

} // namespace
} // namespace vesko
