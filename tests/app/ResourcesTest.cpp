#include "tests/app/UiDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace vesko {
namespace {

// The executable loaded as data only: nothing of it runs.
struct DataModule {
    const HMODULE module = LoadLibraryExW(ui_driver::ApplicationPath().c_str(), nullptr,
                                          LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    const std::unique_ptr<std::remove_pointer_t<HMODULE>, decltype(&FreeLibrary)> owner{module, &FreeLibrary};

    std::vector<unsigned char> resource(LPCWSTR type, int id) const {
        HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
        const auto* data = static_cast<const unsigned char*>(
            found != nullptr ? LockResource(LoadResource(module, found)) : nullptr);
        return std::vector<unsigned char>(data, data + (data != nullptr ? SizeofResource(module, found) : 0));
    }
};

// A little-endian field of a resource, 0 where the resource ends before it.
unsigned Field(const std::vector<unsigned char>& bytes, std::size_t at, std::size_t size) {
    unsigned value = 0;
    std::memcpy(&value, bytes.data() + std::min(at, bytes.size()), at + size <= bytes.size() ? size : 0);
    return value;
}

TEST(Resources, IconGroupHasSevenSizesOf32Bits) {
    const DataModule module;
    ASSERT_NE(module.module, nullptr);
    const std::vector<unsigned char> group = module.resource(RT_GROUP_ICON, 1);
    // A 6-byte header with the count, then 14 bytes per image: width (0 for 256) at 0, bits per pixel
    // at 6, size at 8, identifier at 12.
    ASSERT_EQ(std::make_pair(Field(group, 4, 2), group.size()), std::make_pair(7u, std::size_t{6 + 7 * 14}));
    const unsigned sizes[] = {16, 24, 32, 48, 64, 128, 256};
    for (std::size_t i = 0; i < 7; ++i) {
        const std::size_t entry = 6 + 14 * i;
        const unsigned size = group[entry] == 0 ? 256 : group[entry];
        SCOPED_TRACE(size);
        EXPECT_EQ(std::make_pair(size, Field(group, entry + 6, 2)), std::make_pair(sizes[i], 32u));
        // Each image is there, a 32-bit bitmap of its size: biWidth, biHeight (doubled) and biBitCount.
        const std::vector<unsigned char> image =
            module.resource(RT_ICON, static_cast<int>(Field(group, entry + 12, 2)));
        ASSERT_EQ(image.size(), Field(group, entry + 8, 4));
        EXPECT_EQ(std::make_tuple(Field(image, 4, 4), Field(image, 8, 4), Field(image, 14, 2)),
                  std::make_tuple(size, 2 * size, 32u));
    }
}

TEST(Resources, ManifestAsksForWhatTheProgramNeeds) {
    const std::vector<unsigned char> bytes = DataModule().resource(RT_MANIFEST, 1);
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
    std::vector<unsigned char> info(GetFileVersionInfoSizeW(path.c_str(), nullptr));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(!info.empty() &&
                GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()) &&
                VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(std::make_tuple(fixed->dwFileVersionMS, fixed->dwFileVersionLS, fixed->dwProductVersionMS,
                              fixed->dwProductVersionLS),
              std::make_tuple(0x00010003u, 0x00010000u, 0x00010003u, 0x00010000u));
}

} // namespace
} // namespace vesko
