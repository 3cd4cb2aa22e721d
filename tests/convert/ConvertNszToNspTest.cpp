// The whole conversion on real files: the reservation, publishing and source deletion; under Windows
// and natively (where the journals go to a scratch state home).
#include "convert/ConvertNszToNsp.h"
#include "convert/SourceDeletion.h"
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

namespace vesko {
namespace {

using K = ConversionError::Kind;
namespace fs = std::filesystem;

std::wstring RecoveryDir() {
#ifndef _WIN32
    return FromUtf8(std::getenv("XDG_STATE_HOME")) + L"/VESKO/ZARUvivuriza/Recovery";
#else
    PWSTR path = nullptr;
    std::wstring result;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path)))
        result = std::wstring(path) + L"\\VESKO\\ZARUvivuriza\\Recovery";
    CoTaskMemFree(path);
    return result;
#endif
}

std::size_t Count(const std::wstring& dir, const std::wstring& prefix, const std::wstring& suffix) {
    std::size_t n = 0;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(fs::path(dir), ignored)) {
        const std::wstring name = entry.path().filename().wstring();
        if (name.rfind(prefix, 0) == 0 && name.size() >= suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            ++n;
    }
    return n;
}

// Journals that name a temporary file in `dir`. Tests run in parallel in one prefix, so other
// tests' live journals (open without sharing) are passed over.
std::size_t JournalsFor(const std::wstring& dir) {
    std::size_t n = 0;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(fs::path(RecoveryDir()), ignored)) {
        std::vector<std::uint8_t> bytes;
        try {
            bytes = testfiles::ReadWholeFile(entry.path().wstring());
        } catch (const std::exception&) {
            continue;
        }
        if (bytes.size() < 44)
            continue;
        std::wstring stored;
        for (std::size_t i = 44; i + 1 < bytes.size(); i += 2)
            stored += static_cast<wchar_t>(bytes[i] | bytes[i + 1] << 8);
        if (stored.find(dir) != std::wstring::npos)
            ++n;
    }
    return n;
}

testfiles::ContainerSpec TypicalSpec() {
    testfiles::MemberSpec program;
    program.name = ".ncz";
    program.hashName = true;
    program.ncz = true;
    program.form = testfiles::NczForm::Block;
    program.blockExponent = 14;
    program.sections = {testfiles::MakeSection(0x9001, 3, 1), testfiles::MakeSection(0x333, 1, 2)};
    testfiles::MemberSpec upper;
    upper.name = "A.NCZ";
    upper.ncz = true;
    upper.sections = {testfiles::MakeSection(0x4000, 4, 3)};
    testfiles::MemberSpec empty;
    empty.name = "empty.tik";
    testfiles::MemberSpec xml;
    xml.name = "meta.cnmt.xml";
    xml.size = 1234;
    testfiles::ContainerSpec package;
    package.members = {program, upper, empty, xml};
    return package;
}

class Conversion : public ::testing::Test {
  protected:
    void SetUp() override {
#ifndef _WIN32
        ::setenv("XDG_STATE_HOME", ToUtf8(state_.path()).c_str(), 1);
#endif
        built_ = testfiles::BuildNsz(TypicalSpec());
        source_ = dir_.file(L"Game.nsz");
        output_ = dir_.file(L"Game.nsp");
        testfiles::WriteWholeFile(source_, built_.nsz);
    }

    // Nothing of a reservation may be left: no temporary file and no new journal.
    void ExpectNoLeftovers() const {
        EXPECT_EQ(Count(dir_.path(), L".vesko-", L".tmp"), 0u);
        EXPECT_EQ(JournalsFor(dir_.path()), 0u);
    }

    test::TempDir dir_;
#ifndef _WIN32
    test::TempDir state_;
#endif
    testfiles::BuiltFiles built_;
    std::wstring source_;
    std::wstring output_;
};

TEST_F(Conversion, GivesTheExactNspAndReportsProgressInItsPattern) {
    std::vector<Progress> reports;
    const ProgressCallback progress = [&](Progress p) { reports.push_back(p); };
    const ConversionResult result = ConvertNszToNsp(source_, output_, progress, nullptr, false, false);
    EXPECT_EQ(result.outputPath, output_);
    EXPECT_FALSE(result.sourceDeleted);
    EXPECT_EQ(result.sourceDeleteError, 0u);
    EXPECT_TRUE(testfiles::ReadWholeFile(output_) == built_.nsp);
    EXPECT_TRUE(fs::exists(fs::path(source_)));
    ASSERT_GE(reports.size(), 3u);
    EXPECT_EQ(reports.front().bytesWritten, 0u);
    EXPECT_EQ(reports.front().phase, 0u);
    EXPECT_EQ(reports.back().bytesWritten, built_.nsp.size());
    EXPECT_EQ(reports.back().phase, 1u);
    for (std::size_t i = 0; i + 1 < reports.size(); ++i)
        EXPECT_EQ(reports[i].phase, 0u);
    ExpectNoLeftovers();
}

