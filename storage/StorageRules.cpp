#include "storage/StorageRules.h"

#include "storage/Recovery.h"

#include <limits>

namespace vesko {

namespace {

constexpr std::uint64_t kFatFileSizeLimit = 4294967295ull;
constexpr std::uint32_t kLastCandidate = 9999;

bool IsLowerHex(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f');
}

// ASCII only: a locale's case folding must not make another name read as FAT.
bool EqualsIgnoringAsciiCase(const std::wstring& a, const wchar_t* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != L'\0'; ++i) {
        auto fold = [](wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c; };
        if (fold(a[i]) != fold(b[i]))
            return false;
    }
    return i == a.size() && b[i] == L'\0';
}

} // namespace

void RecoverInterruptedOutputs() noexcept {
    try {
        ScanRecoveryDirectory();
    } catch (...) {
        // Runs at start-up, on Windows detached: whatever it cannot do waits for the next start.
    }
}

void ThrowStorageError(ConversionError::Kind kind, const std::string& message, std::uint32_t windowsError,
                       const CancelFlag* cancelFlag) {
    if (windowsError == kErrorOperationAborted && IsCancelRequested(cancelFlag))
        throw Cancelled();
    if (kind != ConversionError::Kind::RecoveryRecords && IsAccessDeniedCode(windowsError))
        kind = ConversionError::Kind::AccessDenied;
    throw ConversionError(WithWindowsCode(message, windowsError), kind, windowsError);
}

std::wstring RecordNameOf(const std::uint8_t (&random)[kRecordNameBytes]) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring name;
    name.reserve(kRecordNameLength);
    for (std::uint8_t byte : random) {
        name += kDigits[byte >> 4];
        name += kDigits[byte & 0x0F];
    }
    return name;
}

std::wstring RecordNameOfJournal(const std::wstring& fileName) {
    if (fileName.size() != kRecordNameLength + 8 || fileName.compare(kRecordNameLength, 8, L".journal") != 0)
        return {};
    for (std::size_t i = 0; i < kRecordNameLength; ++i) {
        if (!IsLowerHex(fileName[i]))
            return {};
    }
    return fileName.substr(0, kRecordNameLength);
}

std::wstring JournalFileName(const std::wstring& recordName) {
    return recordName + L".journal";
}

std::wstring TemporaryFileName(const std::wstring& recordName) {
    return L".vesko-" + recordName + L".tmp";
}

std::wstring CandidateName(const std::wstring& wantedName, std::uint32_t number) {
    if (number == 0)
        return wantedName;
    const std::size_t dot = wantedName.rfind(L'.');
    const std::wstring stem = dot == std::wstring::npos ? wantedName : wantedName.substr(0, dot);
    const std::wstring extension = dot == std::wstring::npos ? std::wstring() : wantedName.substr(dot);
    return stem + L" (" + std::to_wstring(number) + L")" + extension;
}

void NextCandidateOrThrow(std::uint32_t error, bool pickUnusedName, std::uint32_t number,
                          const CancelFlag* cancelFlag) {
    using K = ConversionError::Kind;
    if (!pickUnusedName)
        ThrowStorageError(K::NameConflict, "Output name is already in use", error, cancelFlag);
    if (number == kLastCandidate)
        ThrowStorageError(K::NameConflict, "No unused output name was found", kErrorFileExists, cancelFlag);
}

std::uint64_t FileSystemSizeLimit(const std::wstring& fileSystemName) {
    for (const wchar_t* fat : {L"FAT32", L"FAT", L"FAT16"}) {
        if (EqualsIgnoringAsciiCase(fileSystemName, fat))
            return kFatFileSizeLimit;
    }
    return std::numeric_limits<std::uint64_t>::max();
}

void ThrowIfOverSizeLimit(std::uint64_t requiredBytes, const std::wstring& fileSystemName) {
    if (requiredBytes > FileSystemSizeLimit(fileSystemName))
        throw ConversionError("Output exceeds filesystem file-size limit", ConversionError::Kind::WriteFailed,
                              kErrorFileTooLarge, requiredBytes, 0);
}

void ThrowIfOverAvailable(std::uint64_t requiredBytes, std::uint64_t availableBytes) {
    if (requiredBytes > availableBytes)
        throw ConversionError("Insufficient available output space", ConversionError::Kind::WriteFailed,
                              kErrorDiskFull, requiredBytes, availableBytes);
}

} // namespace vesko
