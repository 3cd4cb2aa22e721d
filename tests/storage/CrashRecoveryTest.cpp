#include "engine/Paths.h"
#include "storage/Journal.h"
#include "storage/Recovery.h"
#include "storage/UniqueHandle.h"
#include "tests/storage/StorageTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace vesko {
namespace {

// The crash helper beside this executable, started with `arguments` and its standard output on a pipe;
// killed (not asked) on destruction if still running.
class HelperProcess {
  public:
    explicit HelperProcess(const std::wstring& arguments) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE readEnd = nullptr, writeEnd = nullptr;
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
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        const std::wstring selfPath = self;
        std::wstring commandLine = L"\"" + selfPath.substr(0, selfPath.rfind(L'\\') + 1) +
                                   L"storage_crash_helper.exe\" " + arguments;
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                            &startup, &info))
            return;
        process_.reset(info.hProcess);
        const UniqueHandle thread(info.hThread);
    }
    ~HelperProcess() {
        if (process_.valid() && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT)
            kill();
    }

    bool started() const { return process_.valid(); }

    // Everything the helper printed until it closed its output or printed a newline.
    std::string readLine() {
        std::string line;
        char c = 0;
        DWORD got = 0;
        while (ReadFile(output_.get(), &c, 1, &got, nullptr) && got == 1 && c != '\n')
            line += c == '\r' ? "" : std::string(1, c);
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

class CrashRecovery : public ::testing::Test {
  protected:
    // Starts a helper that reserves Game.nsp, writes `bytes` of it and waits; returns when it is ready.
    std::unique_ptr<HelperProcess> startReservation(unsigned bytes) {
        auto helper = std::make_unique<HelperProcess>(L"reserve \"" + sandbox.localAppData() + L"\" \"" +
                                                      sandbox.destinationFile(L"Game.nsp") + L"\" " +
                                                      std::to_wstring(bytes));
        EXPECT_TRUE(helper->started());
        EXPECT_EQ(helper->readLine(), "ready");
        return helper;
    }

    void recoverInNewProcess() {
        HelperProcess recover(L"recover \"" + sandbox.localAppData() + L"\"");
        ASSERT_TRUE(recover.started());
        EXPECT_EQ(recover.wait(), 0u);
    }

    test::StorageSandbox sandbox;
};

// A killed reservation, with nothing or part of the output written, leaves its journal, and the next start
// deletes both files; unless the temporary file was replaced by someone else's meanwhile.
TEST_F(CrashRecovery, KilledReservationIsCleanedUpAtTheNextStart) {
    const std::pair<unsigned, bool> cases[] = {{0, false}, {100000, false}, {0, true}};
    for (const auto& [bytes, replaced] : cases) {
        SCOPED_TRACE(std::to_string(bytes) + (replaced ? " replaced" : ""));
        startReservation(bytes)->kill();
        ASSERT_EQ(sandbox.journals().size(), 1u);
        ASSERT_EQ(sandbox.temporaryFiles().size(), 1u);
        const std::wstring record = sandbox.journals()[0].substr(0, 32);
        EXPECT_EQ(sandbox.temporaryFiles()[0], L".vesko-" + record + L".tmp");
        const std::wstring temporary = sandbox.destinationFile(sandbox.temporaryFiles()[0]);
        const std::wstring journal = sandbox.recoveryPath() + L"\\" + sandbox.journals()[0];
        EXPECT_EQ(test::FileInformation(temporary).nFileSizeLow, bytes);

        // The journal on disk is hidden, intact and names the temporary file by its long path and identity.
        EXPECT_NE(GetFileAttributesW(journal.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
        const std::vector<std::uint8_t> bytesOnDisk = test::ReadWholeFile(journal);
        const std::optional<JournalRecord> parsed =
            ParseJournalRecord(bytesOnDisk.data(), bytesOnDisk.size());
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(parsed->temporaryPath, ToLongPath(sandbox.destination()) + L"\\.vesko-" + record + L".tmp");
        const BY_HANDLE_FILE_INFORMATION info = test::FileInformation(temporary);
        EXPECT_EQ(parsed->identity.volumeSerial, info.dwVolumeSerialNumber);
        EXPECT_EQ(parsed->identity.fileIndexHigh, info.nFileIndexHigh);
        EXPECT_EQ(parsed->identity.fileIndexLow, info.nFileIndexLow);
        // Wine 8 reports a file's last write time as its creation time, so writing moved it; Windows keeps
        // the creation time. Put it back where Windows would report it (wine takes it from the write time).
        const FILETIME recorded{parsed->identity.creationTimeLow, parsed->identity.creationTimeHigh};
        EXPECT_TRUE(bytes != 0 || CompareFileTime(&info.ftCreationTime, &recorded) == 0);
        if (CompareFileTime(&info.ftCreationTime, &recorded) != 0) {
            const UniqueHandle file(CreateFileW(temporary.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ,
                                                nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &recorded));
        }
        // Someone else's file under the same name (the original moved away, so its index is not reused).
        if (replaced) {
            ASSERT_TRUE(MoveFileW(temporary.c_str(), sandbox.destinationFile(L"original").c_str()));
            test::WriteWholeFile(temporary, {'m', 'i', 'n', 'e'});
        }

        recoverInNewProcess();
        if (replaced) {
            EXPECT_EQ(test::ReadWholeFile(temporary), (std::vector<std::uint8_t>{'m', 'i', 'n', 'e'}));
            EXPECT_EQ(test::ReadWholeFile(journal), bytesOnDisk);
        } else {
            EXPECT_TRUE(test::ListNames(sandbox.destination(), L"*").empty());
            EXPECT_TRUE(sandbox.journals().empty());
        }
    }
}

TEST_F(CrashRecovery, LiveReservationOfAnotherProcessIsSkipped) {
    std::unique_ptr<HelperProcess> helper = startReservation(0);
    recoverInNewProcess();
    RecoverInterruptedOutputs();
    EXPECT_EQ(sandbox.temporaryFiles().size(), 1u);
    EXPECT_EQ(sandbox.journals().size(), 1u);
    helper->kill();
    recoverInNewProcess();
    EXPECT_TRUE(sandbox.temporaryFiles().empty());
    EXPECT_TRUE(sandbox.journals().empty());
}

} // namespace
} // namespace vesko
