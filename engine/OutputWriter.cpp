#include "engine/OutputWriter.h"

#include "engine/Limits.h"
#include "engine/OutputFile.h"

#include <algorithm>
#include <cstring>

namespace vesko {

using K = ConversionError::Kind;

void Sha256Hash::finishAndVerify(const std::array<std::uint8_t, 16>& expected,
                                 const std::string& outputName) {
    const std::array<std::uint8_t, 32> digest = context_.finish();
    if (std::memcmp(digest.data(), expected.data(), expected.size()) != 0)
        ThrowConversionError("Проверка SHA-256 не пройдена: " + outputName +
                                 ". Данные повреждены или изменены; NSP не сохранён.",
                             K::VerificationFailed);
}

OutputWriter::OutputWriter(OutputFile& output, const ProgressCallback& progress, const CancelFlag* cancelFlag,
                           std::uint64_t total)
    : output_(output), progress_(progress), cancelFlag_(cancelFlag), total_(total) {}

void OutputWriter::write(const void* data, std::uint64_t length) {
    throwIfCancelled(cancelFlag_);
    if (length > total_ - written_)
        ThrowConversionError("Ошибка размера выходного NSP.", K::Corrupt);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::uint64_t done = 0;
    while (done < length) {
        throwIfCurrentCancelled();
        const auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(length - done, kPieceSize));
        std::uint32_t wrote = 0;
        if (const std::uint32_t error = output_.writeSome(bytes + done, piece, wrote))
            ThrowWindowsErrorMapped(K::WriteFailed,
                                    "Не удалось записать NSP. Проверьте свободное место на диске.", error);
        if (wrote == 0)
            ThrowConversionError("Windows не смогла записать данные NSP.", K::WriteFailed);
        done += std::min<std::uint64_t>(wrote, piece);
    }
    written_ += length;
    reportProgress();
}

void OutputWriter::reportProgress() const {
    if (progress_)
        progress_(Progress{written_, total_, phase_});
}

} // namespace vesko
