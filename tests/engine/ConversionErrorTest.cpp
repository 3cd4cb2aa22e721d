#include "engine/ConversionError.h"
#include "tests/support/ExpectError.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <utility>

namespace vesko {
namespace {

using K = ConversionError::Kind;

// The values number the failure texts and the names appear in the console converter's lines.
TEST(ConversionError, KindValuesAndNamesAreFixed) {
    const std::tuple<K, std::uint32_t, const char*> kinds[] = {
        {K::Corrupt, 0, "Corrupt"},
        {K::Unsupported, 1, "Unsupported"},
        {K::ReadFailed, 2, "ReadFailed"},
        {K::WriteFailed, 3, "WriteFailed"},
        {K::NameConflict, 4, "NameConflict"},
        {K::SystemCrypto, 5, "SystemCrypto"},
        {K::VerificationFailed, 6, "VerificationFailed"},
        {K::OutOfMemory, 7, "OutOfMemory"},
        {K::PathProblem, 8, "PathProblem"},
        {K::InputChanged, 9, "InputChanged"},
        {K::AccessDenied, 10, "AccessDenied"},
        {K::NotNsz, 11, "NotNsz"},
        {K::RecoveryRecords, 12, "RecoveryRecords"},
        {static_cast<K>(13), 13, "Unknown"}};
    for (const auto& [kind, value, name] : kinds) {
        EXPECT_EQ(static_cast<std::uint32_t>(kind), value) << name;
        EXPECT_STREQ(KindName(kind), name);
    }
}

TEST(ConversionError, MessageCodeSuffixAndAccessDeniedMapping) {
    const std::string read = "Ошибка чтения входного файла.";
    const auto plain = [&](std::uint32_t code) {
        return [=] { ThrowWindowsError(K::ReadFailed, read, code); };
    };
    const auto mapped = [&](std::uint32_t code) {
        return [=] { ThrowWindowsErrorMapped(K::ReadFailed, read, code); };
    };
    const std::pair<std::function<void()>, test::ExpectedError> cases[] = {
        {[] { ThrowConversionError("Это не NSZ-контейнер PFS0.", K::NotNsz); },
         {K::NotNsz, "Это не NSZ-контейнер PFS0."}},
        {plain(23), {K::ReadFailed, read + " (Windows 23)", 23}},
        {plain(5), {K::ReadFailed, read + " (Windows 5)", 5}},
        {mapped(5), {K::AccessDenied, read + " (Windows 5)", 5}},
        {mapped(19), {K::AccessDenied, read + " (Windows 19)", 19}},
        {mapped(65), {K::AccessDenied, read + " (Windows 65)", 65}},
        {mapped(1314), {K::AccessDenied, read + " (Windows 1314)", 1314}},
        {mapped(112), {K::ReadFailed, read + " (Windows 112)", 112}},
        {mapped(0), {K::ReadFailed, read + " (Windows 0)", 0}},
        {mapped(4294967295u), {K::ReadFailed, read + " (Windows 4294967295)", 4294967295u}},
        // 995 (aborted) is cancellation only while a cancel is requested.
        {plain(995), {K::ReadFailed, read + " (Windows 995)", 995}},
    };
    CancelFlag flag{0};
    CurrentCancelFlagScope scope(&flag);
    for (const auto& [action, expected] : cases) {
        SCOPED_TRACE(expected.message);
        test::ExpectConversionError(action, expected);
    }
    flag = 1;
    EXPECT_THROW(ThrowWindowsError(K::ReadFailed, "x", 995), Cancelled);
    EXPECT_THROW(ThrowWindowsErrorMapped(K::WriteFailed, "x", 995), Cancelled);
    test::ExpectConversionError(plain(996), {K::ReadFailed, read + " (Windows 996)", 996});
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
