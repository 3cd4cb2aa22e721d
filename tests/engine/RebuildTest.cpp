// Members from the test-file builder come back as the original NCAs, byte for byte.
#include "engine/ConvertToFile.h"
#include "tests/support/MemoryOutput.h"
#include "tests/support/TestPaths.h"
#include "tools/testfiles/NszBuilder.h"

#include <gtest/gtest.h>

namespace vesko {
namespace {

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
        SCOPED_TRACE(c.what);
        const testfiles::BuiltFiles built = testfiles::BuildNsz(c.package);
        test::TempDir dir;
        const std::wstring path = dir.file(L"in.nsz");
        testfiles::WriteWholeFile(path, built.nsz);
        test::MemoryOutput out;
        std::vector<Progress> reports;
        const ProgressCallback progress = [&](Progress p) { reports.push_back(p); };
        ASSERT_NO_THROW(ConvertToOutputFile(path, out, progress, nullptr));
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

TEST(Rebuild, ShortWritesAreContinued) {
    testfiles::ContainerSpec package;
    package.members = {Ncz("a.ncz", NczForm::Block, 14, {MakeSection(0x9001, 3, 1)})};
    const auto built = testfiles::BuildNsz(package);
    test::TempDir dir;
    testfiles::WriteWholeFile(dir.file(L"in.nsz"), built.nsz);
    test::MemoryOutput out;
    out.maxPerCall = 1000;
    ConvertToOutputFile(dir.file(L"in.nsz"), out, {}, nullptr);
    EXPECT_TRUE(out.bytes == built.nsp);
}

} // namespace
} // namespace vesko
