// The output writer: the planned total is a hard limit, failures keep their codes, hashes are checked.
#include "engine/ConvertToFile.h"
#include "engine/OutputWriter.h"
#include "tests/support/ExpectError.h"
#include "tests/support/MemoryOutput.h"
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
    OutputWriter largeWriter(pieces, {}, nullptr, large.size());
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

// The NCZ member is hash-named; `name` overrides its name.
testfiles::BuiltFiles Hashed(const char* name = nullptr) {
    testfiles::ContainerSpec package;
    testfiles::MemberSpec ncz;
    ncz.name = name ? name : ".ncz";
    ncz.ncz = true;
    ncz.hashName = name == nullptr;
    ncz.sections = {testfiles::MakeSection(0x2000, 3, 4)};
    testfiles::MemberSpec plain;
    plain.name = "other.tik";
    plain.size = 100;
    package.members = {plain, ncz};
    return testfiles::BuildNsz(package);
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

} // namespace
} // namespace vesko
