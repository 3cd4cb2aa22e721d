#include "app/OutputPath.h"
#include "engine/Paths.h"

#include <gtest/gtest.h>

namespace vesko {
namespace {

#ifdef _WIN32
const std::wstring kSlashFolderJoin = L"\\";
#else
const std::wstring kSlashFolderJoin = L"/";
#endif

TEST(OutputPathFor, ReplacesOnlyTheLastExtension) {
    struct Case {
        std::wstring source, folder, expected;
    };
    const Case cases[] = {
        {L"C:\\games\\demo.en.nsz", L"", L"C:\\games\\demo.en.nsp"},
        {L"C:\\games\\game", L"", L"C:\\games\\game.nsp"},
        {L"C:\\games\\game.NSZ", L"", L"C:\\games\\game.nsp"},
        {L"C:\\game.nsz", L"", L"C:\\game.nsp"},
        {L"C:\\games\\game.nsz", L"D:\\out", L"D:\\out\\game.nsp"},
        {L"C:\\games\\game.nsz", L"D:\\", L"D:\\game.nsp"},
        {L"\\\\server\\share\\x.nsz", L"", L"\\\\server\\share\\x.nsp"},
        {L"C:\\dir.v2\\game", L"", L"C:\\dir.v2\\game.nsp"},
        {L"C:\\games\\.nsz", L"", L"C:\\games\\.nsz.nsp"},
        {L"C:/games/a.nsz", L"", L"C:/games" + kSlashFolderJoin + L"a.nsp"}, // either separator is read
        {L"/home/u/a.nsz", L"out", L"out" + kSlashFolderJoin + L"a.nsp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.source + L" -> " + c.folder));
        EXPECT_EQ(OutputPathFor(c.source, c.folder), c.expected);
    }
}

TEST(ParentOf, KeepsRootsWhole) {
    EXPECT_EQ(ParentOf(L"C:\\a.nsz"), L"C:\\");
    EXPECT_EQ(ParentOf(L"C:\\d\\a.nsz"), L"C:\\d");
    EXPECT_EQ(ParentOf(L"a.nsz"), L"");
    EXPECT_EQ(FileNameOf(L"C:\\d/x\\a.nsz"), L"a.nsz");
}

} // namespace
} // namespace vesko
