// vesko-convert for Linux (and other POSIX systems): prints UTF-8 and cancels on SIGINT and SIGTERM;
// everything it decides is in ConsoleCommand.
#include "engine/Paths.h"
#include "storage/Recovery.h"
#include "tools/convert/ConsoleCommand.h"
#include "ui/Texts.h"

#include <cerrno>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace {

using namespace vesko;

CancelFlag cancelRequested{0};
pthread_t convertingThread;

// Installed without SA_RESTART, so a read or write blocked on a slow device returns EINTR and the
// engine ends with Cancelled. A signal that lands just before such a call enters the kernel cannot
// interrupt it: the alarm repeats the interruption every second until the conversion has stopped.
void OnCancelSignal(int) {
    const int savedErrno = errno;
    cancelRequested.store(1);
    if (!pthread_equal(pthread_self(), convertingThread))
        pthread_kill(convertingThread, SIGALRM);
    alarm(1);
    errno = savedErrno;
}

void InstallCancelHandlers() {
    struct sigaction action {};
    action.sa_handler = OnCancelSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (int signal : {SIGINT, SIGTERM, SIGALRM})
        sigaction(signal, &action, nullptr);
    // A reader that went away (`| head`) must not end the process in the middle of a conversion and
    // leave its temporary file behind: the lines are then simply lost, as on Windows.
    ::signal(SIGPIPE, SIG_IGN);
}

void Print(int fd, const std::wstring& text) {
    const std::string utf8 = ToUtf8(text);
    for (std::size_t done = 0; done < utf8.size();) {
        const ssize_t n = ::write(fd, utf8.data() + done, utf8.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

} // namespace

int main(int argc, char** argv) {
    const ConsoleStreams streams{[](const std::wstring& text) { Print(STDOUT_FILENO, text); },
                                 [](const std::wstring& text) { Print(STDERR_FILENO, text); }};
    std::vector<std::wstring> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(FromUtf8(argv[i]));
    ConsoleOptions options;
    const ConsoleRequest request = ParseConsoleArguments(arguments, options);
    if (request != ConsoleRequest::Convert)
        return AnswerWithoutConverting(request, streams);
    convertingThread = pthread_self();
    InstallCancelHandlers();
    SetInterfaceLanguage(DetectInterfaceLanguage());
    RecoverInterruptedOutputs();
    const bool showProgress = !options.quiet && isatty(STDERR_FILENO) != 0;
    return ConvertConsoleFiles(options, streams, showProgress, cancelRequested);
}