TEST_F(Conversion, PlainMembersOnlyAndAnEmptyProgress) {
    testfiles::ContainerSpec package;
    for (const char* name : {"a.tik", "b.cert", "c.xml"}) {
        testfiles::MemberSpec m;
        m.name = name;
        m.size = std::string(name) == "b.cert" ? 0 : 3000;
        package.members.push_back(m);
    }
    const auto built = testfiles::BuildNsz(package);
    testfiles::WriteWholeFile(source_, built.nsz);
    ConvertNszToNsp(source_, output_, {}, nullptr, false, false);
    EXPECT_TRUE(testfiles::ReadWholeFile(output_) == built.nsp);
}

TEST_F(Conversion, OutputEqualToInputIsRefusedBeforeOpening) {
    const std::wstring missing = dir_.file(L"Missing.nsz");
#ifdef _WIN32
    std::wstring upper = missing;
    for (wchar_t& c : upper)
        c = static_cast<wchar_t>(towupper(c));
    const std::vector<std::wstring> sameFile = {upper, L"\\\\?\\" + missing};
#else
    const std::vector<std::wstring> sameFile = {missing}; // letter case tells files apart here
#endif
    for (const std::wstring& out : sameFile) {
        try {
            ConvertNszToNsp(missing, out, {}, nullptr, true, false);
            ADD_FAILURE() << "accepted";
        } catch (const ConversionError& e) {
            EXPECT_EQ(e.kind, K::NameConflict); // not ReadFailed: the missing input was never opened
            EXPECT_STREQ(e.what(), "Выходной NSP уже существует. Выберите другое имя.");
        }
    }
}

TEST_F(Conversion, ExistingOutputIsNeverReplaced) {
    testfiles::WriteWholeFile(output_, {1, 2, 3});
    try {
        ConvertNszToNsp(source_, output_, {}, nullptr, false, false);
        FAIL() << "converted";
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.kind, K::NameConflict);
    }
    const ConversionResult result = ConvertNszToNsp(source_, output_, {}, nullptr, true, false);
    EXPECT_EQ(result.outputPath, dir_.file(L"Game (1).nsp"));
    EXPECT_EQ(testfiles::ReadWholeFile(output_), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_TRUE(testfiles::ReadWholeFile(result.outputPath) == built_.nsp);
    ExpectNoLeftovers();
}

TEST_F(Conversion, CancellationAtEveryStageLeavesNothing) {
    struct Case {
        const char* what;
        int cancelAtReport; // 0: before the call
        bool afterLastMember;
    };
    const Case cases[] = {
        {"before writing", 0, false}, {"inside a member", 4, false}, {"after the last member", -1, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CancelFlag flag{static_cast<std::uint8_t>(c.cancelAtReport == 0 ? 1 : 0)};
        int reports = 0;
        bool finishing = false;
        const ProgressCallback progress = [&](Progress p) {
            ++reports;
            finishing = finishing || p.phase == 1;
            if (reports == c.cancelAtReport || (c.afterLastMember && p.bytesWritten == p.bytesTotal))
                flag = 1;
        };
        EXPECT_THROW(ConvertNszToNsp(source_, output_, progress, &flag, true, true), Cancelled);
        EXPECT_FALSE(finishing);
        EXPECT_FALSE(fs::exists(fs::path(output_)));
        EXPECT_TRUE(fs::exists(fs::path(source_)));
        ExpectNoLeftovers();
    }
}

TEST_F(Conversion, FailedVerificationLeavesNothing) {
    auto damaged = built_.nsz;
    damaged[built_.members[0].nszOffset + 5] ^= 0x80; // inside the first member's NCA header
    testfiles::WriteWholeFile(source_, damaged);
    try {
        ConvertNszToNsp(source_, output_, {}, nullptr, true, true);
        FAIL() << "converted";
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.kind, K::VerificationFailed);
    }
    EXPECT_FALSE(fs::exists(fs::path(output_)));
    EXPECT_TRUE(fs::exists(fs::path(source_)));
    ExpectNoLeftovers();
}

