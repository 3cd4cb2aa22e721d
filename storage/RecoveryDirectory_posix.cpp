#include "storage/RecoveryDirectory.h"

#include "engine/ErrnoCode.h"
#include "storage/StoragePaths.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>

#include <vector>

namespace vesko {

namespace {

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr mode_t kPrivateDirectory = 0700;

// $XDG_STATE_HOME when it is absolute (the base directory rules ignore a relative one), otherwise
// ~/.local/state.
std::string StateHome(const CancelFlag* cancelFlag) {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/')
        return state;
    std::string home;
    if (const char* variable = std::getenv("HOME"); variable != nullptr && variable[0] == '/') {
        home = variable;
    } else {
        passwd entry{};
        passwd* found = nullptr;
        std::vector<char> buffer(16384);
        if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
            found->pw_dir != nullptr && found->pw_dir[0] == '/')
            home = found->pw_dir;
    }
    if (home.empty())
        ThrowStorageError(ConversionError::Kind::RecoveryRecords, "Cannot locate recovery directory",
                          kErrorFileNotFound, cancelFlag);
    return home + "/.local/state";
}

void MakeDirectory(int parent, const std::string& path, const CancelFlag* cancelFlag) {
    if (::mkdirat(parent, path.c_str(), kPrivateDirectory) != 0 && errno != EEXIST)
        ThrowStorageError(ConversionError::Kind::RecoveryRecords, "Cannot create recovery directory",
                          WindowsCodeFromErrno(errno), cancelFlag);
}

} // namespace

RecoveryDirectory OpenRecoveryDirectory(bool create, const CancelFlag* cancelFlag) {
    using K = ConversionError::Kind;
    const std::string stateHome = StateHome(cancelFlag);
    if (create) {
        // The state home may not exist yet on a fresh account; its own levels may be links.
        for (std::size_t slash = stateHome.find('/', 1); slash != std::string::npos;
             slash = stateHome.find('/', slash + 1))
            MakeDirectory(AT_FDCWD, stateHome.substr(0, slash), cancelFlag);
        MakeDirectory(AT_FDCWD, stateHome, cancelFlag);
    }

    RecoveryDirectory directory;
    directory.path = FromUtf8(stateHome);
    directory.handles.push_back(OpenStorageDirectory(directory.path, false, K::RecoveryRecords, cancelFlag));
    for (const wchar_t* component : {L"VESKO", L"ZARUvivuriza", L"Recovery"}) {
        directory.path = JoinStoragePath(directory.path, component);
        if (create)
            MakeDirectory(directory.handles.back().get(), ToUtf8(component), cancelFlag);
        directory.handles.push_back(
            OpenStorageDirectoryAt(directory.handles.back(), component, K::RecoveryRecords, cancelFlag));
    }
    return directory;
}

} // namespace vesko
