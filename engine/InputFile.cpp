#include "engine/InputFile.h"

#include "engine/ConversionError.h"
#include "engine/Limits.h"

#include <algorithm>

namespace vesko {

void InputFile::readAt(std::uint64_t offset, void* buffer, std::uint64_t length) const {
    using K = ConversionError::Kind;
    throwIfCurrentCancelled();
    if (!RangeFits(offset, length))
        ThrowConversionError(kMsgOverflow, K::Corrupt);
    if (const std::uint32_t error = seekTo(offset))
        ThrowWindowsError(K::ReadFailed, "Не удалось перейти к данным входного файла.", error);
    auto* out = static_cast<unsigned char*>(buffer);
    std::uint64_t done = 0;
    while (done < length) {
        throwIfCurrentCancelled();
        const auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(length - done, kPieceSize));
        std::uint32_t got = 0;
        if (const std::uint32_t error = readSome(out + done, piece, got))
            ThrowWindowsError(K::ReadFailed, "Ошибка чтения входного файла.", error);
        if (got == 0)
            ThrowConversionError("Входной файл обрезан: отсутствуют ожидаемые данные.", K::Corrupt);
        done += got;
    }
}

} // namespace vesko
