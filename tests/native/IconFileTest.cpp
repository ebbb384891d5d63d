// The application's icon file, byte for byte: the notification-area icon is
// made from these bytes at run time and the executable's icon resources from
// the same file at build time, so a wrong field shows up in both places.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "app/AppIconImage.h"

namespace {

constexpr std::size_t kFileSize = 4286;
constexpr std::size_t kImageOffset = 22;
constexpr std::size_t kPixelsOffset = 62;  // after the 40-byte BITMAPINFOHEADER, no colour table
constexpr std::size_t kMaskOffset = kPixelsOffset + 32 * 32 * 4;
constexpr int kSide = 32;

const std::vector<std::uint8_t>& iconFile() {
    static const std::vector<std::uint8_t> bytes = [] {
        std::ifstream in(TOLVANE_ICON_FILE, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }();
    return bytes;
}

std::uint32_t littleEndian(const std::vector<std::uint8_t>& bytes, std::size_t offset, int width) {
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = (value << 8) | bytes.at(offset + i);
    return value;
}

// Alpha of the pixel at (x, y), y counted from the top of the picture; the
// file stores the bottom row first.
std::uint8_t alphaAt(const std::vector<std::uint8_t>& bytes, int x, int y) {
    const int row = kSide - 1 - y;
    return bytes.at(kPixelsOffset + (row * kSide + x) * 4 + 3);
}

// The AND-mask bit of the pixel at (x, y): rows of 4 bytes, bottom row first,
// the leftmost pixel in the most significant bit of the row's first byte.
bool maskBitAt(const std::vector<std::uint8_t>& bytes, int x, int y) {
    const int row = kSide - 1 - y;
    const std::uint8_t byte = bytes.at(kMaskOffset + row * 4 + x / 8);
    return (byte >> (7 - x % 8)) & 1;
}

TEST(IconFile, HasTheSizeOfOneDirectoryEntryAndOne32BitImageWithItsMask) {
    EXPECT_EQ(iconFile().size(), kFileSize) << "cannot read " TOLVANE_ICON_FILE " or wrong size";
}

struct HeaderField {
    const char* name;
    std::size_t offset;
    int width;
    std::uint32_t value;
};

std::ostream& operator<<(std::ostream& out, const HeaderField& f) {
    return out << f.name << " at " << f.offset;
}

class IconFileHeader : public testing::TestWithParam<HeaderField> {};

TEST_P(IconFileHeader, FieldHoldsItsValue) {
    const HeaderField& f = GetParam();
    ASSERT_EQ(iconFile().size(), kFileSize);
    EXPECT_EQ(littleEndian(iconFile(), f.offset, f.width), f.value) << f.name;
}

INSTANTIATE_TEST_SUITE_P(
    DirectoryAndBitmapHeader, IconFileHeader,
    testing::Values(
        // The icon directory and its one entry.
        HeaderField{"idReserved", 0, 2, 0}, HeaderField{"idType", 2, 2, 1}, HeaderField{"idCount", 4, 2, 1},
        HeaderField{"bWidth", 6, 1, 32}, HeaderField{"bHeight", 7, 1, 32}, HeaderField{"bColorCount", 8, 1, 0},
        HeaderField{"bReserved", 9, 1, 0}, HeaderField{"wPlanes", 10, 2, 1}, HeaderField{"wBitCount", 12, 2, 32},
        HeaderField{"dwBytesInRes", 14, 4, 4264}, HeaderField{"dwImageOffset", 18, 4, kImageOffset},
        // The image's BITMAPINFOHEADER: colour and mask rows together make
        // the doubled height; no compression and no colour table.
        HeaderField{"biSize", 22, 4, 40}, HeaderField{"biWidth", 26, 4, 32}, HeaderField{"biHeight", 30, 4, 64},
        HeaderField{"biPlanes", 34, 2, 1}, HeaderField{"biBitCount", 36, 2, 32},
        HeaderField{"biCompression", 38, 4, 0}, HeaderField{"biSizeImage", 42, 4, 4096},
        HeaderField{"biXPelsPerMeter", 46, 4, 0}, HeaderField{"biYPelsPerMeter", 50, 4, 0},
        HeaderField{"biClrUsed", 54, 4, 0}, HeaderField{"biClrImportant", 58, 4, 0}),
    [](const testing::TestParamInfo<HeaderField>& info) { return std::string(info.param.name); });

TEST(IconFile, ImageSizeInTheDirectoryCoversTheImageToTheEndOfTheFile) {
    ASSERT_EQ(iconFile().size(), kFileSize);
    EXPECT_EQ(littleEndian(iconFile(), 18, 4) + littleEndian(iconFile(), 14, 4), kFileSize);
    // The header, the colour pixels and the mask, nothing between them.
    EXPECT_EQ(littleEndian(iconFile(), 22, 4) + littleEndian(iconFile(), 42, 4) + 32 * 4,
              littleEndian(iconFile(), 14, 4));
}

TEST(IconFile, AlphaHasTransparentPartlyTransparentAndMostlyOpaquePixels) {
    ASSERT_EQ(iconFile().size(), kFileSize);
    int transparent = 0, partial = 0, opaque = 0;
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            const std::uint8_t a = alphaAt(iconFile(), x, y);
            (a == 0 ? transparent : a == 255 ? opaque : partial)++;
        }
    }
    EXPECT_GT(transparent, 0);
    EXPECT_GT(partial, 0);
    EXPECT_GT(opaque, kSide * kSide / 2) << "most pixels are fully opaque";
}

TEST(IconFile, AndMaskIsSetExactlyWhereThePictureIsFullyTransparent) {
    ASSERT_EQ(iconFile().size(), kFileSize);
    int setBits = 0, mismatches = 0;
    std::string firstMismatch;
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            const bool masked = maskBitAt(iconFile(), x, y);
            setBits += masked;
            if (masked != (alphaAt(iconFile(), x, y) == 0) && mismatches++ == 0)
                firstMismatch = std::to_string(x) + "," + std::to_string(y);
        }
    }
    EXPECT_GT(setBits, 0) << "the AND mask is all zero";
    EXPECT_EQ(mismatches, 0) << "first at pixel " << firstMismatch << " from the top left";
}

TEST(IconFile, AppIconImageHoldsTheFilesBytes) {
    ASSERT_EQ(iconFile().size(), kFileSize);
    ASSERT_EQ(AppIconImage.size(), kFileSize);
    EXPECT_EQ(std::memcmp(AppIconImage.data(), iconFile().data(), kFileSize), 0);
}

}  // namespace
