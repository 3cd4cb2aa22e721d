#include "tests/storage/StorageTestSupport.h"

#include "storage/OutputSpace.h"
#include "tools/testfiles/NszBuilder.h"

#include <algorithm>
#include <filesystem>

namespace vesko::test {

namespace fs = std::filesystem;

RandomScript randomScript;
VolumeScript volume;

bool NextScriptedDraw(std::uint8_t* out) {
    if (randomScript.chunks.empty())
        return false;
    const std::size_t last = randomScript.chunks.size() / 16 - 1;
    std::copy_n(randomScript.chunks.begin() + 16 * std::min<std::size_t>(randomScript.draws++, last), 16,
                out);
    return true;
}

void StorageSandbox::apply() {
    override_.reset();
    override_ = std::make_unique<ScopedStorageSystemOverride>(calls);
}

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
    fs::create_directories(fs::path(recoveryPath()));
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
    for (const auto& entry : fs::directory_iterator(fs::path(directory), ignored))
        if (const std::wstring name = entry.path().filename().wstring(); name.starts_with(prefix))
            names.push_back(name);
    std::sort(names.begin(), names.end());
    return names;
}

void WriteWholeFile(const std::wstring& path, const Bytes& bytes) {
    testfiles::WriteWholeFile(path, bytes);
}

Bytes ReadWholeFile(const std::wstring& path) {
    return testfiles::ReadWholeFile(path);
}

void MakeDirectory(const std::wstring& path) {
    ASSERT_TRUE(fs::create_directory(fs::path(path)));
}

void RemoveFile(const std::wstring& path) {
    ASSERT_TRUE(fs::remove(fs::path(path)));
}

void ExpectSpaceError(const std::wstring& output, std::uint64_t required, std::uint32_t code,
                      std::uint64_t available) {
    try {
        CheckOutputSpace(output, required, nullptr);
        ADD_FAILURE() << "no exception";
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.kind, ConversionError::Kind::WriteFailed);
        EXPECT_EQ(e.windowsError, code);
        EXPECT_STREQ(e.what(), code == 223 ? "Output exceeds filesystem file-size limit"
                                           : "Insufficient available output space");
        EXPECT_EQ(e.requiredBytes, required);
        EXPECT_TRUE(available != 0 ? e.availableBytes == (code == 223 ? 0u : available)
                                   : e.availableBytes > 0)
            << e.availableBytes;
    }
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
