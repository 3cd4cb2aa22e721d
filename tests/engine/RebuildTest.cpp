// Members from the test-file builder come back as the original NCAs, byte for byte, on any number of
// processors; the first failure in stream order wins, whichever stage meets it first.
#include "engine/ConvertToFile.h"
#include "engine/InputFile.h"
#include "tests/support/ExpectError.h"
#include "tests/support/MemoryOutput.h"
#include "tests/support/TestPaths.h"
#include "tools/testfiles/NszBuilder.h"

#include <gtest/gtest.h>
#include <zstd.h>

#include <chrono>
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
        testfiles::ContainerSpec package;
        package.members = std::move(members);
        cases.push_back({what, std::move(package)});
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
        auto hashed = Ncz(".ncz", NczForm::Block, 16, {MakeSection(0x8000, 3, 5), MakeSection(0x777, 1, 6)});
        hashed.hashName = true;
        auto upper = Ncz(".NCZ", NczForm::Solid, 0, {MakeSection(0x5001, 4, 7)});
        upper.hashName = true;
        upper.upperCaseHash = true;
        auto plainHashed = Plain(".nca", 1000);
        plainHashed.hashName = true;
        testfiles::ContainerSpec package;
        package.members = {Plain("x.cnmt.xml", 333),        hashed, Plain("empty.tik", 0), upper, plainHashed,
                           Plain("cert.cert", 0x100000 + 3)};
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

using K = ConversionError::Kind;

// A hashed member of five 1 MiB blocks (the last one partial), then a small solid one.
testfiles::ContainerSpec TwoMembers() {
    auto first =
        Ncz(".ncz", NczForm::Block, 20, {MakeSection(0x480000, 3, 1)}, 0x4000, Content::Compressible);
    first.hashName = true;
    testfiles::ContainerSpec package;
    package.members = {first, Ncz("s.ncz", NczForm::Solid, 0, {MakeSection(0x30000, 3, 2)})};
    return package;
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
        std::vector<std::size_t> brokenFrames; // blocks of the first member that are no zstd frame
        int failedRead;                        // the read of this block's data fails
        long long writableBytes;               // after the first member's NCA header; -1: no limit
        bool brokenHashAndSecondFrame;
        K kind;
        std::string message;
        std::uint32_t code;
        int blocksWritten; // exactly this many blocks of the first member reach the output; -1: not checked
    };
    const auto built = testfiles::BuildNsz(TwoMembers());
    const std::string zstd =
        std::string("Ошибка распаковки Zstandard: ") + ZSTD_getErrorName(static_cast<std::size_t>(-10));
    const std::string read = "Ошибка чтения входного файла. (Windows 23)";
    const std::string write = "Не удалось записать NSP. Проверьте свободное место на диске. (Windows 112)";
    const std::string mismatch = "Проверка SHA-256 не пройдена: " + built.members[0].nspName +
                                 ". Данные повреждены или изменены; NSP не сохранён.";
    const Case cases[] = {
        {"decoder, first buffer", {0}, -1, -1, false, K::Corrupt, zstd, 0, 0},
        {"decoder, middle buffer", {2}, -1, -1, false, K::Corrupt, zstd, 0, 2},
        {"decoder, last buffer", {4}, -1, -1, false, K::Corrupt, zstd, 0, 4},
        {"reader, first buffer", {}, 0, -1, false, K::ReadFailed, read, 23, 0},
        {"reader, middle buffer", {}, 2, -1, false, K::ReadFailed, read, 23, 2},
        {"reader, last buffer", {}, 4, -1, false, K::ReadFailed, read, 23, 4},
        {"writer, first buffer", {}, -1, 0, false, K::WriteFailed, write, 112, -1},
        {"writer, middle buffer", {}, -1, 0x200000, false, K::WriteFailed, write, 112, -1},
        {"writer, last buffer", {}, -1, 0x400001, false, K::WriteFailed, write, 112, -1},
        {"hasher: a mismatch before corrupt data", {}, -1, -1, true, K::VerificationFailed, mismatch, 0, 5},
        {"corrupt data before a failed read", {1}, 3, -1, false, K::Corrupt, zstd, 0, 1},
        {"corrupt data before a failed write", {1}, -1, 0x180000, false, K::Corrupt, zstd, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> nsz = built.nsz;
        for (const std::size_t block : c.brokenFrames)
            std::fill_n(nsz.begin() + static_cast<std::ptrdiff_t>(BlockStart(built.members[0], block)), 4, 0);
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
        test::ExpectConversionError([&] { ConvertToOutputFile(input, out, {}, nullptr); },
                                    {c.kind, c.message, c.code});
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

} // namespace
} // namespace vesko
