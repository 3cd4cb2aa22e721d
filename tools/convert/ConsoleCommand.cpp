#include "tools/convert/ConsoleCommand.h"

#include "app/OutputPath.h"
#include "convert/ConvertNszToNsp.h"
#include "engine/Paths.h"
#include "ui/FailureMessage.h"
#include "ui/Texts.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace vesko {

namespace {

constexpr const wchar_t* kUsage =
    L"usage: vesko-convert [--output-dir DIR] [--delete-source] [--quiet] FILE.nsz...\n";

constexpr const wchar_t* kHelp =
    L"Converts NSZ files back into the exact NSP files they were made from.\n"
    L"  --output-dir DIR  write the NSP files into DIR instead of beside each source\n"
    L"  --delete-source   delete a source once its NSP is saved, if it is unchanged\n"
    L"  --quiet           no progress line on the terminal\n"
    L"  --help, --version this text, the version\n"
    L"One line per file on standard output: OK, FAILED or CANCELLED.\n"
    L"Exit code: 0 all converted, 1 any failed, 2 usage error, 3 cancelled.\n";

class ProgressLine {
  public:
    ProgressLine(bool enabled, const ConsoleStreams& streams)
        : enabled_(enabled), streams_(streams), start_(std::chrono::steady_clock::now()) {}

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
        streams_.err(line);
        shown_ = true;
    }

    ~ProgressLine() {
        if (shown_)
            streams_.err(L"\r                        \r");
    }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

  private:
    bool enabled_;
    const ConsoleStreams& streams_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastShown_{};
};

enum class Outcome { Converted, Failed, Cancelled };

Outcome ConvertOne(const std::wstring& source, const ConsoleOptions& options, const ConsoleStreams& streams,
                   bool showProgress, const CancelFlag& cancelFlag) {
    const std::wstring output = OutputPathFor(source, options.outputDir);
    try {
        ProgressLine line(showProgress, streams);
        const ProgressCallback progress = [&line](Progress p) { line.update(p); };
        const ConversionResult result =
            ConvertNszToNsp(source, output, progress, &cancelFlag, true, options.deleteSource);
        std::wstring text = L"OK " + source + L" -> " + result.outputPath;
        if (options.deleteSource)
            text += result.sourceDeleted
                        ? L" (source deleted)"
                        : L" (source kept: " + std::to_wstring(result.sourceDeleteError) + L")";
        streams.out(text + L"\n");
        return Outcome::Converted;
    } catch (const Cancelled&) {
        streams.out(L"CANCELLED " + source + L"\n");
        return Outcome::Cancelled;
    } catch (const ConversionError& e) {
        // The disk-full message puts the space figures on a line of their own: keep one line per file.
        std::wstring message = FailureMessage(e);
        std::replace(message.begin(), message.end(), L'\n', L' ');
        streams.out(L"FAILED " + source + L": " + message + L" [" + FromUtf8(KindName(e.kind)) + L"] " +
                    FromUtf8(e.what()) + L"\n");
        return Outcome::Failed;
    } catch (const std::bad_alloc&) {
        streams.out(L"FAILED " + source + L": " + Text(TextKey::TextErrOutOfMemory) + L"\n");
        return Outcome::Failed;
    } catch (const std::exception& e) {
        streams.out(L"FAILED " + source + L": " + Text(TextKey::TextErrUnexpected) + L" " +
                    FromUtf8(e.what()) + L"\n");
        return Outcome::Failed;
    }
}

} // namespace

ConsoleRequest ParseConsoleArguments(const std::vector<std::wstring>& arguments, ConsoleOptions& options) {
    bool onlyFiles = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& arg = arguments[i];
        if (onlyFiles || arg.rfind(L"--", 0) != 0) {
            options.files.push_back(arg);
        } else if (arg == L"--") {
            onlyFiles = true;
        } else if (arg == L"--help") {
            return ConsoleRequest::Help;
        } else if (arg == L"--version") {
            return ConsoleRequest::Version;
        } else if (arg == L"--output-dir") {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty())
                return ConsoleRequest::UsageError;
            options.outputDir = arguments[++i];
        } else if (arg == L"--delete-source") {
            options.deleteSource = true;
        } else if (arg == L"--quiet") {
            options.quiet = true;
        } else {
            return ConsoleRequest::UsageError;
        }
    }
    return options.files.empty() ? ConsoleRequest::UsageError : ConsoleRequest::Convert;
}

int AnswerWithoutConverting(ConsoleRequest request, const ConsoleStreams& streams) {
    switch (request) {
    case ConsoleRequest::Help:
        streams.out(std::wstring(kUsage) + kHelp);
        return kExitConverted;
    case ConsoleRequest::Version:
        streams.out(L"vesko-convert " + FromUtf8(VESKO_VERSION) + L"\n");
        return kExitConverted;
    case ConsoleRequest::Convert:
    case ConsoleRequest::UsageError:
        break;
    }
    streams.err(kUsage);
    return kExitUsage;
}

int ConvertConsoleFiles(const ConsoleOptions& options, const ConsoleStreams& streams, bool showProgress,
                        const CancelFlag& cancelFlag) {
    bool anyFailed = false;
    for (const std::wstring& file : options.files) {
        if (IsCancelRequested(&cancelFlag))
            break;
        const Outcome outcome = ConvertOne(file, options, streams, showProgress, cancelFlag);
        anyFailed = anyFailed || outcome == Outcome::Failed;
        if (outcome == Outcome::Cancelled)
            break;
    }
    if (IsCancelRequested(&cancelFlag))
        return kExitCancelled;
    return anyFailed ? kExitFailed : kExitConverted;
}

} // namespace vesko
