#include "engine/ConversionError.h"

#include <gtest/gtest.h>

namespace vesko {
namespace {

using K = ConversionError::Kind;

TEST(ConversionError, KindValuesAreFixed) {
    const std::pair<K, std::uint32_t> expected[] = {
        {K::Corrupt, 0},          {K::Unsupported, 1},  {K::ReadFailed, 2},         {K::WriteFailed, 3},
        {K::NameConflict, 4},     {K::SystemCrypto, 5}, {K::VerificationFailed, 6}, {K::OutOfMemory, 7},
        {K::PathProblem, 8},      {K::InputChanged, 9}, {K::AccessDenied, 10},      {K::NotNsz, 11},
        {K::RecoveryRecords, 12},
    };
    for (const auto& [kind, value] : expected) {
        SCOPED_TRACE(KindName(kind));
        EXPECT_EQ(static_cast<std::uint32_t>(kind), value);
    }
}

TEST(ConversionError, PlainErrorCarriesMessageAndNoCodes) {
    try {
        ThrowConversionError("Это не NSZ-контейнер PFS0.", K::NotNsz);
        FAIL() << "no exception";
    } catch (const ConversionError& e) {
        EXPECT_STREQ(e.what(), "Это не NSZ-контейнер PFS0.");
        EXPECT_EQ(e.kind, K::NotNsz);
        EXPECT_EQ(e.windowsError, 0u);
        EXPECT_EQ(e.requiredBytes, 0u);
        EXPECT_EQ(e.availableBytes, 0u);
    }
}

struct WindowsErrorCase {
    bool mapped;
    std::uint32_t code;
    K expectedKind;
};

TEST(ConversionError, WindowsErrorSuffixAndAccessDeniedMapping) {
    const WindowsErrorCase cases[] = {
        {false, 23, K::ReadFailed},  {false, 5, K::ReadFailed},   {true, 5, K::AccessDenied},
        {true, 19, K::AccessDenied}, {true, 65, K::AccessDenied}, {true, 1314, K::AccessDenied},
        {true, 112, K::ReadFailed},  {true, 0, K::ReadFailed},    {true, 4294967295u, K::ReadFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        try {
            if (c.mapped)
                ThrowWindowsErrorMapped(K::ReadFailed, "Ошибка чтения входного файла.", c.code);
            else
                ThrowWindowsError(K::ReadFailed, "Ошибка чтения входного файла.", c.code);
            FAIL() << "no exception";
        } catch (const ConversionError& e) {
            EXPECT_EQ(e.kind, c.expectedKind);
            EXPECT_EQ(e.windowsError, c.code);
            EXPECT_EQ(std::string(e.what()),
                      "Ошибка чтения входного файла. (Windows " + std::to_string(c.code) + ")");
        }
    }
}

TEST(ConversionError, AbortedIsCancellationOnlyWhenRequested) {
    CancelFlag flag{0};
    CurrentCancelFlagScope scope(&flag);
    try {
        ThrowWindowsError(K::ReadFailed, "Ошибка чтения входного файла.", 995);
        FAIL() << "no exception";
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.kind, K::ReadFailed);
        EXPECT_STREQ(e.what(), "Ошибка чтения входного файла. (Windows 995)");
    }
    flag = 1;
    EXPECT_THROW(ThrowWindowsError(K::ReadFailed, "x", 995), Cancelled);
    EXPECT_THROW(ThrowWindowsErrorMapped(K::WriteFailed, "x", 995), Cancelled);
    try {
        ThrowWindowsError(K::ReadFailed, "x", 996);
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.windowsError, 996u);
    }
}

TEST(ConversionError, CancelFlagUsesBitZeroOnly) {
    CancelFlag flag{0};
    EXPECT_NO_THROW(throwIfCancelled(&flag));
    EXPECT_NO_THROW(throwIfCancelled(nullptr));
    flag = 2;
    EXPECT_NO_THROW(throwIfCancelled(&flag));
    flag = 3;
    EXPECT_THROW(throwIfCancelled(&flag), Cancelled);
    EXPECT_STREQ(Cancelled().what(), "Conversion cancelled");
}

TEST(ConversionError, CurrentFlagIsRestoredOnEveryWayOut) {
    CancelFlag outer{0};
    CancelFlag inner{1};
    CurrentCancelFlagScope outerScope(&outer);
    try {
        CurrentCancelFlagScope innerScope(&inner);
        EXPECT_EQ(currentCancelFlag, &inner);
        throwIfCurrentCancelled();
        FAIL() << "inner flag was not seen";
    } catch (const Cancelled&) {
    }
    EXPECT_EQ(currentCancelFlag, &outer);
    EXPECT_NO_THROW(throwIfCurrentCancelled());
}

} // namespace
} // namespace vesko
