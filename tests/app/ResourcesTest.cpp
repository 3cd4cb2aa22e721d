// The program's own resources, read from the built executable: icon group, manifest, version.
#include "tests/app/UiDriver.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <type_traits>
#include <string>
#include <vector>

namespace vesko {
namespace {

// A module loaded as data only: nothing of it runs.
struct DataModule {
    const HMODULE module = LoadLibraryExW(ui_driver::ApplicationPath().c_str(), nullptr,
                                          LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    const std::unique_ptr<std::remove_pointer_t<HMODULE>, decltype(&FreeLibrary)> owner{module, &FreeLibrary};

    std::vector<unsigned char> resource(LPCWSTR type, LPCWSTR name) const {
        HRSRC found = FindResourceW(module, name, type);
        const auto* data = found != nullptr
                               ? static_cast<const unsigned char*>(LockResource(LoadResource(module, found)))
                               : nullptr;
        return data != nullptr ? std::vector<unsigned char>(data, data + SizeofResource(module, found))
                               : std::vector<unsigned char>();
    }
};

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colourCount, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST(Resources, IconGroupHasSevenSizesOf32Bits) {
    const DataModule module;
    ASSERT_NE(module.module, nullptr);
    const std::vector<unsigned char> group = module.resource(RT_GROUP_ICON, MAKEINTRESOURCEW(1));
    ASSERT_GE(group.size(), 6u);
    const WORD count = static_cast<WORD>(group[4] | group[5] << 8);
    ASSERT_EQ(count, 7);
    ASSERT_EQ(group.size(), 6u + count * sizeof(GroupIconEntry));
    const int expected[] = {16, 24, 32, 48, 64, 128, 256};
    for (WORD i = 0; i < count; ++i) {
        GroupIconEntry entry{};
        std::memcpy(&entry, group.data() + 6 + i * sizeof(GroupIconEntry), sizeof(entry));
        const int size = entry.width == 0 ? 256 : entry.width;
        SCOPED_TRACE(size);
        EXPECT_EQ(size, expected[i]);
        EXPECT_EQ(entry.bitCount, 32);
        // Each image is there, and is a 32-bit bitmap of its size (its header gives double height).
        const std::vector<unsigned char> image = module.resource(RT_ICON, MAKEINTRESOURCEW(entry.id));
        ASSERT_EQ(image.size(), entry.bytes);
        BITMAPINFOHEADER header{};
        ASSERT_GE(image.size(), sizeof(header));
        std::memcpy(&header, image.data(), sizeof(header));
        EXPECT_EQ(header.biWidth, size);
        EXPECT_EQ(header.biHeight, 2 * size);
        EXPECT_EQ(header.biBitCount, 32);
    }
}

TEST(Resources, ManifestAsksForWhatTheProgramNeeds) {
    const DataModule module;
    ASSERT_NE(module.module, nullptr);
    const std::vector<unsigned char> bytes = module.resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
    const std::string manifest(bytes.begin(), bytes.end());
    for (const char* part :
         {"name=\"VESKO.ZARUvivuriza\" version=\"1.2.1.0\" processorArchitecture=\"amd64\"",
          "<description>VESKO NSZ converter</description>", "level=\"asInvoker\" uiAccess=\"false\"",
          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", ">true/pm</dpiAware>", ">PerMonitorV2</dpiAwareness>",
          ">true</longPathAware>", "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""}) {
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    }
}

TEST(Resources, VersionIs1310) {
    const std::wstring path = ui_driver::ApplicationPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_NE(size, 0u);
    std::vector<unsigned char> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010003u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010003u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00010000u);
}

} // namespace
} // namespace vesko
