// The whole conversion on real files: the reservation, publishing and source deletion; under Windows
// and natively (where the journals go to a scratch state home).
#include "convert/ConvertNszToNsp.h"
#include "convert/SourceDeletion.h"
#include "tests/support/ExpectError.h"
#include "tests/support/TestPaths.h"
#include "tools/testfiles/NszBuilder.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include "storage/StorageSystem.h"

#include <shlobj.h>
#include <windows.h>
#else
#include "engine/Paths.h"

#include <cstdlib>
#endif

#include <cwctype>
#include <filesystem>
#include <utility>

namespace vesko {
namespace {

using K = ConversionError::Kind;
namespace fs = std::filesystem;
using testfiles::ReadWholeFile;
using testfiles::WriteWholeFile;

// Temporary files in `dir`, and journals that name a file in it. Tests run in parallel in one prefix,
// so other tests' live journals (open without sharing) are passed over.
std::size_t Leftovers(const std::wstring& dir) {
#ifndef _WIN32
    const std::wstring recovery = FromUtf8(std::getenv("XDG_STATE_HOME")) + L"/VESKO/ZARUvivuriza/Recovery";
#else
    PWSTR local = nullptr;
    std::wstring recovery;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local)))
        recovery = std::wstring(local) + L"\\VESKO\\ZARUvivuriza\\Recovery";
    CoTaskMemFree(local);
#endif
    std::size_t n = 0;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(fs::path(dir), ignored))
        n += entry.path().filename().wstring().rfind(L".vesko-", 0) == 0;
    for (const auto& entry : fs::directory_iterator(fs::path(recovery), ignored)) {
        std::vector<std::uint8_t> bytes;
        try {
            bytes = ReadWholeFile(entry.path().wstring());
        } catch (const std::exception&) {
            continue;
        }
        std::wstring stored;
        for (std::size_t i = 44; i + 1 < bytes.size(); i += 2)
            stored += static_cast<wchar_t>(bytes[i] | bytes[i + 1] << 8);
        n += stored.find(dir) != std::wstring::npos;
    }
    return n;
}

testfiles::MemberSpec Member(const std::string& name, std::uint64_t size = 0) {
    testfiles::MemberSpec member;
    member.name = name;
    member.size = size;
    return member;
}
testfiles::ContainerSpec Package(std::vector<testfiles::MemberSpec> members) {
    testfiles::ContainerSpec package;
    package.members = std::move(members);
    return package;
}

class Conversion : public ::testing::Test {
  protected:
    void SetUp() override {
#ifndef _WIN32
        ::setenv("XDG_STATE_HOME", ToUtf8(state_.path()).c_str(), 1);
#endif
        using testfiles::MakeSection;
        testfiles::MemberSpec program = Member(".ncz"), upper = Member("A.NCZ");
        program.ncz = program.hashName = upper.ncz = true;
        program.form = testfiles::NczForm::Block;
        program.blockExponent = 14;
        program.sections = {MakeSection(0x9001, 3, 1), MakeSection(0x333, 1, 2)};
        upper.sections = {MakeSection(0x4000, 4, 3)};
        built_ = testfiles::BuildNsz(
            Package({program, upper, Member("empty.tik"), Member("meta.cnmt.xml", 1234)}));
        WriteWholeFile(source_, built_.nsz);
    }
    // After a refusal: no output, the source in place, nothing of a reservation left.
    void expectUntouched() const {
        EXPECT_FALSE(fs::exists(fs::path(output_)));
        EXPECT_TRUE(ReadWholeFile(source_) == built_.nsz);
        EXPECT_EQ(Leftovers(dir_.path()), 0u);
    }

    test::TempDir dir_;
#ifndef _WIN32
    test::TempDir state_;
#endif
    testfiles::BuiltFiles built_;
    const std::wstring source_ = dir_.file(L"Game.nsz"), output_ = dir_.file(L"Game.nsp");
};

