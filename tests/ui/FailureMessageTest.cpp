// Failures to texts: the kind and Windows code rules, the space line, destination failures.
#include "ui/FailureMessage.h"
#include "ui/ScopedInterfaceLanguage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

namespace vesko {
namespace {

using Kind = ConversionError::Kind;
using enum TextKey;

ConversionError Error(Kind kind, std::uint32_t code = 0, std::uint64_t required = 0,
                      std::uint64_t available = 0) {
    return ConversionError("diagnostic text never shown", kind, code, required, available);
}

struct KeyCase {
    std::uint32_t kind;
    std::uint32_t code;
    TextKey expected;
    bool destination;
};

TEST(FailureMessageKey, KindAndWindowsCodeRules) {
    const KeyCase cases[] = {
        // Kinds that decide alone, whatever the code.
        {0, 0, TextErrDamaged, false},
        {0, 112, TextErrDamaged, false},
        {1, 0, TextErrUnsupported, false},
        {4, 183, TextErrNameInUse, false},
        {5, 0, TextErrInternal, false},
        {6, 0, TextErrVerification, false},
        {7, 0, TextErrOutOfMemory, false},
        {9, 0, TextErrSourceChanged, false},
        {10, 5, TextErrFolderNotWritable, true},
        {10, 0, TextErrFolderNotWritable, true},
        {10, 32, TextErrFolderNotWritable, true},
        {11, 0, TextErrNotNsz, false},
        {12, 112, TextErrRecoveryRecords, false},
        {13, 0, TextErrUnexpected, false},
        {13, 112, TextErrUnexpected, false},
        {0xFFFFFFFFu, 0, TextErrUnexpected, false},
        // ReadFailed (2).
        {2, 32, TextErrFileInUse, false},
        {2, 33, TextErrFileInUse, false},
        {2, 8, TextErrOutOfMemory, false},
        {2, 14, TextErrOutOfMemory, false},
        {2, 1816, TextErrOutOfMemory, false},
        {2, 21, TextErrDriveUnavailable, false},
        {2, 55, TextErrDriveUnavailable, false},
        {2, 1117, TextErrDriveUnavailable, false},
        {2, 1167, TextErrDriveUnavailable, false},
        {2, 2, TextErrSourceMissing, false},
        {2, 3, TextErrSourceMissing, false},
        {2, 5, TextErrAccessDenied, false},
        {2, 65, TextErrAccessDenied, false},
        {2, 1314, TextErrAccessDenied, false},
        {2, 0, TextErrRead, false},
        {2, 112, TextErrRead, false},
        {2, 39, TextErrRead, false},
        {2, 223, TextErrRead, false},
        {2, 1295, TextErrRead, false},
        {2, 23, TextErrRead, false},
        // WriteFailed (3).
        {3, 32, TextErrFileInUse, false},
        {3, 33, TextErrFileInUse, false},
        {3, 8, TextErrOutOfMemory, false},
        {3, 1816, TextErrOutOfMemory, false},
        {3, 21, TextErrDriveUnavailable, false},
        {3, 1167, TextErrDriveUnavailable, false},
        {3, 39, TextErrDiskFull, true},
        {3, 112, TextErrDiskFull, true},
        {3, 1295, TextErrDiskFull, true},
        {3, 223, TextErrFileTooLarge, true},
        {3, 2, TextErrSave, false},
        {3, 5, TextErrSave, false},
        {3, 0, TextErrSave, false},
        // PathProblem (8).
        {8, 32, TextErrFileInUse, false},
        {8, 14, TextErrOutOfMemory, false},
        {8, 55, TextErrDriveUnavailable, false},
        {8, 1117, TextErrDriveUnavailable, false},
        {8, 39, TextErrDiskFull, true},
        {8, 112, TextErrDiskFull, true},
        {8, 1295, TextErrDiskFull, true},
        {8, 223, TextErrFileTooLarge, true},
        {8, 3, TextErrPathAccess, false},
        {8, 0, TextErrPathAccess, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("kind " + std::to_string(c.kind) + ", code " + std::to_string(c.code));
        const ConversionError error = Error(static_cast<Kind>(c.kind), c.code);
        EXPECT_EQ(static_cast<int>(FailureMessageKey(error)), static_cast<int>(c.expected));
        EXPECT_EQ(IsDestinationFailure(error), c.destination);
    }
}

std::wstring InArabic(TextKey key) {
    return TextsFor(InterfaceLanguage::Arabic)[static_cast<std::size_t>(key)];
}

struct MessageCase {
    const char* why;
    InterfaceLanguage language;
    ConversionError error;
    std::wstring expected;
};

TEST(FailureMessage, SentenceAndSpaceLineInTheCurrentLanguage) {
    using enum InterfaceLanguage;
    const ConversionError spaceCheck = Error(Kind::WriteFailed, 112, 5000000000, 1288490188);
    const MessageCase cases[] = {
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
    const std::pair<std::uint32_t, TextKey> cases[] = {
        {32, TextSourceInUseKept},  {33, TextSourceInUseKept}, {5, TextSourceNotDeleted},
        {0, TextSourceNotDeleted},  {2, TextSourceNotDeleted}, {34, TextSourceNotDeleted},
        {31, TextSourceNotDeleted},
    };
    for (const auto& [code, expected] : cases) {
        SCOPED_TRACE(code);
        EXPECT_EQ(static_cast<int>(SourceKeptWarningKey(code)), static_cast<int>(expected));
    }
}

} // namespace
} // namespace vesko
