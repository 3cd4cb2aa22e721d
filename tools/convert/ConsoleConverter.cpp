// vesko-convert: the converter for scripts. One line per file on stdout; exit code 0 when every file
// converted, 1 when any failed, 2 for a usage error, 3 when cancelled.
#include "convert/ConvertNszToNsp.h"
#include "engine/Paths.h"
#include "storage/Recovery.h"
#include "storage/UniqueHandle.h"
#include "app/OutputPath.h"
#include "ui/FailureMessage.h"
#include "ui/Texts.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace vesko;

CancelFlag cancelRequested{0};
HANDLE convertingThread = nullptr; // a real handle of the main thread, for CancelSynchronousIo

BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT)
        return FALSE;
    cancelRequested.store(1);
    // A read or write blocked on a slow drive ends now instead of at its own pace.
    if (convertingThread != nullptr)
        CancelSynchronousIo(convertingThread);
    return TRUE;
}

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != 0;
}

// Console text goes out as UTF-16; redirected text as UTF-8, whatever the code page.
void Print(DWORD stream, const std::wstring& text) {
    const HANDLE out = GetStdHandle(stream);
    if (IsConsole(out)) {
        DWORD written = 0;
        WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const std::string utf8 = ToUtf8(text);
    DWORD written = 0;
    WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

struct Options {
    std::wstring outputDir;
    bool deleteSource = false;
    bool quiet = false;
    std::vector<std::wstring> files;
};

bool ParseArguments(int argc, wchar_t** argv, Options& options) {
    bool onlyFiles = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (!onlyFiles && arg == L"--") {
            onlyFiles = true;
        } else if (!onlyFiles && arg == L"--output-dir") {
            if (i + 1 >= argc || argv[i + 1][0] == L'\0')
                return false;
            options.outputDir = argv[++i];
        } else if (!onlyFiles && arg == L"--delete-source") {
            options.deleteSource = true;
        } else if (!onlyFiles && arg == L"--quiet") {
            options.quiet = true;
        } else if (!onlyFiles && arg.rfind(L"--", 0) == 0) {
            return false;
        } else {
            options.files.push_back(arg);
        }
    }
    return !options.files.empty();
}

class ProgressLine {
  public:
    explicit ProgressLine(bool enabled) : enabled_(enabled), start_(std::chrono::steady_clock::now()) {}

    void update(const Progress& p) {
        if (!enabled_ || p.bytesTotal == 0)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (now - lastShown_ < std::chrono::milliseconds(200) && p.bytesWritten != p.bytesTotal)
            return;
        lastShown_ = now;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const double mbps = seconds > 0 ? static_cast<double>(p.bytesWritten) / 1048576.0 / seconds : 0.0;
        wchar_t line[96];
        swprintf(line, 96, L"\r%3u%%  %.1f MB/s ", static_cast<unsigned>(p.bytesWritten * 100 / p.bytesTotal),
                 mbps);
        Print(STD_ERROR_HANDLE, line);
        shown_ = true;
    }

    ~ProgressLine() {
        if (shown_)
            Print(STD_ERROR_HANDLE, L"\r                        \r");
    }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

  private:
    bool enabled_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastShown_{};
};

enum class Outcome { Converted, Failed, Cancelled };

Outcome ConvertOne(const std::wstring& source, const Options& options, bool showProgress) {
    const std::wstring output = OutputPathFor(source, options.outputDir);
    try {
        ProgressLine line(showProgress);
        const ProgressCallback progress = [&line](Progress p) { line.update(p); };
        const ConversionResult result =
            ConvertNszToNsp(source, output, progress, &cancelRequested, true, options.deleteSource);
        std::wstring text = L"OK " + source + L" -> " + result.outputPath;
        if (options.deleteSource)
            text += result.sourceDeleted
                        ? L" (source deleted)"
                        : L" (source kept: " + std::to_wstring(result.sourceDeleteError) + L")";
        Print(STD_OUTPUT_HANDLE, text + L"\n");
        return Outcome::Converted;
    } catch (const Cancelled&) {
        Print(STD_OUTPUT_HANDLE, L"CANCELLED " + source + L"\n");
        return Outcome::Cancelled;
    } catch (const ConversionError& e) {
        // The disk-full message puts the space figures on a line of their own: keep one line per file.
        std::wstring message = FailureMessage(e);
        std::replace(message.begin(), message.end(), L'\n', L' ');
        Print(STD_OUTPUT_HANDLE, L"FAILED " + source + L": " + message + L" [" + FromUtf8(KindName(e.kind)) +
                                     L"] " + FromUtf8(e.what()) + L"\n");
        return Outcome::Failed;
    } catch (const std::bad_alloc&) {
        Print(STD_OUTPUT_HANDLE, L"FAILED " + source + L": " + Text(TextKey::TextErrOutOfMemory) + L"\n");
        return Outcome::Failed;
    } catch (const std::exception& e) {
        Print(STD_OUTPUT_HANDLE, L"FAILED " + source + L": " + Text(TextKey::TextErrUnexpected) + L" " +
                                     FromUtf8(e.what()) + L"\n");
        return Outcome::Failed;
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (!ParseArguments(argc, argv, options)) {
        Print(STD_ERROR_HANDLE,
              L"usage: vesko-convert [--output-dir DIR] [--delete-source] [--quiet] FILE.nsz...\n");
        return 2;
    }
    SetInterfaceLanguage(DetectInterfaceLanguage());
    RecoverInterruptedOutputs();

    HANDLE self = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    const UniqueHandle selfOwner(self);
    convertingThread = self;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);

    const bool showProgress = !options.quiet && IsConsole(GetStdHandle(STD_ERROR_HANDLE));
    bool anyFailed = false;
    for (const std::wstring& file : options.files) {
        if (IsCancelRequested(&cancelRequested))
            break;
        const Outcome outcome = ConvertOne(file, options, showProgress);
        anyFailed = anyFailed || outcome == Outcome::Failed;
        if (outcome == Outcome::Cancelled)
            break;
    }
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    convertingThread = nullptr;
    if (IsCancelRequested(&cancelRequested))
        return 3;
    return anyFailed ? 1 : 0;
}
