// The storage decisions written once for both systems: the journal record, the error rule, names and
// limits, and which recorded paths the recovery scan may act on.
#include "engine/Paths.h"
#include "storage/Recovery.h"
#include "storage/StorageRules.h"
#include "tests/storage/StorageTestSupport.h"

#include <cstring>

namespace vesko {
namespace {

using K = ConversionError::Kind;
using test::Bytes;

// A bit-by-bit CRC-32 written from the definition, to check the table-driven one against.
std::uint32_t ReferenceCrc32(Bytes bytes) {
    std::fill(bytes.begin() + 40, bytes.begin() + 44, 0);
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ ((crc & 1u) ? 0xEDB88320u : 0u);
    }
    return ~crc;
}

const JournalIdentity kIdentity{0x11223344u, 0x55667788u, 0x99AABBCCu, 0xDDEEFF00u, 0x01020304u};
const std::wstring kPath = L"\\\\?\\C:\\d\\.vesko-0123456789abcdef0123456789abcdef.tmp";

// CRC-32 with offsets 40 to 43 as zero, and the little-endian fields after the magic: version, path length,
// the identity, the reserved zero, the checksum, the path.
TEST(Journal, ChecksumAndLayout) {
    EXPECT_EQ(JournalChecksum(reinterpret_cast<const std::uint8_t*>("123456789"), 9), 0xCBF43926u);
    EXPECT_EQ(JournalChecksum(nullptr, 0), 0u);
    const Bytes record = BuildJournalRecord(kIdentity, kPath);
    ASSERT_EQ(record.size(), 44 + 2 * kPath.size());
    EXPECT_EQ(std::memcmp(record.data(), "VESKOJ01", 8), 0);
    const std::uint32_t sum = ReferenceCrc32(record),
                        fields[] = {1,           static_cast<std::uint32_t>(kPath.size()),
                                    0x11223344u, 0x55667788u,
                                    0x99AABBCCu, 0xDDEEFF00u,
                                    0x01020304u, 0,
                                    sum};
    for (std::size_t i = 0; i < std::size(fields); ++i)
        EXPECT_EQ(test::U32At(record, 8 + 4 * i), fields[i]) << i;
    for (std::size_t i = 0; i < kPath.size(); ++i)
        EXPECT_EQ(record[44 + 2 * i] | record[45 + 2 * i] << 8, kPath[i]) << i;
    EXPECT_EQ(JournalChecksum(record.data(), record.size()), sum);
    for (std::size_t offset : {39, 40, 43, 44}) {
        Bytes changed = record;
        changed[offset] ^= 0xFF;
        EXPECT_EQ(JournalChecksum(changed.data(), changed.size()) == sum, offset >= 40 && offset <= 43)
            << offset;
    }
}

TEST(Journal, ReadsBackWhatWasBuiltAndRefusesDamage) {
    const std::wstring longest = L"\\\\?\\C:\\" + std::wstring(32767 - 7, L'a');
    for (const std::wstring& path :
         {std::wstring(L"\\\\?\\UNC\\s\\share\\\u0418\u0433\u0440\u0430\\.vesko-x.tmp"), longest}) {
        const Bytes record = BuildJournalRecord(kIdentity, path);
        const std::optional<JournalRecord> parsed = ParseJournalRecord(record.data(), record.size());
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(parsed->identity, kIdentity);
        EXPECT_EQ(parsed->temporaryPath, path);
    }
    // The longest path fits the largest journal, which the recovery scan reads up to.
    EXPECT_EQ(BuildJournalRecord(kIdentity, longest).size(), kJournalMaxSize);
    EXPECT_EQ(kJournalMaxSize, 65578u);
    using test::SetU32;
    // clang-format off
    const struct { const char* name; void (*damage)(Bytes&); bool reseal; } cases[] = {
        {"checksum", [](Bytes& b) { b[40] ^= 1; }, false},
        {"path byte without resealing", [](Bytes& b) { b[50] ^= 1; }, false},
        {"magic", [](Bytes& b) { b[7] = '2'; }, true},
        {"version 2", [](Bytes& b) { SetU32(b, 8, 2); }, true},
        {"version 0", [](Bytes& b) { SetU32(b, 8, 0); }, true},
        {"reserved field", [](Bytes& b) { SetU32(b, 36, 1); }, true},
        {"path length one short", [](Bytes& b) { SetU32(b, 12, test::U32At(b, 12) - 1); }, true},
        {"path length one long", [](Bytes& b) { SetU32(b, 12, test::U32At(b, 12) + 1); }, true},
        {"path length above 32767", [](Bytes& b) { SetU32(b, 12, 32768); }, true},
        {"one byte more", [](Bytes& b) { b.push_back(0); }, true},
        {"one byte less", [](Bytes& b) { b.pop_back(); }, true},
        {"header only", [](Bytes& b) { b.resize(43); }, false},
        {"empty", [](Bytes& b) { b.clear(); }, false}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes record = BuildJournalRecord(kIdentity, kPath);
        c.damage(record);
        if (c.reseal)
            test::Reseal(record);
        EXPECT_FALSE(ParseJournalRecord(record.data(), record.size()).has_value());
    }
}

TEST(StorageRules, ErrorKindsCodesAndCancellation) {
    enum Flag { None, Clear, Set };
    const K write = K::WriteFailed, denied = K::AccessDenied, records = K::RecoveryRecords;
    // clang-format off
    const struct { K kind; std::uint32_t code; Flag flag; K expectedKind; bool cancelled; } cases[] = {
        {write, 2, None, write, false},            {write, 5, None, denied, false},
        {K::PathProblem, 19, Clear, denied, false}, {write, 65, None, denied, false},
        {K::NameConflict, 1314, None, denied, false}, {records, 5, None, records, false},
        {records, 1314, Set, records, false},      {write, 995, Set, write, true},
        {records, 995, Set, write, true},          {write, 995, Clear, write, false},
        {write, 995, None, write, false},          {write, 2, Set, write, false},
        {records, 0x80070005u, None, records, false}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.code) + " kind " + KindName(c.kind) + " flag " +
                     std::to_string(c.flag));
        CancelFlag flag{static_cast<std::uint8_t>(c.flag == Set ? 1 : 0)};
        const CancelFlag* passed = c.flag == None ? nullptr : &flag;
        if (c.cancelled)
            EXPECT_THROW(ThrowStorageError(c.kind, "Boom", c.code, passed), Cancelled);
        else
            test::ExpectConversionError(
                [&] { ThrowStorageError(c.kind, "Boom", c.code, passed); },
                {c.expectedKind, "Boom (Windows " + std::to_string(c.code) + ")", c.code});
    }
}

