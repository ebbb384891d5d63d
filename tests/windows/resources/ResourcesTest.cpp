// The built tolvane.exe's resources, read back the way Windows reads them:
// the loader's resource functions for the raw bytes and their languages,
// LoadImageA for the icon group the window host asks for, and the version
// library for what Explorer's properties page shows.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "ProgramUnderTest.h"
#include "app/AppIconImage.h"

namespace {

constexpr WORD kLangNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
constexpr WORD kLangChineseSimplified = 0x0804;
constexpr WORD kLangEnglishUs = 1033;
constexpr std::size_t kIconImageOffset = 22;

using Bytes = std::vector<std::uint8_t>;

using e2e::windowsPathOf;

std::string exePath() { return e2e::programPath(); }

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The executable mapped for its resources only: nothing of it runs.
class ExecutableModule : public testing::Environment {
public:
    static HMODULE get() { return module_; }

    void SetUp() override {
        module_ = LoadLibraryExA(exePath().c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    }
    void TearDown() override {
        if (module_) FreeLibrary(module_);
        module_ = nullptr;
    }

private:
    static HMODULE module_;
};
HMODULE ExecutableModule::module_ = nullptr;

const testing::Environment* const g_module = testing::AddGlobalTestEnvironment(new ExecutableModule);

// Base is testing::Test or testing::TestWithParam<...>; a test does not run
// without the executable.
template <class Base>
class ExecutableTest : public Base {
protected:
    void SetUp() override {
        ASSERT_FALSE(exePath().empty()) << "TOLVANE_EXE is not set";
        ASSERT_NE(module(), nullptr) << "LoadLibraryExA(" << exePath() << ") failed";
    }

    static HMODULE module() { return ExecutableModule::get(); }

    // The resource's bytes as the loader finds them for this language; empty
    // when it finds none. The loader falls back to a language-neutral
    // resource, so the exact languages are checked by enumeration.
    static Bytes rawResource(LPCSTR type, LPCSTR name, WORD language) {
        HRSRC info = FindResourceExA(module(), type, name, language);
        if (!info) return {};
        HGLOBAL loaded = LoadResource(module(), info);
        const auto* data = static_cast<const std::uint8_t*>(LockResource(loaded));
        const DWORD size = SizeofResource(module(), info);
        return data ? Bytes(data, data + size) : Bytes();
    }
};

std::string idText(LPCSTR id) {
    return IS_INTRESOURCE(id) ? "#" + std::to_string(reinterpret_cast<ULONG_PTR>(id)) : std::string(id);
}

// ---------------------------------------------------------------- the inventory

BOOL CALLBACK collectType(HMODULE, LPSTR type, LONG_PTR out) {
    reinterpret_cast<std::set<std::string>*>(out)->insert(idText(type));
    return TRUE;
}
BOOL CALLBACK collectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR out) {
    reinterpret_cast<std::set<std::string>*>(out)->insert(idText(name));
    return TRUE;
}
BOOL CALLBACK collectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR out) {
    reinterpret_cast<std::set<WORD>*>(out)->insert(language);
    return TRUE;
}

struct ResourceKey {
    const char* label;
    LPCSTR type;
    LPCSTR name;
    WORD language;
};

std::ostream& operator<<(std::ostream& out, const ResourceKey& key) { return out << key.label; }

const ResourceKey kResources[] = {
    {"IconImage", RT_ICON, MAKEINTRESOURCEA(3), kLangNeutral},
    {"IconGroup", RT_GROUP_ICON, "DEFAULT_ICON", kLangNeutral},
    {"Version", RT_VERSION, MAKEINTRESOURCEA(1), kLangChineseSimplified},
    {"Manifest", RT_MANIFEST, MAKEINTRESOURCEA(1), kLangNeutral},
};

class ResourceInventory : public ExecutableTest<testing::Test> {};

TEST_F(ResourceInventory, HoldsExactlyTheFourResourceTypes) {
    std::set<std::string> types;
    ASSERT_TRUE(EnumResourceTypesA(module(), &collectType, reinterpret_cast<LONG_PTR>(&types)));
    std::set<std::string> expected;
    for (const ResourceKey& key : kResources) expected.insert(idText(key.type));
    EXPECT_EQ(types, expected);
}

class EachResource : public ExecutableTest<testing::TestWithParam<ResourceKey>> {};

TEST_P(EachResource, IsTheOnlyNameOfItsType) {
    const ResourceKey& key = GetParam();
    std::set<std::string> names;
    EnumResourceNamesA(module(), key.type, &collectName, reinterpret_cast<LONG_PTR>(&names));
    EXPECT_EQ(names, std::set<std::string>{idText(key.name)});
}

