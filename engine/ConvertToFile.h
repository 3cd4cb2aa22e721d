// Converting to a plain file, without reservation or publishing: for tools and tests on any system.
#pragma once

#include "engine/ConversionError.h"

#include <cstdint>
#include <string>

namespace vesko {

class InputFile;
class OutputFile;

// Plans the input, then writes the whole NSP into `output`; returns the NSP's size.
std::uint64_t ConvertToOutputFile(const std::wstring& inputPath, OutputFile& output,
                                  const ProgressCallback& progress, const CancelFlag* cancelFlag);
// The same from an input that is already open.
std::uint64_t ConvertToOutputFile(const InputFile& input, OutputFile& output,
                                  const ProgressCallback& progress, const CancelFlag* cancelFlag);

} // namespace vesko
