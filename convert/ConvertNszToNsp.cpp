#include "convert/ConvertNszToNsp.h"

#include "convert/DriverSystem.h"
#include "convert/SourceDeletion.h"

#include "engine/Container.h"
#include "engine/Crypto.h"
#include "engine/InputFile.h"
#include "engine/OutputFile.h"
#include "engine/OutputHeader.h"
#include "engine/OutputWriter.h"
#include "engine/Paths.h"
#include "engine/RebuildNsp.h"
#include "storage/OutputSpace.h"
#include "storage/PendingOutput.h"
#include "storage/PublishOutput.h"

#include <memory>
#include <optional>

namespace vesko {

namespace {

using K = ConversionError::Kind;

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorPathNotFound = 3;

constexpr const char* kMsgNameConflict = "Выходной NSP уже существует. Выберите другое имя.";

} // namespace

ConversionResult ConvertNszToNsp(const std::wstring& inputPath, const std::wstring& outputPath,
                                 const ProgressCallback& progress, const CancelFlag* cancelFlag,
                                 bool pickUnusedName, bool deleteSource) {
    CurrentCancelFlagScope cancelScope(cancelFlag);
    throwIfCancelled(cancelFlag);

    const std::wstring fullInput = ToFullPath(inputPath);
    const std::wstring fullOutput = ToFullPath(outputPath);
    const std::wstring longInput = FileCallPath(fullInput);
    const std::wstring longOutput = FileCallPath(fullOutput);
    if (IsSameFile(longInput, longOutput))
        ThrowConversionError(kMsgNameConflict, K::NameConflict);
    throwIfCancelled(cancelFlag);

    std::uint32_t outputProbeError = 0;
    if (OutputPathExists(longOutput, outputProbeError) && !pickUnusedName)
        ThrowConversionError(kMsgNameConflict, K::NameConflict);
    throwIfCancelled(cancelFlag);

    InputFile input(longInput);
    std::optional<FileIdentity> identity;
    std::uint32_t identityError = 0;
    if (deleteSource) {
        FileIdentity recorded;
        identityError = input.queryIdentity(recorded);
        if (identityError == 0)
            identity = recorded;
    }
    throwIfCurrentCancelled();

    const std::vector<PlannedMember> plan = ReadContainer(input, cancelFlag);
    if (outputProbeError != 0 && outputProbeError != kErrorFileNotFound &&
        outputProbeError != kErrorPathNotFound)
        ThrowWindowsErrorMapped(K::PathProblem, "Не удалось проверить путь выходного файла.",
                                outputProbeError);

    const OutputHeader header = BuildOutputHeader(plan);
    throwIfCancelled(cancelFlag);
    CheckOutputSpace(fullOutput, header.totalSize, cancelFlag);
    const CryptoProviders providers;

    std::unique_ptr<PendingOutput> pending;
    CreatePendingOutput(pending, fullOutput, cancelFlag);
    const std::unique_ptr<OutputFile> output = BorrowReservedOutput(*pending);
    OutputWriter writer(*output, progress, cancelFlag, header.totalSize);
    writer.reportProgress();
    RebuildNsp(input, plan, header.bytes, writer, providers, cancelFlag);
    throwIfCancelled(cancelFlag);
    writer.setPhase(ProgressPhase::Finishing);
    writer.reportProgress();

    ConversionResult result;
    result.outputPath = PublishOutput(pending, fullOutput, pickUnusedName, cancelFlag);
    if (deleteSource) {
        input.close();
        result.sourceDeleteError =
            DeleteSourceIfUnchanged(longInput, identity ? &*identity : nullptr, identityError,
                                    pending->publishFlushError(), cancelFlag);
        result.sourceDeleted = result.sourceDeleteError == 0;
    }
    return result;
}

} // namespace vesko
