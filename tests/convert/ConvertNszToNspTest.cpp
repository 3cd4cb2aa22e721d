// The whole conversion on real files: the reservation, publishing and source deletion, on both systems.
#include "convert/ConvertNszToNsp.h"
#include "convert/SourceDeletion.h"
#include "tests/storage/StorageTestSupport.h"

#include <cwctype>
#include <functional>

namespace vesko {
namespace {

using K = ConversionError::Kind;
namespace fs = std::filesystem;
using namespace test;

testfiles::MemberSpec Member(std::string name, std::uint64_t size = 0,
                             std::vector<testfiles::SectionSpec> sections = {}) {
    testfiles::MemberSpec member;
    member.name = std::move(name), member.size = size, member.ncz = !sections.empty();
    member.sections = std::move(sections);
    return member;
}

class Conversion : public ::testing::Test {
  protected:
    void SetUp() override {
        using testfiles::MakeSection;
        testfiles::ContainerSpec package;
        package.members = {Member(".ncz", 0, {MakeSection(0x9001, 3, 1), MakeSection(0x333, 1, 2)}),
                           Member("A.NCZ", 0, {MakeSection(0x4000, 4, 3)}), Member("empty.tik"),
                           Member("meta.cnmt.xml", 1234)};
        package.members[0].hashName = true, package.members[0].blockExponent = 14;
        package.members[0].form = testfiles::NczForm::Block;
        built_ = testfiles::BuildNsz(package);
        WriteWholeFile(source_, built_.nsz);
    }
    std::size_t leftovers() const { return sandbox_.temporaryFiles().size() + sandbox_.journals().size(); }

