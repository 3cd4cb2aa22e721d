// Writes seed files for the fuzz targets: small, varied, all valid NSZ files, or journal records.
#include "engine/Paths.h"
#include "storage/Journal.h"
#include "tools/testfiles/NszBuilder.h"

#include <cstdio>
#include <string>

using namespace vesko::testfiles;

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3 || (argc == 3 && std::string(argv[2]) != "journal")) {
        std::fprintf(stderr, "usage: vesko-make-seeds DIR [journal]\n");
        return 2;
    }
    const std::string dir = argv[1];
    int written = 0;
    if (argc == 3) {
        const vesko::JournalIdentity identity{0x1234ABCD, 7, 0x8000, 0x11223344, 0x01D9AAAA};
        for (const wchar_t* path :
             {L"\\\\?\\D:\\out\\.vesko-0123456789abcdef.tmp", L"\\\\?\\UNC\\server\\share\\dir\\.vesko-x.tmp",
              L"\\\\?\\C:\\a\\..\\.vesko-y.tmp"})
            WriteWholeFile(vesko::FromUtf8(dir + "/journal-" + std::to_string(written++)),
                           vesko::BuildJournalRecord(identity, path));
        std::printf("%d seeds\n", written);
        return 0;
    }
    auto save = [&](const ContainerSpec& package) {
        const BuiltFiles built = BuildNsz(package);
        WriteWholeFile(vesko::FromUtf8(dir + "/seed-" + std::to_string(written++) + ".nsz"), built.nsz);
    };
    for (int form = 0; form < 2; ++form) {
        for (std::uint64_t types : {1u, 3u, 4u}) {
            MemberSpec m;
            m.name = ".ncz";
            m.hashName = types == 3;
            m.ncz = true;
            m.form = form == 0 ? NczForm::Solid : NczForm::Block;
            m.blockExponent = 14;
            m.sections = {MakeSection(0x600, types, 1), MakeSection(0x2001, 3, 2), MakeSection(0x11, 1, 3)};
            m.firstSectionOffset = types == 4 ? 0x4003 : 0x4000;
            m.content = types == 1 ? Content::Random : Content::Mixed;
            MemberSpec plain;
            plain.name = "a.tik";
            plain.size = 64;
            MemberSpec empty;
            empty.name = "b.cert";
            ContainerSpec package;
            package.members = {plain, m, empty};
            package.physicalOrder = {1, 0, 2};
            package.gapBetween = form;
            save(package);
        }
    }
    MemberSpec stored;
    stored.name = "s.ncz";
    stored.ncz = true;
    stored.form = NczForm::Block;
    stored.blockExponent = 14;
    stored.storeAllBlocks = true;
    stored.sections = {MakeSection(0x4001, 3, 5)};
    ContainerSpec package;
    package.members = {stored};
    save(package);
    std::printf("%d seeds\n", written);
    return 0;
}
