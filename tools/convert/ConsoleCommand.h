// What vesko-convert decides on every system: its command line, the line it prints for each file, the
// progress line and the exit code. The Windows and the POSIX program only print and catch signals.
#pragma once

#include "engine/ConversionError.h"

#include <functional>
#include <string>
#include <vector>

namespace vesko {

inline constexpr int kExitConverted = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitCancelled = 3;

struct ConsoleOptions {
    std::wstring outputDir;
    bool deleteSource = false;
    bool quiet = false;
    std::vector<std::wstring> files;
};

enum class ConsoleRequest { Convert, Help, Version, UsageError };

// The arguments after the program name.
ConsoleRequest ParseConsoleArguments(const std::vector<std::wstring>& arguments, ConsoleOptions& options);

struct ConsoleStreams {
    std::function<void(const std::wstring&)> out;
    std::function<void(const std::wstring&)> err;
};

// Answers --help, --version and a usage error on the streams; returns their exit code.
int AnswerWithoutConverting(ConsoleRequest request, const ConsoleStreams& streams);

// Converts the files in turn, one line per file on `out`, progress on `err` when `showProgress`;
// stops at a cancellation. Returns the exit code.
int ConvertConsoleFiles(const ConsoleOptions& options, const ConsoleStreams& streams, bool showProgress,
                        const CancelFlag& cancelFlag);

} // namespace vesko
