// Failures to texts: the kind and Windows code rules, the space line, destination failures; and sizes as
// text: unit boundary, the three roundings, decimal separators and units per language.
#include "ui/FailureMessage.h"
#include "ui/ScopedInterfaceLanguage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vesko {
namespace {

using Kind = ConversionError::Kind;
using enum TextKey;

ConversionError Error(Kind kind, std::uint32_t code = 0, std::uint64_t required = 0,
                      std::uint64_t available = 0) {
    return ConversionError("diagnostic text never shown", kind, code, required, available);
}

TEST(FailureMessageKey, KindAndWindowsCodeRules) {
    struct Case {
        std::uint32_t kind;
        std::vector<std::uint32_t> codes;
        TextKey expected;
        bool destination;
    };
    // clang-format off
    const Case cases[] = {
        // Kinds that decide alone, whatever the code.
        {0, {0, 112}, TextErrDamaged, false}, {1, {0}, TextErrUnsupported, false},
        {4, {183}, TextErrNameInUse, false}, {5, {0}, TextErrInternal, false},
        {6, {0}, TextErrVerification, false}, {7, {0}, TextErrOutOfMemory, false},
        {9, {0}, TextErrSourceChanged, false}, {10, {5, 0, 32}, TextErrFolderNotWritable, true},
        {11, {0}, TextErrNotNsz, false}, {12, {112}, TextErrRecoveryRecords, false},
        {13, {0, 112}, TextErrUnexpected, false}, {0xFFFFFFFFu, {0}, TextErrUnexpected, false},
        // ReadFailed (2), WriteFailed (3) and PathProblem (8).
        {2, {32, 33}, TextErrFileInUse, false}, {2, {8, 14, 1816}, TextErrOutOfMemory, false},
        {2, {21, 55, 1117, 1167}, TextErrDriveUnavailable, false}, {2, {2, 3}, TextErrSourceMissing, false},
        {2, {5, 65, 1314}, TextErrAccessDenied, false}, {2, {0, 112, 39, 223, 1295, 23}, TextErrRead, false},
        {3, {32, 33}, TextErrFileInUse, false}, {3, {8, 1816}, TextErrOutOfMemory, false},
        {3, {21, 1167}, TextErrDriveUnavailable, false}, {3, {39, 112, 1295}, TextErrDiskFull, true},
        {3, {223}, TextErrFileTooLarge, true}, {3, {2, 5, 0}, TextErrSave, false},
        {8, {32}, TextErrFileInUse, false}, {8, {14}, TextErrOutOfMemory, false},
        {8, {55, 1117}, TextErrDriveUnavailable, false}, {8, {39, 112, 1295}, TextErrDiskFull, true},
        {8, {223}, TextErrFileTooLarge, true}, {8, {3, 0}, TextErrPathAccess, false},
    };
    // clang-format on
    for (const auto& c : cases) {
        for (std::uint32_t code : c.codes) {
            SCOPED_TRACE("kind " + std::to_string(c.kind) + ", code " + std::to_string(code));
            const ConversionError error = Error(static_cast<Kind>(c.kind), code);
            EXPECT_EQ(static_cast<int>(FailureMessageKey(error)), static_cast<int>(c.expected));
            EXPECT_EQ(IsDestinationFailure(error), c.destination);
        }
    }
}

std::wstring InArabic(TextKey key) {
    return TextsFor(InterfaceLanguage::Arabic)[static_cast<std::size_t>(key)];
}

TEST(FailureMessage, SentenceAndSpaceLineInTheCurrentLanguage) {
    using enum InterfaceLanguage;
    struct Case {
        const char* why;
        InterfaceLanguage language;
        ConversionError error;
        std::wstring expected;
    };
    const ConversionError spaceCheck = Error(Kind::WriteFailed, 112, 5000000000, 1288490188);
    const Case cases[] = {
        {"space check", English, spaceCheck,
         L"The disk is full. Free up space or choose another disk.\nRequired: 4.7 GB \u00B7 Available: 1.1 "
         L"GB"},
        {"space check in Russian", Russian, spaceCheck,
         L"На диске закончилось место. Освободите место или выберите другой диск.\n"
         L"Требуется: 4,7 ГБ \u00B7 Доступно: 1,1 ГБ"},
        {"space check in Arabic", Arabic, spaceCheck,
         InArabic(TextErrDiskFull) + L"\n" + InArabic(TextRequired) + L": \u200E4.7 غ.ب\u200E \u00B7 " +
             InArabic(TextAvailable) + L": \u200E1.1 غ.ب\u200E"},
        {"nothing available is still shown", English, Error(Kind::WriteFailed, 112, 1, 0),
         L"The disk is full. Free up space or choose another disk.\nRequired: 0.1 MB \u00B7 Available: 0.0 "
         L"MB"},
        {"112 without required bytes", English, Error(Kind::WriteFailed, 112),
         L"The disk is full. Free up space or choose another disk."},
        {"39 is not 112", English, Error(Kind::PathProblem, 39, 5000000000, 1288490188),
         L"The disk is full. Free up space or choose another disk."},
        {"223 carries required bytes but no figures", English, Error(Kind::WriteFailed, 223, 5000000000),
         L"This drive cannot store a file this large. Choose a drive formatted as NTFS or exFAT."},
        {"a read failure never talks about space", English,
         Error(Kind::ReadFailed, 112, 5000000000, 1288490188),
         L"Could not read the file. Copy it to a local folder and try again."},
        {"no space line under another sentence", English,
         Error(Kind::AccessDenied, 112, 5000000000, 1288490188),
         L"Cannot write to this folder. Choose another folder for the NSP."},
        {"unknown kind", English, Error(static_cast<Kind>(13)),
         L"An unexpected error stopped conversion. Restart the app and try again."},
        {"Italian", Italian, Error(Kind::Corrupt),
         TextsFor(Italian)[static_cast<std::size_t>(TextErrDamaged)]},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        ScopedInterfaceLanguage language(c.language);
        EXPECT_EQ(FailureMessage(c.error), c.expected);
    }
}

TEST(SourceKeptWarningKey, InUseCodesNameTheOtherApp) {
    for (std::uint32_t code : {32u, 33u, 5u, 0u, 2u, 34u, 31u}) {
        SCOPED_TRACE(code);
        const TextKey expected = code == 32 || code == 33 ? TextSourceInUseKept : TextSourceNotDeleted;
        EXPECT_EQ(static_cast<int>(SourceKeptWarningKey(code)), static_cast<int>(expected));
    }
}

struct SizeCase {
    std::uint64_t bytes;
    const wchar_t* up;
    const wchar_t* down;
    const wchar_t* nearest;
};

TEST(FormatSize, RoundingAndUnitInEnglish) {
    ScopedInterfaceLanguage english(InterfaceLanguage::English);
    // An exact half of a tenth (0.25 MiB) rounds up, just below it rounds down; exact tenths stay where
    // they are in every rounding; the last byte below 1 GiB is still counted in megabytes, even when it
    // rounds to 1024.0; and as a double the largest count is 2^64 exactly, a tenth too much for Down.
    // clang-format off
    const SizeCase cases[] = {
        {0, L"0.0 MB", L"0.0 MB", L"0.0 MB"}, {1, L"0.1 MB", L"0.0 MB", L"0.0 MB"},
        {1363149, L"1.4 MB", L"1.3 MB", L"1.3 MB"}, {262144, L"0.3 MB", L"0.2 MB", L"0.3 MB"},
        {262143, L"0.3 MB", L"0.2 MB", L"0.2 MB"}, {524288, L"0.5 MB", L"0.5 MB", L"0.5 MB"},
        {524289, L"0.6 MB", L"0.5 MB", L"0.5 MB"}, {1048575, L"1.0 MB", L"0.9 MB", L"1.0 MB"},
        {1048576, L"1.0 MB", L"1.0 MB", L"1.0 MB"}, {1073741823, L"1024.0 MB", L"1023.9 MB", L"1024.0 MB"},
        {1073741824, L"1.0 GB", L"1.0 GB", L"1.0 GB"}, {1073741825, L"1.1 GB", L"1.0 GB", L"1.0 GB"},
        {1610612736, L"1.5 GB", L"1.5 GB", L"1.5 GB"}, {1288490188, L"1.2 GB", L"1.1 GB", L"1.2 GB"},
        {5000000000, L"4.7 GB", L"4.6 GB", L"4.7 GB"}, {1099511627776, L"1024.0 GB", L"1024.0 GB", L"1024.0 GB"},
        {18446744073709551615u, L"17179869184.0 GB", L"17179869183.9 GB", L"17179869184.0 GB"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(FormatSize(c.bytes, SizeRounding::Up), c.up);
        EXPECT_EQ(FormatSize(c.bytes, SizeRounding::Down), c.down);
        EXPECT_EQ(FormatSize(c.bytes, SizeRounding::Nearest), c.nearest);
    }
}

struct LanguageCase {
    InterfaceLanguage language;
    const wchar_t* gigabytes;
    const wchar_t* megabytes;
};

TEST(FormatSize, DecimalSeparatorAndUnitFollowTheLanguage) {
    using enum InterfaceLanguage;
    // clang-format off
    const LanguageCase cases[] = {
        {English, L"1.5 GB", L"12.5 MB"}, {Russian, L"1,5 ГБ", L"12,5 МБ"}, {Spanish, L"1,5 GB", L"12,5 MB"},
        {PortugueseBrazil, L"1,5 GB", L"12,5 MB"}, {Arabic, L"1.5 غ.ب", L"12.5 م.ب"}, {Italian, L"1,5 GB", L"12,5 MB"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.language));
        ScopedInterfaceLanguage scoped(c.language);
        EXPECT_EQ(FormatSize(1610612736, SizeRounding::Nearest), c.gigabytes);
        EXPECT_EQ(FormatSize(13107200, SizeRounding::Up), c.megabytes);
    }
}

TEST(FormatSize, ArabicSizeItselfCarriesNoMarks) {
    // The caller isolates the size where it inserts it; the size text alone stays plain.
    ScopedInterfaceLanguage arabic(InterfaceLanguage::Arabic);
    EXPECT_EQ(FormatSize(1610612736, SizeRounding::Up).find(L'\u200E'), std::wstring::npos);
    EXPECT_EQ(IsolateLeftToRight(FormatSize(1610612736, SizeRounding::Up)), L"\u200E1.5 غ.ب\u200E");
}

} // namespace
} // namespace vesko
