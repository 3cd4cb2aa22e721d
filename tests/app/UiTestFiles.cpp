#include "tests/app/UiTestFiles.h"

namespace vesko::ui_driver {

testfiles::BuiltFiles SmallNsz(std::uint64_t seed) {
    testfiles::MemberSpec program;
    program.name = ".ncz";
    program.hashName = true;
    program.ncz = true;
    program.seed = seed;
    program.sections = {testfiles::MakeSection(0x30000, 3, seed)};
    testfiles::MemberSpec meta;
    meta.name = "meta.cnmt.xml";
    meta.size = 700;
    meta.seed = seed;
    testfiles::ContainerSpec package;
    package.members = {program, meta};
    return testfiles::BuildNsz(package);
}

testfiles::BuiltFiles ZerosNsz(std::uint64_t mebibytes) {
    testfiles::MemberSpec program;
    program.name = ".ncz";
    program.ncz = true;
    program.content = testfiles::Content::Zeros;
    // Crypto type 1 (none) keeps building fast: the builder encrypts nothing.
    program.sections = {testfiles::MakeSection(mebibytes << 20, 1, 7)};
    testfiles::ContainerSpec package;
    package.members = {program};
    package.keepNsp = false;
    return testfiles::BuildNsz(package);
}

} // namespace vesko::ui_driver
