// The engine's entry point: one NSZ into one verified NSP.
#pragma once

#include "engine/ConversionError.h"

#include <cstdint>
#include <string>

namespace vesko {

struct ConversionResult {
    std::wstring outputPath;
    bool sourceDeleted = false;
    std::uint32_t sourceDeleteError = 0;
};

ConversionResult ConvertNszToNsp(const std::wstring& inputPath, const std::wstring& outputPath,
                                 const ProgressCallback& progress, const CancelFlag* cancelFlag,
                                 bool pickUnusedName, bool deleteSource);

} // namespace vesko
