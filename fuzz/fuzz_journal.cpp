// The recovery journal as the start-up scan reads it from a directory others could write to: the strict
// record reading, and the rules for the temporary path a record names.
#include "storage/Journal.h"
#include "storage/Recovery.h"

#include <cstdlib>
#include <cstring>

namespace {

const std::wstring kPrefix = L".vesko-";
const std::wstring kSuffix = L".tmp";

// Checks the path against the record name its own file name carries, so that the component rules are
// reached; an accepted path must hold no empty, "." or ".." component and no stream or '/'.
void CheckPath(const std::wstring& path) {
    const std::size_t name = path.rfind(L'\\') + 1; // 0 without a separator
    std::wstring recordName;
    if (name != 0 && path.size() >= name + kPrefix.size() + kSuffix.size() &&
        path.compare(name, kPrefix.size(), kPrefix) == 0)
        recordName = path.substr(name + kPrefix.size(), path.size() - name - kPrefix.size() - kSuffix.size());
    if (!vesko::IsRecordedTemporaryPath(path, recordName))
        return;
    if (path.find(L'/') != std::wstring::npos || path.find(L'\0') != std::wstring::npos ||
        path.find(L"\\\\", 2) != std::wstring::npos || path.find(L"\\.\\") != std::wstring::npos ||
        path.find(L"\\..\\") != std::wstring::npos)
        std::abort();
    if (path.find(L':', path.compare(0, 8, L"\\\\?\\UNC\\") == 0 ? 0 : 6) != std::wstring::npos)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Strict reading: whatever is read back is exactly the record that writing it would give.
    if (const auto record = vesko::ParseJournalRecord(data, size)) {
        const auto rebuilt = vesko::BuildJournalRecord(record->identity, record->temporaryPath);
        if (rebuilt.size() != size || std::memcmp(rebuilt.data(), data, size) != 0)
            std::abort();
        CheckPath(record->temporaryPath);
    }
    // The checksum keeps most mutations from being read: the path rules also see the raw bytes as a path.
    std::wstring path(size / 2, L'\0');
    for (std::size_t i = 0; i < path.size(); ++i)
        path[i] = static_cast<wchar_t>(data[2 * i] | data[2 * i + 1] << 8);
    CheckPath(path);
    return 0;
}
