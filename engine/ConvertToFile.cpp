#include "engine/ConvertToFile.h"

#include "engine/Container.h"
#include "engine/Crypto.h"
#include "engine/InputFile.h"
#include "engine/OutputHeader.h"
#include "engine/OutputWriter.h"
#include "engine/RebuildNsp.h"

namespace vesko {

std::uint64_t ConvertToOutputFile(const std::wstring& inputPath, OutputFile& output,
                                  const ProgressCallback& progress, const CancelFlag* cancelFlag) {
    CurrentCancelFlagScope scope(cancelFlag);
    const InputFile input(inputPath);
    return ConvertToOutputFile(input, output, progress, cancelFlag);
}

std::uint64_t ConvertToOutputFile(const InputFile& input, OutputFile& output,
                                  const ProgressCallback& progress, const CancelFlag* cancelFlag) {
    CurrentCancelFlagScope scope(cancelFlag);
    const std::vector<PlannedMember> plan = ReadContainer(input, cancelFlag);
    const OutputHeader header = BuildOutputHeader(plan);
    CryptoProviders providers;
    OutputWriter writer(output, progress, cancelFlag, header.totalSize);
    writer.reportProgress();
    RebuildNsp(input, plan, header.bytes, writer, providers, cancelFlag);
    return header.totalSize;
}

} // namespace vesko
