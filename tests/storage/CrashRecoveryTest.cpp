#include "storage/Journal.h"
#include "storage/Recovery.h"
#include "storage/UniqueHandle.h"
#include "engine/Paths.h"
#include "tests/storage/StorageTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace vesko {
namespace {

using test::Exists;

std::wstring HelperPath() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    return path.substr(0, path.rfind(L'\\') + 1) + L"storage_crash_helper.exe";
}

// A helper process; killed (not asked) on destruction if still running.
class HelperProcess {
  public:
    // Starts the helper with `arguments` and its standard output on a pipe.
    explicit HelperProcess(const std::wstring& arguments) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE readEnd = nullptr;
        HANDLE writeEnd = nullptr;
        if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
            return;
        output_.reset(readEnd);
        const UniqueHandle childEnd(writeEnd);
        SetHandleInformation(output_.get(), HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = childEnd.get();
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        std::wstring commandLine = L"\"" + HelperPath() + L"\" " + arguments;
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                            &startup, &info))
            return;
        process_.reset(info.hProcess);
        const UniqueHandle thread(info.hThread);
    }
    ~HelperProcess() {
        if (process_.valid() && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.get(), 9);
            WaitForSingleObject(process_.get(), INFINITE);
        }
    }

    bool started() const { return process_.valid(); }

    // Everything the helper printed until it closed its output or printed a newline.
    std::string readLine() {
        std::string line;
        char c = 0;
        DWORD got = 0;
        while (ReadFile(output_.get(), &c, 1, &got, nullptr) && got == 1 && c != '\n') {
            if (c != '\r')
                line += c;
        }
        return line;
    }

    void kill() {
        TerminateProcess(process_.get(), 9);
        WaitForSingleObject(process_.get(), INFINITE);
    }

    DWORD wait() {
        WaitForSingleObject(process_.get(), INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process_.get(), &code);
        return code;
    }

  private:
    UniqueHandle process_;
    UniqueHandle output_;
};

std::wstring Quoted(const std::wstring& text) {
    return L"\"" + text + L"\"";
}

void RecoverInNewProcess(const test::StorageSandbox& sandbox) {
    HelperProcess recover(L"recover " + Quoted(sandbox.localAppData()));
    ASSERT_TRUE(recover.started());
    EXPECT_EQ(recover.wait(), 0u);
}

class CrashRecovery : public ::testing::Test {
  protected:
    // Starts a helper that reserves Game.nsp, writes `bytes` of it and waits; returns when it is ready.
    std::unique_ptr<HelperProcess> startReservation(unsigned bytes = 0) {
        auto helper = std::make_unique<HelperProcess>(L"reserve " + Quoted(sandbox.localAppData()) + L" " +
                                                      Quoted(sandbox.destinationFile(L"Game.nsp")) + L" " +
                                                      std::to_wstring(bytes));
        EXPECT_TRUE(helper->started());
        EXPECT_EQ(helper->readLine(), "ready");
        return helper;
    }

    std::wstring temporaryPath() const {
        const std::vector<std::wstring> names = sandbox.temporaryFiles();
        return names.size() == 1 ? sandbox.destinationFile(names[0]) : std::wstring();
    }
    std::wstring journalPath() const {
        const std::vector<std::wstring> names = sandbox.journals();
        return names.size() == 1 ? sandbox.recoveryPath() + L"\\" + names[0] : std::wstring();
    }

    std::optional<JournalRecord> recordOnDisk() const {
        const std::vector<std::uint8_t> bytes = test::ReadWholeFile(journalPath());
        return ParseJournalRecord(bytes.data(), bytes.size());
    }

    test::StorageSandbox sandbox;
};

