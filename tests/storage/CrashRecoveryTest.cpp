// Reservations of another process that ends as a crash would end it, and the next start's scan.
#include "engine/Paths.h"
#include "storage/Recovery.h"
#include "tests/storage/StorageTestSupport.h"

#include <filesystem>

namespace vesko {
namespace {

using test::Bytes;

// A killed reservation, with nothing or part of the output written, leaves its journal, and the next start
// deletes both files; unless the temporary file was replaced by someone else's meanwhile.
TEST(CrashRecovery, KilledReservationIsCleanedUpAtTheNextStart) {
    const std::pair<unsigned, bool> cases[] = {{0, false}, {100000, false}, {0, true}};
    for (const auto& [bytes, replaced] : cases) {
        SCOPED_TRACE(std::to_string(bytes) + (replaced ? " replaced" : ""));
        test::StorageSandbox sandbox;
        test::ReservingProcess reservation(sandbox, sandbox.destinationFile(L"Game.nsp"), bytes);
        ASSERT_TRUE(reservation.ready());
        reservation.kill();
        ASSERT_EQ(sandbox.journals().size(), 1u);
        ASSERT_EQ(sandbox.temporaryFiles().size(), 1u);
        const std::wstring record = sandbox.journals()[0].substr(0, 32);
        EXPECT_EQ(sandbox.temporaryFiles()[0], L".vesko-" + record + L".tmp");
        const std::wstring temporary = sandbox.destinationFile(sandbox.temporaryFiles()[0]);
        const std::wstring journal = sandbox.journalPath(record);
        EXPECT_EQ(std::filesystem::file_size(std::filesystem::path(temporary)), bytes);
#ifdef _WIN32
        EXPECT_NE(GetFileAttributesW(journal.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
#endif
        // The journal on disk is intact and names the temporary file as recorded, with its identity.
        const Bytes bytesOnDisk = test::ReadWholeFile(journal);
        const std::optional<JournalRecord> parsed =
            ParseJournalRecord(bytesOnDisk.data(), bytesOnDisk.size());
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(parsed->temporaryPath, sandbox.recordedFile(L".vesko-" + record + L".tmp"));
        JournalIdentity now = test::IdentityOf(temporary);
        // Wine reports a file's last write time as its creation time, so writing moved it there.
        if (bytes != 0)
            now.creationTimeLow = parsed->identity.creationTimeLow,
            now.creationTimeHigh = parsed->identity.creationTimeHigh;
        EXPECT_EQ(parsed->identity, now);
        test::RestoreBirthTime(temporary, parsed->identity);
        // Someone else's file under the same name (the original moved away, so its index is not reused).
        if (replaced) {
            std::filesystem::rename(std::filesystem::path(temporary),
                                    std::filesystem::path(sandbox.destinationFile(L"original")));
            test::WriteWholeFile(temporary, {'m', 'i', 'n', 'e'});
        }
        test::RecoverInAnotherProcess(sandbox);
        if (replaced) {
            EXPECT_EQ(test::ReadWholeFile(temporary), (Bytes{'m', 'i', 'n', 'e'}));
            EXPECT_EQ(test::ReadWholeFile(journal), bytesOnDisk);
        } else {
            EXPECT_TRUE(test::ListNames(sandbox.destination()).empty());
            EXPECT_TRUE(sandbox.journals().empty());
        }
    }
}

// A live reservation is passed over by a scan in any process; once it is gone, the next start clears it.
// What is not the program's stays: a temporary-looking file without a journal, and a damaged journal.
TEST(CrashRecovery, LiveReservationOfAnotherProcessIsSkipped) {
    test::StorageSandbox sandbox;
    test::ReservingProcess live(sandbox, sandbox.destinationFile(L"live.nsp"), 0);
    ASSERT_TRUE(live.ready());
    const std::wstring stranger = L".vesko-" + std::wstring(32, L'a') + L".tmp", damaged(32, L'b');
    test::WriteWholeFile(sandbox.destinationFile(stranger), {'k'});
    test::WriteWholeFile(sandbox.journalPath(damaged), {'k'});
    const std::vector<std::wstring> temporary = sandbox.temporaryFiles(), journals = sandbox.journals();
    ASSERT_EQ(temporary.size(), 2u);
    test::RecoverInAnotherProcess(sandbox);
    RecoverInterruptedOutputs();
    EXPECT_EQ(sandbox.temporaryFiles(), temporary);
    EXPECT_EQ(sandbox.journals(), journals);
    live.kill();
    test::RecoverInAnotherProcess(sandbox);
    EXPECT_EQ(sandbox.temporaryFiles(), std::vector<std::wstring>{stranger});
    EXPECT_EQ(sandbox.journals(), std::vector<std::wstring>{damaged + L".journal"});
    EXPECT_FALSE(test::Exists(sandbox.destinationFile(L"live.nsp")));
}

} // namespace
} // namespace vesko
