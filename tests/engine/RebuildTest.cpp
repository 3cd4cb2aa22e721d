// Whole conversions: built members and the independent samples come back byte for byte; the first failure
// in stream order wins, whichever stage meets it first; cancellation from every stage ends them all.
#include "engine/InputFile.h"
#include "engine/OutputWriter.h"
#include "tests/support/ExpectError.h"
#include "tests/support/MemoryOutput.h"

#include <zstd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <thread>

namespace vesko {
namespace {

using K = ConversionError::Kind;
using namespace testfiles;

// An input whose reads can be watched, and failed, by offset.
struct WatchedInput : InputFile {
    WatchedInput(const std::wstring& path, std::function<void(std::uint64_t)> onRead)
        : InputFile(path), onRead(std::move(onRead)) {}
    void readAt(std::uint64_t offset, void* buffer, std::uint64_t length) const override {
        onRead(offset);
        InputFile::readAt(offset, buffer, length);
    }
    std::function<void(std::uint64_t)> onRead;
};

enum Flags { kHashed = 1, kUpperCaseHash = 2, kStoreAllBlocks = 4, kNoContentSize = 8 };

MemberSpec Ncz(std::string name, NczForm form, int exponent, std::vector<SectionSpec> sections,
               std::uint64_t firstOffset = 0x4000, Content content = Content::Mixed, int flags = 0) {
    MemberSpec m;
    m.name = std::move(name);
    m.ncz = true;
    m.form = form;
    m.blockExponent = exponent;
    m.seed = sections.size() * 31 + static_cast<std::uint64_t>(exponent);
    m.sections = std::move(sections);
    m.firstSectionOffset = firstOffset;
    m.content = content;
    m.hashName = flags & kHashed;
    m.upperCaseHash = flags & kUpperCaseHash;
    m.storeAllBlocks = flags & kStoreAllBlocks;
    m.pledgeSize = !(flags & kNoContentSize); // solid form: a frame without a content size
    return m;
}

MemberSpec Plain(std::string name, std::uint64_t size, bool hashed = false) {
    MemberSpec m;
    m.name = std::move(name);
    m.size = size;
    m.seed = 5;
    m.content = Content::Random;
    m.hashName = hashed;
    return m;
}

TEST(Rebuild, MembersComeBackByteForByte) {
    // Boundaries that are multiples of neither 16 nor 1 MiB, mixed types, a gap before the first section.
    const std::vector<SectionSpec> mixed = {MakeSection(0x1234F, 3, 1), MakeSection(0x10007, 1, 2),
                                            MakeSection(0x180001, 4, 3), MakeSection(0x9, 3, 4)};
    const std::vector<SectionSpec> one = {MakeSection(0x20003, 3, 9)};
    const std::pair<const char*, ContainerSpec> cases[] = {
        {"solid with a gap before the first section; block e=14, e=20 (partial last block); every block "
         "stored, incompressible or not; solid without a content size",
         {{Ncz(".ncz", NczForm::Solid, 0, mixed, 0x4A07), Ncz("a.ncz", NczForm::Block, 14, mixed),
           Ncz("b.ncz", NczForm::Block, 20, mixed, 0x4010),
           Ncz("c.ncz", NczForm::Block, 14, one, 0x4000, Content::Random),
           Ncz("d.ncz", NczForm::Block, 14, one, 0x4000, Content::Compressible, kStoreAllBlocks),
           Ncz("s.ncz", NczForm::Solid, 0, {MakeSection(0x30000, 3, 3)}, 0x4000, Content::Mixed,
               kNoContentSize)},
          {}}},
        {"hash-named members, plain members, empty member, shuffled data with gaps",
         {{Plain("x.cnmt.xml", 333),
           Ncz(".Ncz", NczForm::Block, 16, {MakeSection(0x8000, 3, 5), MakeSection(0x777, 1, 6)}, 0x4000,
               Content::Mixed, kHashed),
           Plain("empty.tik", 0),
           Ncz(".NCZ", NczForm::Solid, 0, {MakeSection(0x5001, 4, 7)}, 0x4000, Content::Mixed,
               kHashed | kUpperCaseHash),
           Plain(".nca", 1000, true), Plain("cert.cert", 0x100000 + 3)},
          {3, 5, 0, 2, 1, 4},
          17}},
        {"plain members only", {{Plain("a.tik", 10), Plain("b.cert", 0x200001), Plain("c.xml", 1)}, {}}},
    };
    for (const auto& [what, package] : cases) {
        SCOPED_TRACE(what);
        const BuiltFiles built = BuildNsz(package);
        test::MemoryOutput out;
        out.maxPerCall = 1000; // short writes are continued
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

// A hashed member of five 1 MiB blocks (the last one partial), then a small solid one.
BuiltFiles TwoMembers() {
    return BuildNsz(ContainerSpec{{Ncz(".ncz", NczForm::Block, 20, {MakeSection(0x480000, 3, 1)}, 0x4000,
                                       Content::Compressible, kHashed),
                                   Ncz("s.ncz", NczForm::Solid, 0, {MakeSection(0x30000, 3, 2)})},
                                  {}});
}

std::uint64_t BlockStart(const BuiltMember& m, int block) {
    return std::accumulate(m.blockSizes.begin(), m.blockSizes.begin() + block, m.blocksOffset);
}

TEST(Rebuild, FirstFailureInStreamOrderWins) {
    // Per row: the first member's block that is no frame, and the one whose read fails; the bytes writable
    // after its NCA header; a broken hash; the error; how many of its blocks are written (-1: none/any).
    const auto built = TwoMembers();
    const test::ExpectedError zstd{K::Corrupt, std::string("Ошибка распаковки Zstandard: ") +
                                                   ZSTD_getErrorName(static_cast<std::size_t>(-10))};
    const test::ExpectedError read{K::ReadFailed, "Ошибка чтения входного файла. (Windows 23)", 23};
    const std::string full = "Не удалось записать NSP. Проверьте свободное место на диске. (Windows ";
    const test::ExpectedError nothing{K::WriteFailed, "Windows не смогла записать данные NSP."};
    const test::ExpectedError mismatch{K::VerificationFailed,
                                       "Проверка SHA-256 не пройдена: " + built.members[0].nspName +
                                           ". Данные повреждены или изменены; NSP не сохранён."};
    const std::tuple<const char*, int, int, long long, bool, test::ExpectedError, int> cases[] = {
        {"decoder, first buffer", 0, -1, -1, false, zstd, 0},
        {"decoder, middle buffer", 2, -1, -1, false, zstd, 2},
        {"decoder, last buffer", 4, -1, -1, false, zstd, 4},
        {"reader, first buffer", -1, 0, -1, false, read, 0},
        {"reader, middle buffer", -1, 2, -1, false, read, 2},
        {"reader, last buffer", -1, 4, -1, false, read, 4},
        {"writer, first buffer", -1, -1, 0, false, {K::WriteFailed, full + "112)", 112}, -1},
        {"writer, middle buffer", -1, -1, 0x200000, false, {K::WriteFailed, full + "112)", 112}, -1},
        {"writer, last buffer", -1, -1, 0x400001, false, {K::WriteFailed, full + "112)", 112}, -1},
        {"writer, access denied", -1, -1, 0, false, {K::AccessDenied, full + "5)", 5}, -1},
        {"writer, write-protected", -1, -1, 0, false, {K::AccessDenied, full + "19)", 19}, -1},
        {"writer, aborted without a cancel", -1, -1, 0, false, {K::WriteFailed, full + "995)", 995}, -1},
        {"writer, a call that wrote nothing", -1, -1, 0, false, nothing, -1},
        {"hasher: a mismatch before corrupt data", -1, -1, -1, true, mismatch, 5},
        {"corrupt data before a failed read", 1, 3, -1, false, zstd, 1},
        {"corrupt data before a failed write", 1, -1, 0x180000, false, zstd, 1},
    };
    const std::uint64_t firstData =
        built.nsp.size() - built.members[0].nspSize - built.members[1].nspSize + 0x4000;
    for (const auto& [what, brokenFrame, failedRead, writable, brokenHash, error, blocks] : cases) {
        SCOPED_TRACE(what);
        auto nsz = built.nsz;
        if (brokenFrame >= 0)
            std::fill_n(&nsz[BlockStart(built.members[0], brokenFrame)], 4, 0);
        if (brokenHash) {
            nsz[built.members[0].nszOffset + 100] ^= 1; // in the NCA header, which is copied verbatim
            std::fill_n(&nsz[built.members[1].compressedOffset], 4, 0);
        }
        const std::uint64_t failAt = failedRead < 0 ? 0 : BlockStart(built.members[0], failedRead);
        const WatchedInput input(test::ScratchFile(nsz), [&, fails = failedRead >= 0](std::uint64_t offset) {
            if (fails && offset == failAt)
                ThrowWindowsError(K::ReadFailed, "Ошибка чтения входного файла.", 23);
        });
        test::MemoryOutput out;
        if (writable >= 0) {
            out.failAfterBytes = static_cast<long long>(firstData) + writable;
            out.failCode = error.windowsError; // 0: the call succeeds and writes nothing
        }
        test::ExpectConversionError([&] { ConvertToOutputFile(input, out, {}, nullptr); }, error);
        if (blocks >= 0) {
            EXPECT_EQ(out.bytes.size(), firstData + std::min<std::uint64_t>(0x480000, 0x100000u * blocks));
        }
        EXPECT_LT(out.bytes.size(), built.nsp.size());
    }
}

TEST(Rebuild, CancellationEndsEveryStage) {
    const auto built = TwoMembers();
    const std::wstring path = test::ScratchFile(built.nsz);
    const std::uint64_t middle = BlockStart(built.members[0], 2);
    const auto start = std::chrono::steady_clock::now();
    test::MemoryOutput whole;
    ConvertToOutputFile(path, whole, {}, nullptr);
    const auto oneRun = std::chrono::steady_clock::now() - start;
    // From the reader at a chosen read, from the writer at a chosen report, then from another thread at
    // moments spread over a whole conversion: whichever stage sees the flag first stops them all.
    const int rounds = 42;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        CancelFlag flag{0};
        int reports = 0;
        const WatchedInput input(
            path, [&](std::uint64_t offset) { flag.fetch_or(round == 0 && offset == middle); });
        const ProgressCallback progress = [&](Progress) { flag.fetch_or(round == 1 && ++reports == 3); };
        test::MemoryOutput out;
        std::jthread canceller([&] {
            if (round >= 2) {
                std::this_thread::sleep_for(oneRun * (round - 2) / (rounds - 2));
                flag = 1;
            }
        });
        try {
            ConvertToOutputFile(input, out, progress, &flag);
            EXPECT_GE(round, 2) << "a cancellation from the reader or the writer was missed";
            EXPECT_TRUE(out.bytes == built.nsp);
        } catch (const Cancelled&) {
            EXPECT_LE(out.bytes.size(), built.nsp.size());
        }
    }
    // Between two decoder calls of one member, in either form: no report after the one that cancels.
    for (const NczForm form : {NczForm::Solid, NczForm::Block}) {
        SCOPED_TRACE(form == NczForm::Block);
        const auto large =
            BuildNsz(ContainerSpec{{Ncz("a.ncz", form, 16, {MakeSection(0x500000, 3, 1)})}, {}});
        CancelFlag flag{0};
        int reports = 0;
        const ProgressCallback progress = [&](Progress) { flag.fetch_or(++reports == 4); };
        test::MemoryOutput out;
        EXPECT_THROW(test::ConvertBytes(large.nsz, out, progress, &flag), Cancelled);
        EXPECT_EQ(reports, 4);
        EXPECT_LT(out.bytes.size(), large.nsp.size());
    }
}

TEST(OutputWriter, WritesInPiecesOfOneMiB) {
    test::MemoryOutput out;
    const ProgressCallback none; // may be empty: then nothing is reported
    OutputWriter writer(out, none, nullptr, 0x200001);
    const std::vector<std::uint8_t> data(0x200001, 7);
    writer.write(data.data(), data.size());
    EXPECT_EQ(out.calls, 3);
    EXPECT_EQ(writer.written(), data.size());
    EXPECT_TRUE(out.bytes == data);
}

TEST(Samples, ConvertToTheRecordedNsp) {
    const std::filesystem::path dir(test::SharedSamplesDir());
    std::ifstream in(dir / "expected.tsv");
    std::string file, sha256;
    std::getline(in, file); // column names
    int samples = 0;
    for (; in >> file >> sha256; ++samples) {
        SCOPED_TRACE(file);
        test::MemoryOutput out;
        std::uint64_t size = 0;
        ASSERT_NO_THROW(size = ConvertToOutputFile((dir / file).wstring(), out, {}, nullptr));
        EXPECT_EQ(size, out.bytes.size());
        EXPECT_EQ(HexOf(Sha256Of(out.bytes).data(), 32), sha256);
    }
    EXPECT_EQ(samples, 4) << "expected.tsv not found or incomplete";
}

} // namespace
} // namespace vesko
