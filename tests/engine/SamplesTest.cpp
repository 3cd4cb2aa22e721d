// The independent samples must convert to the NSPs their producer recorded.
#include "engine/ConvertToFile.h"
#include "tests/support/MemoryOutput.h"
#include "tests/support/TestPaths.h"
#include "tools/testfiles/NszBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace vesko {
namespace {

struct Sample {
    std::string file;
    std::string sha256;
};

std::vector<Sample> ReadExpected() {
    std::vector<Sample> samples;
    std::ifstream in(std::filesystem::path(test::SharedSamplesDir()) / "expected.tsv");
    std::string line;
    std::getline(in, line); // column names
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Sample s;
        if (fields >> s.file >> s.sha256)
            samples.push_back(s);
    }
    return samples;
}

TEST(Samples, ConvertToTheRecordedNsp) {
    const std::vector<Sample> samples = ReadExpected();
    ASSERT_EQ(samples.size(), 4u) << "expected.tsv not found or incomplete";
    for (const Sample& s : samples) {
        SCOPED_TRACE(s.file);
        test::MemoryOutput out;
        const std::wstring path = (std::filesystem::path(test::SharedSamplesDir()) / s.file).wstring();
        std::uint64_t size = 0;
        ASSERT_NO_THROW(size = ConvertToOutputFile(path, out, {}, nullptr));
        EXPECT_EQ(size, out.bytes.size());
        const auto digest = testfiles::Sha256Of(out.bytes);
        EXPECT_EQ(testfiles::HexOf(digest.data(), digest.size()), s.sha256);
    }
}

} // namespace
} // namespace vesko
