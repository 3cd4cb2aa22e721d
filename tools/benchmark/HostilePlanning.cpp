// Planning against hostile tables: builds two crafted NSZ files on disk and converts each in a child
// process, printing the refusal, the time until it and the child's peak memory (ru_maxrss).
//  - a million entries whose names are suffixes of 256 shared 4096-byte names (2 GB of distinct names);
//  - thousands of NCZ entries on one member of a million section records.
// usage: vesko-planning-bench [scratch-dir]
#include "engine/ConvertToFile.h"
#include "engine/InputFile.h"
#include "engine/NczLayout.h"
#include "engine/OutputFile.h"
#include "engine/Paths.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using namespace vesko;

namespace {

constexpr std::uint32_t kSharedNames = 256;
constexpr std::uint32_t kLongName = 4096;
constexpr std::uint32_t kManyEntries = 1000000;
constexpr std::uint32_t kEntriesOnOneMember = 4096;
constexpr std::uint64_t kSections = 1000000;

class DiscardingOutput : public OutputFile {
  public:
    std::uint32_t writeSome(const void*, std::uint32_t length, std::uint32_t& written) override {
        written = length;
        return 0;
    }
};

// Writes little-endian fields through a small buffer, so that building costs no memory.
class FileWriter {
  public:
    explicit FileWriter(const std::filesystem::path& path) : file_(std::fopen(path.c_str(), "wb")) {
        if (file_ == nullptr) {
            std::perror("fopen");
            std::exit(1);
        }
    }
    ~FileWriter() { std::fclose(file_); }
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    void bytes(const void* data, std::size_t size) {
        if (std::fwrite(data, 1, size, file_) != size) {
            std::perror("fwrite");
            std::exit(1);
        }
    }
    void le(std::uint64_t value, int width) {
        std::uint8_t out[8];
        for (int i = 0; i < width; ++i)
            out[i] = static_cast<std::uint8_t>(value >> (8 * i));
        bytes(out, static_cast<std::size_t>(width));
    }

  private:
    std::FILE* file_;
};

void Pfs0Header(FileWriter& out, std::uint32_t count, std::uint32_t stringTableSize) {
    out.bytes("PFS0", 4);
    out.le(count, 4);
    out.le(stringTableSize, 4);
    out.le(0, 4);
}

void BuildSharedNames(const std::filesystem::path& path) {
    FileWriter out(path);
    const std::uint32_t stride = kLongName + 1;
    Pfs0Header(out, kManyEntries, kSharedNames * stride);
    for (std::uint32_t i = 0; i < kManyEntries; ++i) {
        out.le(0, 8);
        out.le(0, 8);
        out.le((i % kSharedNames) * stride + (i / kSharedNames) % kLongName, 4);
        out.le(0, 4);
    }
    std::string name(kLongName, 'n');
    for (std::uint32_t k = 0; k < kSharedNames; ++k) {
        name[kLongName - 1] = static_cast<char>('A' + k % 26);
        name[kLongName - 2] = static_cast<char>('A' + k / 26);
        out.bytes(name.c_str(), stride);
    }
}

std::uint64_t NczMemberSize() {
    return 0x4000 + 16 + 64 * kSections + 64;
}

void WriteNczMember(FileWriter& out) {
    const std::vector<std::uint8_t> ncaHeader(0x4000, 0xAB);
    out.bytes(ncaHeader.data(), ncaHeader.size());
    out.bytes("NCZSECTN", 8);
    out.le(kSections, 8);
    for (std::uint64_t k = 0; k < kSections; ++k) {
        out.le(0x4000 + 0x10 * k, 8);
        out.le(0x10, 8);
        out.le(3, 8);
        out.le(0, 8);
        const std::uint8_t keyAndCounter[32] = {};
        out.bytes(keyAndCounter, sizeof keyAndCounter);
    }
    const std::uint8_t data[64] = {};
    out.bytes(data, sizeof data);
}

void BuildSharedMember(const std::filesystem::path& path) {
    FileWriter out(path);
    const std::uint32_t nameBytes = 10; // "e0000.ncz" and its terminator
    Pfs0Header(out, kEntriesOnOneMember, kEntriesOnOneMember * nameBytes);
    for (std::uint32_t i = 0; i < kEntriesOnOneMember; ++i) {
        out.le(0, 8);
        out.le(NczMemberSize(), 8);
        out.le(i * nameBytes, 4);
        out.le(0, 4);
    }
    for (std::uint32_t i = 0; i < kEntriesOnOneMember; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "e%04u.ncz", i);
        out.bytes(name, nameBytes);
    }
    WriteNczMember(out);
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs `work` in a child; the child prints its own result, the parent the child's peak memory.
void InChild(const char* what, const std::function<void()>& work) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        std::exit(1);
    }
    if (child == 0) {
        work();
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::printf("%s: the child failed (status %d)\n", what, status);
        std::exit(1);
    }
    std::printf("%s: peak memory %.1f MiB\n", what, static_cast<double>(usage.ru_maxrss) / 1024.0);
}

void Convert(const std::filesystem::path& path) {
    DiscardingOutput sink;
    const auto start = std::chrono::steady_clock::now();
    try {
        ConvertToOutputFile(FromUtf8(path.string()), sink, {}, nullptr);
        std::printf("  accepted after %.3f s\n", SecondsSince(start));
    } catch (const ConversionError& e) {
        std::printf("  refused after %.3f s (%s): %s\n", SecondsSince(start), KindName(e.kind), e.what());
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::filesystem::path scratch = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    const std::filesystem::path names = scratch / "vesko-shared-names.nsz";
    const std::filesystem::path member = scratch / "vesko-shared-member.nsz";
    BuildSharedNames(names);
    BuildSharedMember(member);
    std::printf("%u entries on %u shared %u-byte names, %.1f MB\n", kManyEntries, kSharedNames, kLongName,
                static_cast<double>(std::filesystem::file_size(names)) / 1e6);
    InChild("shared names", [&] { Convert(names); });
    std::printf("%u NCZ entries on one member of %llu sections, %.1f MB\n", kEntriesOnOneMember,
                static_cast<unsigned long long>(kSections),
                static_cast<double>(std::filesystem::file_size(member)) / 1e6);
    InChild("shared member", [&] { Convert(member); });
    // What reading that member's tables once costs: once per entry before overlapping ranges were refused
    // first.
    InChild("one member's tables", [&] {
        InputFile input(FromUtf8(member.string()));
        const std::uint64_t offset = 16 + 24 * kEntriesOnOneMember + 10 * kEntriesOnOneMember;
        const auto start = std::chrono::steady_clock::now();
        const NczLayout layout = ParseNczLayout(input, offset, NczMemberSize(), nullptr);
        std::printf("  %zu sections read in %.3f s\n", layout.sections.size(), SecondsSince(start));
    });
    std::filesystem::remove(names);
    std::filesystem::remove(member);
    return 0;
}