TEST_F(Conversion, SourceDeletedWhenUnchanged) {
    const ConversionResult result = ConvertNszToNsp(source_, output_, {}, nullptr, true, true);
    EXPECT_TRUE(result.sourceDeleted);
    EXPECT_EQ(result.sourceDeleteError, 0u);
    EXPECT_FALSE(fs::exists(fs::path(source_)));
    EXPECT_TRUE(testfiles::ReadWholeFile(output_) == built_.nsp);
    // Which disposition ran depends on the file system: POSIX semantics, or the classic fallback.
    EXPECT_NE(LastDeletionPath(), DeletionPath::None);
    std::printf("source deleted through the %s disposition\n",
                LastDeletionPath() == DeletionPath::Classic ? "classic (fallback)" : "POSIX-semantics");
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
    const std::wstring output = dir_.file(L"Game.nsp");
    ASSERT_TRUE(CopyFileW((L"\\\\?\\" + source_).c_str(), (L"\\\\?\\" + source).c_str(), TRUE));
    const ConversionResult result = ConvertNszToNsp(source, output, {}, nullptr, true, true);
    EXPECT_EQ(result.outputPath, output);
    EXPECT_TRUE(result.sourceDeleted);
    EXPECT_TRUE(testfiles::ReadWholeFile(output) == built_.nsp);
    EXPECT_EQ(GetFileAttributesW((L"\\\\?\\" + source).c_str()), INVALID_FILE_ATTRIBUTES);
    while (folder.size() > dir_.path().size()) {
        RemoveDirectoryW((L"\\\\?\\" + folder).c_str());
        folder.erase(folder.find_last_of(L'\\'));
    }
}

class SourceDeletion : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = dir_.file(L"s.nsz");
        testfiles::WriteWholeFile(path_, {1, 2, 3, 4});
        InputFile input(ToLong());
        ASSERT_EQ(input.queryIdentity(identity_), 0u);
    }
    std::wstring ToLong() const { return L"\\\\?\\" + path_; }

    test::TempDir dir_;
    std::wstring path_;
    FileIdentity identity_;
};

TEST_F(SourceDeletion, KeptWithTheReasonCode) {
    CancelFlag cancelled{1};
    FileIdentity zeroIndex = identity_;
    zeroIndex.fileIndexHigh = 0;
    zeroIndex.fileIndexLow = 0;
    FileIdentity otherSize = identity_;
    otherSize.fileSizeLow += 1;
    EXPECT_EQ(DeleteSourceIfUnchanged(ToLong(), &identity_, 0, 29, nullptr), 29u);
    EXPECT_EQ(DeleteSourceIfUnchanged(ToLong(), &identity_, 0, 0, &cancelled), 1223u);
    EXPECT_EQ(DeleteSourceIfUnchanged(ToLong(), nullptr, 6, 0, nullptr), 6u);
    EXPECT_EQ(DeleteSourceIfUnchanged(ToLong(), &zeroIndex, 0, 0, nullptr), 50u);
    EXPECT_EQ(DeleteSourceIfUnchanged(ToLong(), &otherSize, 0, 0, nullptr), 1006u);
    EXPECT_TRUE(fs::exists(fs::path(path_)));
}

TEST_F(SourceDeletion, ReplacedFileIsKept) {
    fs::remove(fs::path(path_));
    testfiles::WriteWholeFile(dir_.file(L"other"), {1, 2, 3, 4});
    fs::rename(fs::path(dir_.file(L"other")), fs::path(path_));
    EXPECT_EQ(DeleteSourceIfUnchanged(ToLong(), &identity_, 0, 0, nullptr), 1006u);
    EXPECT_TRUE(fs::exists(fs::path(path_)));
}

TEST_F(SourceDeletion, OpenElsewhereIsKeptWithSharingViolation) {
    HANDLE other =
        CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(DeleteSourceIfUnchanged(ToLong(), &identity_, 0, 0, nullptr), 32u);
    CloseHandle(other);
    EXPECT_EQ(DeleteSourceIfUnchanged(ToLong(), &identity_, 0, 0, nullptr), 0u);
    EXPECT_FALSE(fs::exists(fs::path(path_)));
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

TEST_F(SourceDeletion, BriefLockIsWaitedFor) {
    struct Case {
        const char* what;
        int locks;
        bool cancel;
        std::uint32_t result;
        int opens;
    };
    const Case cases[] = {
        {"locked for four tries", 4, false, 0, 5},
        {"locked for five tries", 5, false, 32, 5},
        {"cancelled while waiting", 5, true, 1223, 1},
    };
    StorageSystemCalls calls = RealStorageSystemCalls();
    calls.createFile = &BrieflyLockedOpen;
    const ScopedStorageSystemOverride seam(calls);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        CancelFlag flag{0};
        lockedOpens = c.locks;
        opens = 0;
        cancelOnLockedOpen = c.cancel ? &flag : nullptr;
        EXPECT_EQ(DeleteSourceIfUnchanged(ToLong(), &identity_, 0, 0, &flag), c.result);
        EXPECT_EQ(opens, c.opens);
        EXPECT_EQ(fs::exists(fs::path(path_)), c.result != 0);
    }
    cancelOnLockedOpen = nullptr;
}
#endif

} // namespace
} // namespace vesko
