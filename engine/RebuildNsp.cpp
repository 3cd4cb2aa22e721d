#include "engine/RebuildNsp.h"

#include "engine/Decompress.h"
#include "engine/Limits.h"
#include "engine/NczLayout.h"
#include "engine/OutputWriter.h"
#include "engine/RebuildPipeline.h"
#include "engine/SectionEncryptor.h"

#include <memory>
#include <stdexcept>

namespace vesko {

using K = ConversionError::Kind;

namespace {

// The converting thread: every read of the input, in the order the serial rebuild would make them.
void ReadMember(const InputFile& input, const PlannedMember& member, RebuildPipeline& pipeline,
                const CancelFlag* cancelFlag) {
    throwIfCancelled(cancelFlag);
    pipeline.putMarker(InputKind::MemberStart, &member);
    if (member.isNcz) {
        auto layout = std::make_shared<const NczLayout>(
            ParseNczLayout(input, member.sourceOffset, member.sourceSize, cancelFlag));
        if (layout->ncaSize != member.outputSize)
            ThrowConversionError("Входной файл изменился во время конвертации.", K::InputChanged);
        ReadRange(input, member.sourceOffset, kNcaHeaderSize, InputKind::Copy, pipeline, cancelFlag);
        pipeline.putBodyStart(layout);
        ReadNcaBody(input, *layout, pipeline, cancelFlag);
    } else {
        ReadRange(input, member.sourceOffset, member.sourceSize, InputKind::Copy, pipeline, cancelFlag);
    }
    pipeline.putMarker(InputKind::MemberEnd, &member);
}

// The decoder thread: the reader's pieces become output pieces, one for one or one per decoder call.
void DecodeMembers(RebuildPipeline& pipeline, const CryptoProviders& providers,
                   const CancelFlag* cancelFlag) {
    std::shared_ptr<const NczLayout> layout;
    std::unique_ptr<SectionEncryptor> encryptor;
    std::unique_ptr<ZstdStreamState> zstd;
    for (;;) {
        InputPiece& in = pipeline.takeInput();
        switch (in.kind) {
        case InputKind::MemberStart:
            pipeline.putOutput(OutputKind::MemberStart, in.member);
            break;
        case InputKind::Copy: {
            const std::uint32_t size = in.size;
            pipeline.decodedChunks().write(pipeline.passOn(), size);
            pipeline.putOutput(OutputKind::Bytes);
            break;
        }
        case InputKind::BodyStart:
            layout = std::move(in.layout);
            encryptor = std::make_unique<SectionEncryptor>(*layout, providers, pipeline.decodedChunks());
            zstd = std::make_unique<ZstdStreamState>();
            break;
        case InputKind::Stored: {
            const std::uint32_t size = in.size;
            encryptor->push(pipeline.passOn(), size);
            pipeline.putOutput(OutputKind::Bytes);
            break;
        }
        case InputKind::FrameStart:
            DecompressStream(*zstd, pipeline, in.frameLength, in.frameExpected, *encryptor, cancelFlag);
            break;
        case InputKind::FrameData:
            throw std::logic_error("frame data outside a frame");
        case InputKind::MemberEnd:
            if (encryptor && encryptor->position() != layout->ncaSize)
                ThrowConversionError("Повреждённый NCZ: не все секции восстановлены.", K::Corrupt);
            // The decoder, its window and the layout go before the next member's.
            zstd.reset();
            encryptor.reset();
            layout.reset();
            pipeline.putOutput(OutputKind::MemberEnd, in.member);
            break;
        case InputKind::Failure:
            std::rethrow_exception(in.failure);
        case InputKind::End:
            pipeline.putOutput(OutputKind::End);
            return;
        }
    }
}

} // namespace

void RebuildNsp(const InputFile& input, const std::vector<PlannedMember>& plan,
                const std::vector<std::uint8_t>& header, OutputWriter& writer,
                const CryptoProviders& providers, const CancelFlag* cancelFlag) {
    writer.write(header.data(), header.size());
    RebuildPipeline pipeline(writer, providers, cancelFlag,
                             [&](RebuildPipeline& p) { DecodeMembers(p, providers, cancelFlag); });
    pipeline.run([&](RebuildPipeline& p) {
        for (const PlannedMember& member : plan)
            ReadMember(input, member, p, cancelFlag);
    });
    if (writer.written() != writer.total())
        ThrowConversionError("Выходной NSP имеет неверный размер.", K::Corrupt);
}

} // namespace vesko