TEST(StorageRules, CandidateNamesAndFatLimit) {
    // clang-format off
    const struct { std::wstring wanted; std::uint32_t number; std::wstring candidate; } names[] = {
        {L"Game.nsp", 0, L"Game.nsp"}, {L"Game.nsp", 1, L"Game (1).nsp"}, {L"Game", 1, L"Game (1)"},
        {L"Game.nsp", 9999, L"Game (9999).nsp"}, {L"a.b.nsp", 1, L"a.b (1).nsp"}, {L".nsp", 1, L" (1).nsp"},
        {L"Game.", 12, L"Game (12)."}};
    // clang-format on
    for (const auto& c : names)
        EXPECT_EQ(CandidateName(c.wanted, c.number), c.candidate) << ToUtf8(c.wanted) << " " << c.number;
    // The FAT names in any case share the one limit; ASCII case only.
    for (const wchar_t* fat : {L"FAT32", L"fat32", L"FAT", L"Fat16", L"FAT16"})
        EXPECT_EQ(FileSystemSizeLimit(fat), 4294967295ull) << ToUtf8(fat);
    for (const wchar_t* other : {L"FAT12", L"ReFS", L"", L"exFAT", L"NTFS", L"FAT3", L"FAT322", L"\u0192AT"})
        EXPECT_EQ(FileSystemSizeLimit(other), ~0ull) << ToUtf8(other);
}

TEST(StorageRules, RecordedTemporaryPathIsPlainFullAndLong) {
    const std::wstring record = L"0123456789abcdef0123456789abcdef", f = L".vesko-" + record + L".tmp";
#ifdef _WIN32
    const std::wstring d = L"\\\\?\\D:";
    const std::pair<std::wstring, bool> cases[] = {
        // clang-format off
        {d + L"\\games\\" + f, true}, {L"\\\\?\\d:\\" + f, true},
        {L"\\\\?\\UNC\\server\\share\\dir\\" + f, true},
        {d + L"\\games\\\u0418\u0433\u0440\u0430\\" + f, true}, {L"D:\\games\\" + f, false},
        {L"\\\\server\\share\\" + f, false}, {L"\\\\?\\1:\\" + f, false}, {d + f, false}, {d, false},
        {d + L"\\games:stream\\" + f, false}, {d + L"\\games\\" + f + L":stream", false},
        {L"\\\\?\\UNC\\server\\share:x\\" + f, false}, {d + L"\\games/sub\\" + f, false},
        {d + L"\\games\\\\" + f, false}, {d + L"\\games\\.\\" + f, false}, {d + L"\\games\\..\\" + f, false},
        {L"\\\\?\\UNC\\\\share\\" + f, false}, {L"\\\\?\\UNC\\server\\..\\" + f, false},
        {d + L"\\games\\.vesko-" + record + L".TMP", false},
        {d + L"\\games\\.vesko-fedcba9876543210fedcba9876543210.tmp", false}, {d + L"\\games\\x" + f, false},
        {d + L"\\games\\" + f + L"\\", false}, {std::wstring(L"\\\\?\\D:\\ga\0es\\", 13) + f, false},
        {L"", false},
        {d + L"\\" + std::wstring(32767 - 7 - f.size() - 1, L'a') + L"\\" + f, true},
        {d + L"\\" + std::wstring(32767 - 7 - f.size(), L'a') + L"\\" + f, false}};
    // clang-format on
#else
    // A colon is an ordinary character here; only an absolute path with named components passes.
    const std::pair<std::wstring, bool> cases[] = {
        // clang-format off
        {L"/games/" + f, true}, {L"/" + f, true}, {L"/a:b/\u0418\u0433\u0440\u0430/" + f, true},
        {L"games/" + f, false}, {L"/games//" + f, false}, {L"/games/./" + f, false},
        {L"/games/../" + f, false}, {L"/games/x" + f, false}, {L"/games/" + f + L"/", false},
        {L"/games/.vesko-fedcba9876543210fedcba9876543210.tmp", false},
        {std::wstring(L"/ga\0es/", 7) + f, false}, {L"", false},
        {L"/" + std::wstring(32767 - 2 - f.size(), L'a') + L"/" + f, true},
        {L"/" + std::wstring(32767 - 1 - f.size(), L'a') + L"/" + f, false}};
    // clang-format on
#endif
    for (const auto& [path, accepted] : cases)
        EXPECT_EQ(IsRecordedTemporaryPath(path, record), accepted)
            << ToUtf8(path.substr(0, 80)) << " length " << path.size();
}

} // namespace
} // namespace vesko
