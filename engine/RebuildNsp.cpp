#include "engine/RebuildNsp.h"

#include "engine/Decompress.h"
#include "engine/Limits.h"
#include "engine/NczLayout.h"
#include "engine/OutputWriter.h"
#include "engine/SectionEncryptor.h"

#include <memory>
#include <optional>

namespace vesko {

using K = ConversionError::Kind;

namespace {

void RebuildNczMember(const InputFile& input, const PlannedMember& member, OutputWriter& writer,
                      const CryptoProviders& providers, Sha256Hash* hash, const CancelFlag* cancelFlag) {
    const NczLayout layout = ParseNczLayout(input, member.sourceOffset, member.sourceSize, cancelFlag);
    if (layout.ncaSize != member.outputSize)
        ThrowConversionError("Входной файл изменился во время конвертации.", K::InputChanged);
    copyRange(input, member.sourceOffset, kNcaHeaderSize, writer, hash, cancelFlag);
    SectionEncryptor encryptor(layout, providers, writer, hash);
    ZstdStreamState state;
    DecompressNcaBody(state, input, layout, encryptor, cancelFlag);
    if (encryptor.position() != layout.ncaSize)
        ThrowConversionError("Повреждённый NCZ: не все секции восстановлены.", K::Corrupt);
}

} // namespace

void RebuildNsp(const InputFile& input, const std::vector<PlannedMember>& plan,
                const std::vector<std::uint8_t>& header, OutputWriter& writer,
                const CryptoProviders& providers, const CancelFlag* cancelFlag) {
    writer.write(header.data(), header.size(), nullptr);
    for (const PlannedMember& member : plan) {
        throwIfCancelled(cancelFlag);
        std::optional<Sha256Hash> hash;
        if (member.hasExpectedHash)
            hash.emplace(providers);
        Sha256Hash* memberHash = hash ? &*hash : nullptr;
        if (member.isNcz)
            RebuildNczMember(input, member, writer, providers, memberHash, cancelFlag);
        else
            copyRange(input, member.sourceOffset, member.sourceSize, writer, memberHash, cancelFlag);
        if (hash)
            hash->finishAndVerify(member.expectedHash, member.outputName);
    }
    if (writer.written() != writer.total())
        ThrowConversionError("Выходной NSP имеет неверный размер.", K::Corrupt);
}

} // namespace vesko
