#include "tests/storage/StorageTestSupport.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace vesko::test {

RandomScript randomScript;
VolumeScript volume;

std::wstring StorageSandbox::recoveryPath() const {
    std::wstring path = home_.path();
    for (const wchar_t* level : {L"VESKO", L"ZARUvivuriza", L"Recovery"})
        path += kSeparator + std::wstring(level);
    return path;
}

std::wstring StorageSandbox::journalPath(const std::wstring& record) const {
    return recoveryPath() + kSeparator + record + L".journal";
}

void StorageSandbox::makeRecoveryDirectory() const {
    std::filesystem::create_directories(std::filesystem::path(recoveryPath()));
}

std::vector<std::wstring> StorageSandbox::journals() const {
    return ListNames(recoveryPath());
}

std::vector<std::wstring> StorageSandbox::temporaryFiles() const {
    return ListNames(destination(), L".vesko-");
}

std::vector<std::wstring> ListNames(const std::wstring& directory, const std::wstring& prefix) {
    std::vector<std::wstring> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(directory), ignored))
        if (const std::wstring name = entry.path().filename().wstring(); name.starts_with(prefix))
            names.push_back(name);
    std::sort(names.begin(), names.end());
    return names;
}

std::unique_ptr<PendingOutput> ReserveAndWrite(const std::wstring& outputPath, const Bytes& bytes) {
    std::unique_ptr<PendingOutput> pending;
    CreatePendingOutput(pending, outputPath, nullptr);
    WriteOutput(*pending, bytes);
    return pending;
}

std::uint32_t U32At(const Bytes& bytes, std::size_t offset) {
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
           static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

void SetU32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void Reseal(Bytes& bytes) {
    SetU32(bytes, kJournalChecksumOffset, JournalChecksum(bytes.data(), bytes.size()));
}

} // namespace vesko::test