    StorageSandbox sandbox_;
    testfiles::BuiltFiles built_;
    const std::wstring source_ = sandbox_.file(L"Game.nsz"), output_ = sandbox_.file(L"Game.nsp");
};

TEST_F(Conversion, GivesTheExactNspWithoutReplacingNamesAndDeletesTheSourceOnRequest) {
    std::vector<Progress> reports;
    const ConversionResult first = ConvertNszToNsp(
        source_, output_, [&](Progress p) { reports.push_back(p); }, nullptr, false, false);
    EXPECT_EQ(first.outputPath, output_);
    EXPECT_EQ(std::pair(first.sourceDeleted, first.sourceDeleteError), std::pair(false, 0u));
    EXPECT_TRUE(ReadWholeFile(output_) == built_.nsp);
    EXPECT_EQ(leftovers(), 0u);
    ASSERT_GE(reports.size(), 3u);
    EXPECT_EQ(reports.front().bytesWritten, 0u);
    EXPECT_EQ(reports.back().bytesWritten, built_.nsp.size());
    EXPECT_EQ(reports.back().phase, 1u);
    for (std::size_t i = 0; i + 1 < reports.size(); ++i)
        EXPECT_EQ(reports[i].phase, 0u);
    WriteWholeFile(output_, {1, 2, 3}); // someone else's file now
    const std::wstring missing = sandbox_.file(L"Missing.nsz");
    std::vector<std::wstring> sameFile = {missing}; // letter case tells files apart here, not on Windows
#ifdef _WIN32
    sameFile = {L"\\\\?\\" + missing, missing};
    for (wchar_t& c : sameFile[1])
        c = static_cast<wchar_t>(towupper(c));
#endif
    const ExpectedError conflict{K::NameConflict, "Выходной NSP уже существует. Выберите другое имя."};
    // NameConflict, not ReadFailed: the missing input was never opened.
    for (const std::wstring& out : sameFile)
        ExpectConversionError([&] { ConvertNszToNsp(missing, out, {}, nullptr, true, false); }, conflict);
    ExpectConversionError([&] { ConvertNszToNsp(source_, output_, {}, nullptr, false, true); }, conflict);
    EXPECT_TRUE(fs::exists(fs::path(source_)));
    const ConversionResult result = ConvertNszToNsp(source_, output_, {}, nullptr, true, true);
    EXPECT_EQ(result.outputPath, sandbox_.file(L"Game (1).nsp"));
    EXPECT_EQ(ReadWholeFile(output_), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_TRUE(ReadWholeFile(result.outputPath) == built_.nsp);
    EXPECT_EQ(leftovers(), 0u);
    EXPECT_EQ(std::pair(result.sourceDeleted, result.sourceDeleteError), std::pair(true, 0u));
    EXPECT_FALSE(fs::exists(fs::path(source_)));
    // Which disposition ran depends on the file system: POSIX semantics, or the classic fallback.
    EXPECT_NE(LastDeletionPath(), DeletionPath::None);
}

TEST_F(Conversion, CancellationAtEveryStageLeavesNothing) {
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
        EXPECT_FALSE(fs::exists(fs::path(output_)));
        EXPECT_TRUE(ReadWholeFile(source_) == built_.nsz);
        EXPECT_EQ(leftovers(), 0u);
    }
}

#ifdef _WIN32
TEST_F(Conversion, SourcePathLongerThanMaxPath) {
    // Read and deleted through its long form. (Wine's final path of a destination past MAX_PATH fails.)
    std::wstring folder = sandbox_.destination();
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
    for (; folder.size() > sandbox_.destination().size(); folder.erase(folder.find_last_of(L'\\')))
        RemoveDirectoryW((L"\\\\?\\" + folder).c_str());
}
#endif

// The seam's open: a sharing violation for the first `lockedOpens` calls, optionally cancelling.
int lockedOpens = 0, opens = 0;
CancelFlag* cancelOnLockedOpen = nullptr;
#ifdef _WIN32
HANDLE WINAPI BrieflyLockedOpen(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE model) {
    if (++opens > lockedOpens)
        return CreateFileW(path, access, share, security, disposition, flags, model);
    if (cancelOnLockedOpen != nullptr)
        cancelOnLockedOpen->store(1);
    return SetLastError(ERROR_SHARING_VIOLATION), INVALID_HANDLE_VALUE;
}
#endif

TEST_F(Conversion, SourceIsDeletedOnlyWhenUnchanged) {
    const std::wstring path = sandbox_.file(L"s.nsz"), other = sandbox_.file(L"other");
    const fs::path p(path);
#ifdef _WIN32
    const std::wstring longPath = L"\\\\?\\" + path;
    UniqueHandle open;
    sandbox_.calls.createFile = &BrieflyLockedOpen;
    sandbox_.apply();
#else
    const std::wstring& longPath = path;
#endif
    const auto same = [](FileIdentity& id) { return &id; };
    const auto after = [](std::function<void()> change) {
        return [change](FileIdentity& id) { return change(), &id; };
    };
    // clang-format off
    // arrange: the identity compared
    const struct { const char* what; std::function<FileIdentity*(FileIdentity&)> arrange;
                   std::uint32_t openError, previousError, result;
                   int locks = 0, opens = -1; // -1: not counted
                   bool cancel = false; } cases[] = {
        {"unchanged", same, 0, 0, 0},
        {"kept after an earlier failure", same, 0, 29, 29},
        {"cancelled", same, 0, 0, 1223, 0, -1, true},
        {"no identity", [](FileIdentity&) -> FileIdentity* { return nullptr; }, 6, 0, 6},
        {"no file index", [](FileIdentity& id) { return id.fileIndexHigh = id.fileIndexLow = 0, &id; }, 0, 0,
         50},
        {"touched", after([&] { fs::last_write_time(p, fs::last_write_time(p) + std::chrono::hours(1)); }),
         0, 0, kErrorFileInvalid},
        {"replaced", after([&] { fs::remove(p), WriteWholeFile(other, {1, 2, 3, 4}), fs::rename(other, p); }),
         0, 0, kErrorFileInvalid},
        {"removed", after([&] { fs::remove(p); }), 0, 0, 2},
#ifdef _WIN32
        {"open elsewhere", after([&] {
             const DWORD share = FILE_SHARE_READ;
             open.reset(CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
         }), 0, 0, 32},
        {"locked for four tries", same, 0, 0, 0, 4, 5},
        {"locked for five tries", same, 0, 0, 32, 5, 5},
        {"cancelled while waiting", same, 0, 0, 1223, 5, 1, true},
#endif
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteWholeFile(path, {1, 2, 3, 4});
        FileIdentity identity;
        ASSERT_EQ(InputFile(longPath).queryIdentity(identity), 0u);
        FileIdentity* compared = c.arrange(identity);
        CancelFlag flag{static_cast<std::uint8_t>(c.cancel && c.locks == 0)};
        lockedOpens = c.locks, opens = 0, cancelOnLockedOpen = c.cancel ? &flag : nullptr;
        EXPECT_EQ(DeleteSourceIfUnchanged(longPath, compared, c.openError, c.previousError, &flag), c.result);
        EXPECT_TRUE(c.opens < 0 || opens == c.opens) << opens;
        EXPECT_EQ(fs::exists(p), c.result != 0 && c.result != 2);
#ifdef _WIN32
        open.reset();
#endif
    }
    cancelOnLockedOpen = nullptr;
}

} // namespace
} // namespace vesko
