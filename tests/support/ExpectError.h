// Checks that an action fails with exactly one ConversionError: kind, message and codes.
#pragma once

#include "engine/ConversionError.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

namespace vesko::test {

struct ExpectedError {
    ConversionError::Kind kind;
    std::string message;
    std::uint32_t windowsError = 0;
};

inline void ExpectConversionError(const std::function<void()>& action, const ExpectedError& expected) {
    try {
        action();
        ADD_FAILURE() << "no exception, expected " << expected.message;
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.kind, expected.kind) << KindName(e.kind) << " / " << e.what();
        EXPECT_EQ(std::string(e.what()), expected.message);
        EXPECT_EQ(e.windowsError, expected.windowsError);
        EXPECT_EQ(e.requiredBytes, 0u);
        EXPECT_EQ(e.availableBytes, 0u);
    } catch (const Cancelled&) {
        ADD_FAILURE() << "Cancelled, expected " << expected.message;
    }
}

} // namespace vesko::test