TEST_F(Conversion, GivesTheExactNspAndReportsProgressInItsPattern) {
    std::vector<Progress> reports;
    const ConversionResult result = ConvertNszToNsp(
        source_, output_, [&](Progress p) { reports.push_back(p); }, nullptr, false, false);
    EXPECT_EQ(result.outputPath, output_);
    EXPECT_FALSE(result.sourceDeleted);
    EXPECT_EQ(result.sourceDeleteError, 0u);
    EXPECT_TRUE(ReadWholeFile(output_) == built_.nsp);
    EXPECT_TRUE(fs::exists(fs::path(source_)));
    EXPECT_EQ(Leftovers(dir_.path()), 0u);
    ASSERT_GE(reports.size(), 3u);
    EXPECT_EQ(reports.front().bytesWritten, 0u);
    EXPECT_EQ(reports.back().bytesWritten, built_.nsp.size());
    EXPECT_EQ(reports.back().phase, 1u);
    for (std::size_t i = 0; i + 1 < reports.size(); ++i)
        EXPECT_EQ(reports[i].phase, 0u);

    // Plain members only, and an empty progress.
    const auto plain =
        testfiles::BuildNsz(Package({Member("a.tik", 3000), Member("b.cert"), Member("c.xml", 3000)}));
    WriteWholeFile(source_, plain.nsz);
    ConvertNszToNsp(source_, dir_.file(L"Plain.nsp"), {}, nullptr, false, false);
    EXPECT_TRUE(ReadWholeFile(dir_.file(L"Plain.nsp")) == plain.nsp);
}

TEST_F(Conversion, NamesAreNeverReplacedAndTheSourceGoesOnlyOnRequest) {
    const std::wstring missing = dir_.file(L"Missing.nsz");
    std::vector<std::wstring> sameFile = {missing}; // letter case tells files apart here, not on Windows
#ifdef _WIN32
    sameFile = {L"\\\\?\\" + missing, missing};
    for (wchar_t& c : sameFile[1])
        c = static_cast<wchar_t>(towupper(c));
#endif
    const test::ExpectedError conflict{K::NameConflict, "Выходной NSP уже существует. Выберите другое имя."};
    // NameConflict, not ReadFailed: the missing input was never opened.
    for (const std::wstring& out : sameFile)
        test::ExpectConversionError([&] { ConvertNszToNsp(missing, out, {}, nullptr, true, false); },
                                    conflict);
    WriteWholeFile(output_, {1, 2, 3});
    test::ExpectConversionError([&] { ConvertNszToNsp(source_, output_, {}, nullptr, false, true); },
                                conflict);
    EXPECT_TRUE(fs::exists(fs::path(source_)));
    const ConversionResult result = ConvertNszToNsp(source_, output_, {}, nullptr, true, true);
    EXPECT_EQ(result.outputPath, dir_.file(L"Game (1).nsp"));
    EXPECT_EQ(ReadWholeFile(output_), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_TRUE(ReadWholeFile(result.outputPath) == built_.nsp);
    EXPECT_EQ(Leftovers(dir_.path()), 0u);
    EXPECT_TRUE(result.sourceDeleted);
    EXPECT_EQ(result.sourceDeleteError, 0u);
    EXPECT_FALSE(fs::exists(fs::path(source_)));
    // Which disposition ran depends on the file system: POSIX semantics, or the classic fallback.
    EXPECT_NE(LastDeletionPath(), DeletionPath::None);
}

TEST_F(Conversion, CancellationAtEveryStageAndFailedVerificationLeaveNothing) {
    // Report that cancels: 0 before the call, -1 the one after the last member.
    for (const int cancelAt : {0, 4, -1}) {
        SCOPED_TRACE(cancelAt);
        CancelFlag flag{static_cast<std::uint8_t>(cancelAt == 0)};
        int reports = 0;
        bool finishing = false;
        const ProgressCallback progress = [&](Progress p) {
            finishing = finishing || p.phase == 1;
            if (++reports == cancelAt || (cancelAt < 0 && p.bytesWritten == p.bytesTotal))
                flag = 1;
        };
        EXPECT_THROW(ConvertNszToNsp(source_, output_, progress, &flag, true, true), Cancelled);
        EXPECT_FALSE(finishing);
        expectUntouched();
    }
    built_.nsz[built_.members[0].nszOffset + 5] ^= 0x80; // inside the first member's NCA header
    WriteWholeFile(source_, built_.nsz);
    test::ExpectConversionError(
        [&] { ConvertNszToNsp(source_, output_, {}, nullptr, true, true); },
        {K::VerificationFailed, "Проверка SHA-256 не пройдена: " + built_.members[0].nspName +
                                    ". Данные повреждены или изменены; NSP не сохранён."});
    expectUntouched();
}

#ifdef _WIN32
TEST_F(Conversion, SourcePathLongerThanMaxPath) {
    // Nested folders take the source's path past 300 characters: it is read and deleted through its
    // long form. (The destination stays short: wine 8's GetFinalPathNameByHandleW fails with 234 past
    // MAX_PATH, which Windows does not.)
    std::wstring folder = dir_.path();
    while (folder.size() < 300) {
        folder += L"\\" + std::wstring(60, L'd');
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr));
    }
    const std::wstring source = folder + L"\\Game.nsz";
    ASSERT_TRUE(CopyFileW((L"\\\\?\\" + source_).c_str(), (L"\\\\?\\" + source).c_str(), TRUE));
    const ConversionResult result = ConvertNszToNsp(source, output_, {}, nullptr, true, true);
    EXPECT_EQ(result.outputPath, output_);
    EXPECT_TRUE(result.sourceDeleted);
    EXPECT_TRUE(ReadWholeFile(output_) == built_.nsp);
    EXPECT_EQ(GetFileAttributesW((L"\\\\?\\" + source).c_str()), INVALID_FILE_ATTRIBUTES);
    for (; folder.size() > dir_.path().size(); folder.erase(folder.find_last_of(L'\\')))
        RemoveDirectoryW((L"\\\\?\\" + folder).c_str());
}