TEST_F(CrashRecovery, KilledReservationLeavesItsJournalAndTheNextStartDeletesBoth) {
    std::unique_ptr<HelperProcess> helper = startReservation();
    helper->kill();

    const std::wstring temporary = temporaryPath();
    const std::wstring journal = journalPath();
    ASSERT_FALSE(temporary.empty());
    ASSERT_FALSE(journal.empty());
    const std::wstring record = sandbox.journals()[0].substr(0, 32);
    EXPECT_EQ(sandbox.temporaryFiles()[0], L".vesko-" + record + L".tmp");

    // The journal on disk is hidden, intact and names the temporary file by its long path and identity.
    EXPECT_NE(GetFileAttributesW(journal.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
    const std::optional<JournalRecord> parsed = recordOnDisk();
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->temporaryPath, ToLongPath(sandbox.destination()) + L"\\.vesko-" + record + L".tmp");
    const BY_HANDLE_FILE_INFORMATION info = test::FileInformation(temporary);
    EXPECT_EQ(parsed->identity,
              (JournalIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow,
                               info.ftCreationTime.dwLowDateTime, info.ftCreationTime.dwHighDateTime}));

    RecoverInNewProcess(sandbox);
    EXPECT_TRUE(sandbox.temporaryFiles().empty());
    EXPECT_TRUE(sandbox.journals().empty());
    EXPECT_TRUE(test::ListNames(sandbox.destination(), L"*").empty());
}

TEST_F(CrashRecovery, KilledWhileWritingIsCleanedUpAtTheNextStart) {
    std::unique_ptr<HelperProcess> helper = startReservation(100000);
    helper->kill();
    const std::wstring temporary = temporaryPath();
    const std::wstring journal = journalPath();
    ASSERT_FALSE(temporary.empty());
    ASSERT_FALSE(journal.empty());
    EXPECT_EQ(test::FileInformation(temporary).nFileSizeLow, 100000u);

    const std::optional<JournalRecord> record = recordOnDisk();
    ASSERT_TRUE(record.has_value());
    const BY_HANDLE_FILE_INFORMATION info = test::FileInformation(temporary);
    EXPECT_EQ(record->identity.volumeSerial, info.dwVolumeSerialNumber);
    EXPECT_EQ(record->identity.fileIndexHigh, info.nFileIndexHigh);
    EXPECT_EQ(record->identity.fileIndexLow, info.nFileIndexLow);
    // Wine 8 reports a file's last write time as its creation time, so writing moved it; Windows keeps
    // the creation time. Put it back where Windows would report it (wine takes it from the write time).
    const FILETIME recorded{record->identity.creationTimeLow, record->identity.creationTimeHigh};
    if (CompareFileTime(&info.ftCreationTime, &recorded) != 0) {
        const UniqueHandle file(CreateFileW(temporary.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ,
                                            nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &recorded));
    }

    RecoverInNewProcess(sandbox);
    EXPECT_TRUE(sandbox.temporaryFiles().empty());
    EXPECT_TRUE(sandbox.journals().empty());
}

TEST_F(CrashRecovery, LiveReservationOfAnotherProcessIsSkipped) {
    std::unique_ptr<HelperProcess> helper = startReservation();
    RecoverInNewProcess(sandbox);
    RecoverInterruptedOutputs();
    EXPECT_FALSE(temporaryPath().empty());
    EXPECT_FALSE(journalPath().empty());

    helper->kill();
    RecoverInNewProcess(sandbox);
    EXPECT_TRUE(sandbox.temporaryFiles().empty());
    EXPECT_TRUE(sandbox.journals().empty());
}

TEST_F(CrashRecovery, ReplacedTemporaryFileIsKeptWithItsJournal) {
    std::unique_ptr<HelperProcess> helper = startReservation();
    helper->kill();
    const std::wstring temporary = temporaryPath();
    const std::wstring journal = journalPath();
    ASSERT_FALSE(temporary.empty());
    const std::vector<std::uint8_t> journalBytes = test::ReadWholeFile(journal);
    // Someone else's file under the same name (the original moved away, so its index is not reused).
    ASSERT_TRUE(MoveFileW(temporary.c_str(), sandbox.destinationFile(L"original").c_str()));
    test::WriteWholeFile(temporary, {'m', 'i', 'n', 'e'});

    RecoverInNewProcess(sandbox);
    EXPECT_EQ(test::ReadWholeFile(temporary), (std::vector<std::uint8_t>{'m', 'i', 'n', 'e'}));
    EXPECT_EQ(test::ReadWholeFile(journal), journalBytes);
}

} // namespace
} // namespace vesko