TEST_P(EachResource, ExistsInExactlyOneLanguage) {
    const ResourceKey& key = GetParam();
    std::set<WORD> languages;
    EnumResourceLanguagesA(module(), key.type, key.name, &collectLanguage, reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(languages, std::set<WORD>{key.language});
    EXPECT_FALSE(rawResource(key.type, key.name, key.language).empty());
}

INSTANTIATE_TEST_SUITE_P(Executable, EachResource, testing::ValuesIn(kResources),
                         [](const testing::TestParamInfo<ResourceKey>& info) { return std::string(info.param.label); });

TEST_F(ResourceInventory, VersionResourceIsNotFoundInUsEnglish) {
    // The lookup falls back to a language-neutral resource, and there is
    // none for the version: so US English finds nothing at all.
    EXPECT_EQ(FindResourceExA(module(), RT_VERSION, MAKEINTRESOURCEA(1), kLangEnglishUs), nullptr);
}

// ---------------------------------------------------------------- raw bytes

Bytes iconImageOfTheFile() { return Bytes(AppIconImage.begin() + kIconImageOffset, AppIconImage.end()); }

// GRPICONDIR with one GRPICONDIRENTRY: the file's directory entry with the
// image's resource id in place of its file offset.
Bytes expectedIconGroup() {
    return {0, 0, 1, 0, 1, 0,            // idReserved, idType icon, idCount 1
            32, 32, 0, 0,                // bWidth, bHeight, bColorCount, bReserved
            1, 0, 32, 0,                 // wPlanes, wBitCount
            0xA8, 0x10, 0, 0,            // dwBytesInRes 4264
            3, 0};                       // nId
}

Bytes manifestFile() { return readFile(windowsPathOf(TOLVANE_MANIFEST_FILE)); }

struct RawCase {
    const char* label;
    ResourceKey key;
    Bytes (*expected)();
};

std::ostream& operator<<(std::ostream& out, const RawCase& c) { return out << c.label; }

class RawResource : public ExecutableTest<testing::TestWithParam<RawCase>> {};

TEST_P(RawResource, HoldsTheExpectedBytes) {
    const RawCase& c = GetParam();
    const Bytes expected = c.expected();
    ASSERT_FALSE(expected.empty());
    const Bytes actual = rawResource(c.key.type, c.key.name, c.key.language);
    ASSERT_EQ(actual.size(), expected.size());
    EXPECT_TRUE(actual == expected);
}

INSTANTIATE_TEST_SUITE_P(
    Executable, RawResource,
    testing::Values(RawCase{"IconImageIsTheIconFilesImageData", kResources[0], &iconImageOfTheFile},
                    RawCase{"IconGroupNamesImage3", kResources[1], &expectedIconGroup},
                    RawCase{"ManifestIsTheManifestFile", kResources[3], &manifestFile}),
    [](const testing::TestParamInfo<RawCase>& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------- the icon group

struct LoadedIcon {
    HICON icon = nullptr;
    ICONINFO info = {};
    BITMAP color = {};
    BITMAP mask = {};

    LoadedIcon(HMODULE module, int side) {
        icon = static_cast<HICON>(LoadImageA(module, "DEFAULT_ICON", IMAGE_ICON, side, side, 0));
        if (icon && GetIconInfo(icon, &info)) {
            if (info.hbmColor) GetObjectA(info.hbmColor, sizeof color, &color);
            if (info.hbmMask) GetObjectA(info.hbmMask, sizeof mask, &mask);
        }
    }
    ~LoadedIcon() {
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
        if (icon) DestroyIcon(icon);
    }
    LoadedIcon(const LoadedIcon&) = delete;
    LoadedIcon& operator=(const LoadedIcon&) = delete;
};

class IconGroupAtSize : public ExecutableTest<testing::TestWithParam<int>> {};

TEST_P(IconGroupAtSize, LoadsAsAColourIconOfThatSize) {
    const int side = GetParam();
    LoadedIcon loaded(module(), side);
    ASSERT_NE(loaded.icon, nullptr) << "LoadImageA(DEFAULT_ICON, " << side << ") failed: " << GetLastError();
    EXPECT_TRUE(loaded.info.fIcon);
    ASSERT_NE(loaded.info.hbmColor, nullptr) << "loaded as a monochrome icon";
    EXPECT_EQ(loaded.color.bmWidth, side);
    EXPECT_EQ(loaded.color.bmHeight, side);
    ASSERT_NE(loaded.info.hbmMask, nullptr);
    EXPECT_EQ(loaded.mask.bmWidth, side);
    EXPECT_EQ(loaded.mask.bmHeight, side);  // the mask alone: the colour is in its own bitmap
}

INSTANTIATE_TEST_SUITE_P(BigAndSmall, IconGroupAtSize, testing::Values(32, 16),
                         [](const testing::TestParamInfo<int>& info) { return std::to_string(info.param); });

// Loaded at its own size, a 32-bit icon keeps its colour bits, alpha
// included: the caption shows exactly the notification-area picture.
class IconGroup : public ExecutableTest<testing::Test> {};

TEST_F(IconGroup, AtItsOwnSizeShowsTheIconFilesPixelsWithTheirAlpha) {
    LoadedIcon loaded(module(), 32);
    ASSERT_NE(loaded.info.hbmColor, nullptr);
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = 32;
    bmi.bmiHeader.biHeight = 32;  // bottom row first, as in the file
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    Bytes pixels(32 * 32 * 4);
    HDC dc = GetDC(nullptr);
    const int rows = GetDIBits(dc, loaded.info.hbmColor, 0, 32, pixels.data(), &bmi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    ASSERT_EQ(rows, 32);
    const Bytes filePixels(AppIconImage.begin() + 62, AppIconImage.begin() + 62 + pixels.size());
    EXPECT_TRUE(pixels == filePixels);
}

// ---------------------------------------------------------------- the version resource

class VersionInfo : public testing::Test {
protected:
    static void SetUpTestSuite() {
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(exePath().c_str(), &ignored);
        if (size == 0) return;
        data_.assign(size, 0);
        if (!GetFileVersionInfoA(exePath().c_str(), 0, size, data_.data())) data_.clear();
    }

    // The value under `path`, or null; `length` as VerQueryValueA reports it.
    static const void* query(const char* path, UINT* length) {
        void* value = nullptr;
        *length = 0;
        if (data_.empty() || !VerQueryValueA(data_.data(), path, &value, length)) return nullptr;
        return value;
    }

    static Bytes data_;
};
Bytes VersionInfo::data_;

TEST_F(VersionInfo, FixedPartHoldsStructureVersionZeroAndVersion1000) {
    ASSERT_FALSE(data_.empty()) << "GetFileVersionInfoA(" << exePath() << ") failed";
    UINT length = 0;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(query("\\", &length));
    ASSERT_NE(fixed, nullptr);
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    struct Field {
        const char* name;
        DWORD actual;
        DWORD expected;
    } const fields[] = {
        {"dwSignature", fixed->dwSignature, 0xFEEF04BD},
        {"dwStrucVersion", fixed->dwStrucVersion, 0},
        {"dwFileVersionMS", fixed->dwFileVersionMS, 0x00010000},
        {"dwFileVersionLS", fixed->dwFileVersionLS, 0},
        {"dwProductVersionMS", fixed->dwProductVersionMS, 0x00010000},
        {"dwProductVersionLS", fixed->dwProductVersionLS, 0},
        {"dwFileFlagsMask", fixed->dwFileFlagsMask, 0},
        {"dwFileFlags", fixed->dwFileFlags, 0},
        {"dwFileOS", fixed->dwFileOS, VOS__WINDOWS32},
        {"dwFileType", fixed->dwFileType, VFT_APP},
        {"dwFileSubtype", fixed->dwFileSubtype, 0},
        {"dwFileDateMS", fixed->dwFileDateMS, 0},
        {"dwFileDateLS", fixed->dwFileDateLS, 0},
    };
    for (const Field& f : fields) EXPECT_EQ(f.actual, f.expected) << f.name;
}

TEST_F(VersionInfo, TranslationIsChineseSimplifiedInUnicode) {
    UINT length = 0;
    const auto* translation = static_cast<const WORD*>(query("\\VarFileInfo\\Translation", &length));
    ASSERT_NE(translation, nullptr);
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], kLangChineseSimplified);
    EXPECT_EQ(translation[1], 0x04B0);
}

struct VersionString {
    const char* key;
    const char* value;  // null: any non-empty ASCII text
};

std::ostream& operator<<(std::ostream& out, const VersionString& s) { return out << s.key; }

class VersionStrings : public VersionInfo, public testing::WithParamInterface<VersionString> {};

TEST_P(VersionStrings, HoldsItsValueInTheChineseSimplifiedTable) {
    const VersionString& s = GetParam();
    const std::string path = std::string("\\StringFileInfo\\080404B0\\") + s.key;
    UINT length = 0;
    const auto* text = static_cast<const char*>(query(path.c_str(), &length));
    ASSERT_NE(text, nullptr) << path;
    const std::size_t textLength = std::strlen(text);
    if (s.value) {
        EXPECT_STREQ(text, s.value);
    } else {
        EXPECT_GT(textLength, 0u);
        for (std::size_t i = 0; i < textLength; ++i)
            EXPECT_TRUE(text[i] >= 0x20 && text[i] < 0x7F) << "byte " << i << " of " << text;
    }
    // The count of characters that the value stores, its terminator included.
    EXPECT_EQ(length, textLength + 1);

    // The strings are in the Chinese (Simplified) table only.
    const std::string english = std::string("\\StringFileInfo\\040904B0\\") + s.key;
    EXPECT_EQ(query(english.c_str(), &length), nullptr) << english;
}

INSTANTIATE_TEST_SUITE_P(Executable, VersionStrings,
                         testing::Values(VersionString{"FileVersion", "1.0.0.0"},
                                         VersionString{"FileDescription", "Tolvane"},
                                         VersionString{"ProductName", "Tolvane"},
                                         VersionString{"ProductVersion", "1.0.0.0"},
                                         VersionString{"CompanyName", "Tolvane"},
                                         VersionString{"LegalCopyright", nullptr},
                                         VersionString{"Comments", "Tolvane"}),
                         [](const testing::TestParamInfo<VersionString>& info) {
                             return std::string(info.param.key);
                         });

}  // namespace
