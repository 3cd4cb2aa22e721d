#include "engine/Container.h"

#include "engine/Bytes.h"
#include "engine/InputFile.h"
#include "engine/Limits.h"
#include "engine/NczLayout.h"
#include "engine/OutputHeader.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <utility>

namespace vesko {

namespace {

using K = ConversionError::Kind;

constexpr const char* kMsgTooShort = "Файл слишком короткий для NSZ.";
constexpr const char* kMsgBadHeader =
    "Повреждённый PFS0: некорректный заголовок или слишком большая таблица файлов.";
constexpr std::uint64_t kPfs0HeaderSize = 16;
constexpr std::uint64_t kEntrySize = 24;
// The entry table is read through a buffer of this many entries, never loaded whole.
constexpr std::uint64_t kEntryChunk = 4096;

std::string FoldName(std::string name) {
    for (char& c : name)
        c = FoldAscii(c);
    return name;
}

bool EndsWith(const std::string& text, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

bool IsPathCharacter(char c) {
    return c == '/' || c == ':' || c == '\\';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// A name of 32 hexadecimal digits and ".nca" or ".ncz" carries the first 16 bytes of the member's SHA-256.
void ReadExpectedHash(const std::string& folded, PlannedMember& member) {
    if (folded.size() != 36 || !(EndsWith(folded, ".nca") || EndsWith(folded, ".ncz")))
        return;
    for (std::size_t i = 0; i < 16; ++i) {
        const int high = HexValue(folded[2 * i]);
        const int low = HexValue(folded[2 * i + 1]);
        if (high < 0 || low < 0)
            return;
        member.expectedHash[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    member.hasExpectedHash = true;
}

// Output names compared without ASCII case, by their place in the plan: no second copy of a name.
// Names sharing long prefixes are common in hostile tables, so equal runs are skipped a block at a time.
struct FoldedNameLess {
    const std::vector<PlannedMember>& plan;
    bool operator()(std::size_t a, std::size_t b) const {
        const std::string& left = plan[a].outputName;
        const std::string& right = plan[b].outputName;
        const std::size_t common = std::min(left.size(), right.size());
        constexpr std::size_t kBlock = 64;
        for (std::size_t i = 0; i < common;) {
            const std::size_t end = std::min(common, i + kBlock);
            if (std::memcmp(left.data() + i, right.data() + i, end - i) == 0) {
                i = end;
                continue;
            }
            for (; i < end; ++i) {
                const auto x = static_cast<unsigned char>(FoldAscii(left[i]));
                const auto y = static_cast<unsigned char>(FoldAscii(right[i]));
                if (x != y)
                    return x < y;
            }
        }
        return left.size() < right.size();
    }
};

} // namespace

std::vector<PlannedMember> ReadContainer(const InputFile& input, const CancelFlag* cancelFlag) {
    const std::uint64_t fileSize = input.size();
    if (fileSize < 4)
        ThrowConversionError(kMsgTooShort, K::NotNsz);

    std::uint8_t header[kPfs0HeaderSize] = {};
    input.readAt(0, header, std::min<std::uint64_t>(fileSize, kPfs0HeaderSize));
    if (std::memcmp(header, "PFS0", 4) != 0)
        ThrowConversionError("Это не NSZ-контейнер PFS0.", K::NotNsz);
    if (fileSize < kPfs0HeaderSize)
        ThrowConversionError(kMsgTooShort, K::Corrupt);

    const std::uint64_t count = LoadLe32(header + 4);
    const std::uint64_t stringTableSize = LoadLe32(header + 8);
    const std::uint64_t entryTableSize = kEntrySize * count;
    const std::uint64_t headerEnd = kPfs0HeaderSize + entryTableSize + stringTableSize;
    if (count == 0 || headerEnd > fileSize)
        ThrowConversionError(kMsgBadHeader, K::Corrupt);
    if (entryTableSize + stringTableSize > kMaxTableBytes)
        ThrowConversionError(kMsgBadHeader, K::Unsupported);

    std::vector<std::uint8_t> strings(static_cast<std::size_t>(stringTableSize));
    if (stringTableSize != 0)
        input.readAt(kPfs0HeaderSize + entryTableSize, strings.data(), stringTableSize);

    // Entries may share one name's bytes, so the names copied are bounded by the output header's limit,
    // counted as they are accepted, and not by the table's size.
    std::vector<PlannedMember> plan;
    std::set<std::size_t, FoldedNameLess> namesSeen(FoldedNameLess{plan});
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
    std::uint64_t outputHeaderSize = kPfs0HeaderSize + kEntrySize * count;
    std::vector<std::uint8_t> entries;

    for (std::uint64_t i = 0; i < count; ++i) {
        throwIfCancelled(cancelFlag);
        const std::uint64_t inChunk = i % kEntryChunk;
        if (inChunk == 0) {
            entries.resize(static_cast<std::size_t>(kEntrySize * std::min(kEntryChunk, count - i)));
            input.readAt(kPfs0HeaderSize + kEntrySize * i, entries.data(), entries.size());
        }
        const std::uint8_t* entry = entries.data() + kEntrySize * inChunk;
        const std::uint64_t dataOffset = LoadLe64(entry);
        const std::uint64_t dataSize = LoadLe64(entry + 8);
        const std::uint64_t nameOffset = LoadLe32(entry + 16);

        if (!RangeFits(headerEnd, dataOffset))
            ThrowConversionError(kMsgOverflow, K::Corrupt);
        const std::uint64_t start = headerEnd + dataOffset;
        if (!RangeFits(start, dataSize))
            ThrowConversionError(kMsgOverflow, K::Corrupt);
        const std::uint64_t end = start + dataSize;
        if (end > fileSize)
            ThrowConversionError("Повреждённый PFS0: файл выходит за границы контейнера.", K::Corrupt);
        if (dataSize != 0)
            ranges.emplace_back(start, end);

        if (nameOffset >= stringTableSize)
            ThrowConversionError("Повреждённый PFS0: неверное имя файла.", K::Corrupt);
        const auto* nameStart = strings.data() + nameOffset;
        const auto* tableEnd = strings.data() + strings.size();
        const auto* terminator = std::find(nameStart, tableEnd, std::uint8_t{0});
        const auto nameLength = static_cast<std::uint64_t>(terminator - nameStart);
        if (terminator == tableEnd || nameLength == 0 || nameLength > kMaxNameBytes)
            ThrowConversionError("Повреждённый PFS0: некорректная строка имени файла.", K::Corrupt);
        std::string name(reinterpret_cast<const char*>(nameStart), static_cast<std::size_t>(nameLength));
        if (std::any_of(name.begin(), name.end(), IsPathCharacter) || name == "." || name == "..")
            ThrowConversionError("Повреждённый PFS0: имя элемента содержит путь.", K::Corrupt);
        // An output name is as long as its source name; the limit is a multiple of 16, so the padding
        // of the finished header cannot carry it past.
        outputHeaderSize += nameLength + 1;
        if (outputHeaderSize > kMaxTableBytes)
            ThrowConversionError(kMsgOutputHeaderTooLarge, K::Unsupported);

        PlannedMember member;
        member.sourceOffset = start;
        member.sourceSize = dataSize;
        const std::string folded = FoldName(name);
        member.isNcz = folded.size() >= 4 && EndsWith(folded, ".ncz");
        member.outputName = member.isNcz ? name.substr(0, name.size() - 4) + ".nca" : name;
        // An NCZ's size comes from its tables, read below once no ranges overlap.
        member.outputSize = dataSize;
        ReadExpectedHash(folded, member);
        plan.push_back(std::move(member));
        if (!namesSeen.insert(plan.size() - 1).second)
            ThrowConversionError("В контейнере обнаружены совпадающие имена файлов.", K::Corrupt);
    }

    // Before any NCZ table is read: members sharing one range would have its tables read again and again.
    std::sort(ranges.begin(), ranges.end());
    for (std::size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].first < ranges[i - 1].second)
            ThrowConversionError("Повреждённый PFS0: файлы пересекаются.", K::Corrupt);
    }
    for (PlannedMember& member : plan) {
        if (member.isNcz)
            member.outputSize =
                ParseNczLayout(input, member.sourceOffset, member.sourceSize, cancelFlag).ncaSize;
    }
    return plan;
}

} // namespace vesko
