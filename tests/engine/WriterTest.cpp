// The output writer: the planned total is a hard limit, failures keep their codes, hashes are checked.
#include "engine/ConvertToFile.h"
#include "engine/OutputWriter.h"
#include "tests/support/MemoryOutput.h"
#include "tests/support/TestPaths.h"
#include "tools/testfiles/NszBuilder.h"

#include <gtest/gtest.h>

namespace vesko {
namespace {

using K = ConversionError::Kind;

TEST(OutputWriter, WritesUpToTheTotalAndNotAByteMore) {
    test::MemoryOutput out;
    std::vector<Progress> reports;
    const ProgressCallback progress = [&](Progress p) { reports.push_back(p); };
    OutputWriter writer(out, progress, nullptr, 10);
    const std::uint8_t data[11] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    writer.write(data, 4);
    try {
        writer.write(data, 7);
        FAIL() << "passed the total";
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.kind, K::Corrupt);
        EXPECT_STREQ(e.what(), "Ошибка размера выходного NSP.");
    }
    EXPECT_EQ(out.bytes.size(), 4u);
    writer.write(data, 6);
    EXPECT_EQ(out.bytes.size(), 10u);
    EXPECT_EQ(writer.written(), 10u);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].bytesWritten, 10u);
    EXPECT_EQ(reports[1].bytesTotal, 10u);
}

TEST(OutputWriter, LargeWritesGoInPiecesOfOneMiB) {
    test::MemoryOutput out;
    const ProgressCallback none;
    const std::uint64_t size = 0x100000 * 2 + 5;
    OutputWriter writer(out, none, nullptr, size);
    std::vector<std::uint8_t> data(size, 7);
    writer.write(data.data(), data.size());
    EXPECT_EQ(out.calls, 3);
    EXPECT_EQ(out.bytes.size(), size);
}

TEST(OutputWriter, SystemFailures) {
    struct Case {
        std::uint32_t code;
        bool zero;
        K kind;
        std::string message;
    };
    const std::string full = "Не удалось записать NSP. Проверьте свободное место на диске. (Windows ";
    const Case cases[] = {
        {112, false, K::WriteFailed, full + "112)"},
        {5, false, K::AccessDenied, full + "5)"},
        {19, false, K::AccessDenied, full + "19)"},
        {0, true, K::WriteFailed, "Windows не смогла записать данные NSP."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        test::MemoryOutput out;
        out.failAfterBytes = c.zero ? -1 : 0;
        out.failCode = c.code;
        out.zeroWrites = c.zero;
        const ProgressCallback none;
        OutputWriter writer(out, none, nullptr, 100);
        try {
            writer.write("abc", 3);
            ADD_FAILURE() << "wrote";
        } catch (const ConversionError& e) {
            EXPECT_EQ(e.kind, c.kind);
            EXPECT_EQ(e.windowsError, c.code);
            EXPECT_EQ(std::string(e.what()), c.message);
        }
        EXPECT_EQ(writer.written(), 0u);
    }
}

TEST(OutputWriter, AbortedWriteWhileCancellingIsCancellation) {
    test::MemoryOutput out;
    out.failAfterBytes = 0;
    out.failCode = 995;
    CancelFlag flag{0};
    CurrentCancelFlagScope scope(&flag);
    const ProgressCallback none;
    OutputWriter writer(out, none, nullptr, 100);
    EXPECT_THROW(writer.write("abc", 3), ConversionError);
    flag = 1;
    EXPECT_THROW(writer.write("abc", 3), Cancelled);
}

TEST(MemberHash, MismatchNamesTheOutputMember) {
    testfiles::ContainerSpec package;
    testfiles::MemberSpec ncz;
    ncz.name = ".ncz";
    ncz.ncz = true;
    ncz.hashName = true;
    ncz.sections = {testfiles::MakeSection(0x2000, 3, 4)};
    testfiles::MemberSpec plain;
    plain.name = "other.tik";
    plain.size = 100;
    package.members = {plain, ncz};
    auto built = testfiles::BuildNsz(package);
    // One byte of the NCA header (copied verbatim) changed: the rebuilt member no longer matches its name.
    built.nsz[built.members[1].nszOffset + 100] ^= 1;
    test::TempDir dir;
    testfiles::WriteWholeFile(dir.file(L"in.nsz"), built.nsz);
    test::MemoryOutput out;
    try {
        ConvertToOutputFile(dir.file(L"in.nsz"), out, {}, nullptr);
        FAIL() << "verified";
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.kind, K::VerificationFailed);
        EXPECT_EQ(std::string(e.what()), "Проверка SHA-256 не пройдена: " + built.members[1].nspName +
                                             ". Данные повреждены или изменены; NSP не сохранён.");
        EXPECT_EQ(built.members[1].nspName.substr(32), ".nca");
    }
}

TEST(MemberHash, NamesWithoutAHashAreNotVerified) {
    testfiles::ContainerSpec package;
    testfiles::MemberSpec ncz;
    ncz.name = "0123456789abcdef0123456789abcdeX.ncz"; // 36 bytes, but not all digits
    ncz.ncz = true;
    ncz.sections = {testfiles::MakeSection(0x2000, 3, 4)};
    package.members = {ncz};
    const auto built = testfiles::BuildNsz(package);
    test::TempDir dir;
    testfiles::WriteWholeFile(dir.file(L"in.nsz"), built.nsz);
    test::MemoryOutput out;
    EXPECT_NO_THROW(ConvertToOutputFile(dir.file(L"in.nsz"), out, {}, nullptr));
    EXPECT_TRUE(out.bytes == built.nsp);
}

} // namespace
} // namespace vesko
