// vesko-convert for Windows: prints as the console wants it and cancels on Ctrl+C; everything it
// decides is in ConsoleCommand.
#include "engine/Paths.h"
#include "storage/Recovery.h"
#include "storage/UniqueHandle.h"
#include "tools/convert/ConsoleCommand.h"
#include "ui/Texts.h"

#include <windows.h>

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

} // namespace

int wmain(int argc, wchar_t** argv) {
    const ConsoleStreams streams{[](const std::wstring& text) { Print(STD_OUTPUT_HANDLE, text); },
                                 [](const std::wstring& text) { Print(STD_ERROR_HANDLE, text); }};
    ConsoleOptions options;
    const ConsoleRequest request =
        ParseConsoleArguments(std::vector<std::wstring>(argv + 1, argv + argc), options);
    if (request != ConsoleRequest::Convert)
        return AnswerWithoutConverting(request, streams);
    SetInterfaceLanguage(DetectInterfaceLanguage());
    RecoverInterruptedOutputs();

    HANDLE self = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    const UniqueHandle selfOwner(self);
    convertingThread = self;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    const bool showProgress = !options.quiet && IsConsole(GetStdHandle(STD_ERROR_HANDLE));
    const int exitCode = ConvertConsoleFiles(options, streams, showProgress, cancelRequested);
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    convertingThread = nullptr;
    return exitCode;
}