// The seam's open: a sharing violation for the first `lockedOpens` calls, optionally cancelling.
int lockedOpens = 0;
int opens = 0;
CancelFlag* cancelOnLockedOpen = nullptr;
HANDLE WINAPI BrieflyLockedOpen(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE model) {
    if (++opens > lockedOpens)
        return CreateFileW(path, access, share, security, disposition, flags, model);
    if (cancelOnLockedOpen != nullptr)
        cancelOnLockedOpen->store(1);
    SetLastError(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
}

TEST_F(Conversion, SourceIsKeptWithTheReasonCode) {
    const std::wstring path = dir_.file(L"s.nsz"), longPath = L"\\\\?\\" + path;
    HANDLE other = INVALID_HANDLE_VALUE;
    StorageSystemCalls calls = RealStorageSystemCalls();
    calls.createFile = &BrieflyLockedOpen;
    const ScopedStorageSystemOverride seam(calls);
    struct Case {
        const char* what;
        std::function<FileIdentity*(FileIdentity&)> arrange; // the identity compared with
        std::uint32_t openError, previousError, result;
        int locks = 0, opens = -1; // of the seam's open; -1: not counted
        bool cancel = false;
    };
    const auto same = [](FileIdentity& id) { return &id; };
    const Case cases[] = {
        {"kept after an earlier failure", same, 0, 29, 29},
        {"cancelled", same, 0, 0, 1223, 0, -1, true},
        {"no identity", [](FileIdentity&) -> FileIdentity* { return nullptr; }, 6, 0, 6},
        {"no file index", [](FileIdentity& id) { return id.fileIndexHigh = id.fileIndexLow = 0, &id; }, 0, 0,
         50},
        {"other size", [](FileIdentity& id) { return ++id.fileSizeLow, &id; }, 0, 0, 1006},
        {"replaced",
         [&](FileIdentity& id) {
             fs::remove(fs::path(path));
             WriteWholeFile(dir_.file(L"other"), {1, 2, 3, 4});
             fs::rename(fs::path(dir_.file(L"other")), fs::path(path));
             return &id;
         },
         0, 0, 1006},
        {"open elsewhere",
         [&](FileIdentity& id) {
             other =
                 CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
             return &id;
         },
         0, 0, 32},
        {"locked for four tries", same, 0, 0, 0, 4, 5},
        {"locked for five tries", same, 0, 0, 32, 5, 5},
        {"cancelled while waiting", same, 0, 0, 1223, 5, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteWholeFile(path, {1, 2, 3, 4});
        FileIdentity identity;
        ASSERT_EQ(InputFile(longPath).queryIdentity(identity), 0u);
        FileIdentity* compared = c.arrange(identity);
        CancelFlag flag{static_cast<std::uint8_t>(c.cancel && c.locks == 0)};
        lockedOpens = c.locks;
        opens = 0;
        cancelOnLockedOpen = c.cancel ? &flag : nullptr;
        EXPECT_EQ(DeleteSourceIfUnchanged(longPath, compared, c.openError, c.previousError, &flag), c.result);
        EXPECT_TRUE(c.opens < 0 || opens == c.opens) << opens;
        EXPECT_EQ(fs::exists(fs::path(path)), c.result != 0);
        if (other != INVALID_HANDLE_VALUE)
            CloseHandle(std::exchange(other, INVALID_HANDLE_VALUE));
    }
    cancelOnLockedOpen = nullptr;
}
#endif

} // namespace
} // namespace vesko
