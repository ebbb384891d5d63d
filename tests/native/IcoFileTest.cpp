// The icon-file reader against the program's own icon and against small
// hand-made files that each break one rule of the format.

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/AppIconImage.h"
#include "platform/IcoFile.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void putU16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void putU32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A bitmap header of `size` bytes (at least 16) with the three fields read.
Bytes bitmap(std::int32_t width, std::int32_t height, std::uint16_t bitCount, std::size_t size = 40) {
    Bytes b(size, 0xAB);
    putU32(b, 0, 40);
    putU32(b, 4, static_cast<std::uint32_t>(width));
    putU32(b, 8, static_cast<std::uint32_t>(height));
    putU16(b, 12, 1);
    putU16(b, 14, bitCount);
    return b;
}

struct Entry {
    std::uint8_t width;
    std::uint8_t colours;
    Bytes image;
};

// An icon file with the images laid out after the directory, in order.
Bytes iconFile(const std::vector<Entry>& entries, std::uint16_t type = 1, std::uint16_t reserved = 0) {
    Bytes b(6 + 16 * entries.size(), 0);
    putU16(b, 0, reserved);
    putU16(b, 2, type);
    putU16(b, 4, static_cast<std::uint32_t>(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::size_t e = 6 + 16 * i;
        b[e] = entries[i].width;
        b[e + 1] = entries[i].width;
        b[e + 2] = entries[i].colours;
        putU16(b, e + 4, 1);
        putU16(b, e + 6, 32);
        putU32(b, e + 8, static_cast<std::uint32_t>(entries[i].image.size()));
        putU32(b, e + 12, static_cast<std::uint32_t>(b.size()));
        b.insert(b.end(), entries[i].image.begin(), entries[i].image.end());
    }
    return b;
}

std::size_t imageOffset(const Bytes& file, std::size_t entry) {
    const std::size_t at = 6 + 16 * entry + 12;
    return file[at] | (file[at + 1] << 8) | (file[at + 2] << 16) | (static_cast<std::size_t>(file[at + 3]) << 24);
}

// One 32-wide image of 32 bits: the shape of the program's own icon.
Bytes singleImageFile() { return iconFile({{32, 0, bitmap(32, 64, 32)}}); }

std::optional<IcoImage> select(const Bytes& b, int preferredWidth = 16) {
    return selectIcoImage(b.data(), b.size(), preferredWidth);
}

TEST(IcoFileTest, AppIconGivesItsOneThirtyTwoByThirtyTwoImage) {
    for (int preferred : {16, 32}) {
        SCOPED_TRACE(preferred);
        const auto image = selectIcoImage(AppIconImage.data(), AppIconImage.size(), preferred);
        ASSERT_TRUE(image.has_value());
        EXPECT_EQ(image->offset, 22u);
        EXPECT_EQ(image->size, 4264u);
        EXPECT_EQ(image->width, 32);
        EXPECT_EQ(image->height, 32);
        EXPECT_EQ(image->bitCount, 32);
    }
}

TEST(IcoFileTest, CursorFileIsReadLikeAnIcon) {
    const Bytes file = iconFile({{32, 0, bitmap(32, 64, 32)}}, 2);
    const auto image = select(file);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->offset, 22u);
    EXPECT_EQ(image->height, 32);
}

// Each case starts from a good one-image file and spoils one thing.
struct BrokenCase {
    const char* name;
    void (*spoil)(Bytes&);
};

void PrintTo(const BrokenCase& c, std::ostream* os) { *os << c.name; }

class IcoFileRejects : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(IcoFileRejects, GivesNoImage) {
    Bytes file = singleImageFile();
    ASSERT_TRUE(select(file).has_value()) << "the unspoilt file must be good";
    GetParam().spoil(file);
    EXPECT_FALSE(select(file, 16).has_value());
    EXPECT_FALSE(select(file, 32).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    BrokenFiles, IcoFileRejects,
    ::testing::Values(
        BrokenCase{"ReservedNotZero", [](Bytes& b) { putU16(b, 0, 1); }},
        BrokenCase{"ReservedHighByte", [](Bytes& b) { putU16(b, 0, 0x100); }},
        BrokenCase{"TypeZero", [](Bytes& b) { putU16(b, 2, 0); }},
        BrokenCase{"TypeThree", [](Bytes& b) { putU16(b, 2, 3); }},
        BrokenCase{"TypeHighByte", [](Bytes& b) { putU16(b, 2, 0x101); }},
        BrokenCase{"CountZero", [](Bytes& b) { putU16(b, 4, 0); }},
        BrokenCase{"Empty", [](Bytes& b) { b.clear(); }},
        BrokenCase{"FiveBytes", [](Bytes& b) { b.resize(5); }},
        BrokenCase{"HeaderOnly", [](Bytes& b) { b.resize(6); }},
        BrokenCase{"EntryCutShort", [](Bytes& b) { b.resize(21); }},
        // Two entries announced, one present: the scan needs the second.
        BrokenCase{"DirectoryCutShort", [](Bytes& b) { putU16(b, 4, 2); }},
        BrokenCase{"ManyEntriesAnnounced", [](Bytes& b) { putU16(b, 4, 0xFFFF); }},
        BrokenCase{"DataOneBytePastEnd", [](Bytes& b) { b.pop_back(); }},
        BrokenCase{"SizeOneTooLarge", [](Bytes& b) { putU32(b, 14, static_cast<std::uint32_t>(b.size() - 22 + 1)); }},
        BrokenCase{"OffsetPastEnd", [](Bytes& b) { putU32(b, 18, static_cast<std::uint32_t>(b.size() + 1)); }},
        // offset + size wraps to a small number in 32 bits.
        BrokenCase{"OffsetWrapsWithSize",
                   [](Bytes& b) {
                       putU32(b, 18, 0xFFFFFFF0u);
                       putU32(b, 14, 0x20);
                   }},
        BrokenCase{"SizeWrapsWithOffset",
                   [](Bytes& b) {
                       putU32(b, 18, 22);
                       putU32(b, 14, 0xFFFFFFF8u);
                   }},
        BrokenCase{"BothMaximal",
                   [](Bytes& b) {
                       putU32(b, 18, 0xFFFFFFFFu);
                       putU32(b, 14, 0xFFFFFFFFu);
                   }},
        // Inside the file but too short for the bitmap-header fields read.
        BrokenCase{"ImageOfFifteenBytes", [](Bytes& b) { putU32(b, 14, 15); }},
        BrokenCase{"ImageOfNoBytes", [](Bytes& b) { putU32(b, 14, 0); }},
        BrokenCase{"ImageOfFifteenBytesAtEnd",
                   [](Bytes& b) {
                       putU32(b, 18, static_cast<std::uint32_t>(b.size() - 15));
                       putU32(b, 14, 15);
                   }}),
    [](const ::testing::TestParamInfo<BrokenCase>& info) { return std::string(info.param.name); });

TEST(IcoFileTest, NullBytesGiveNoImage) {
    EXPECT_FALSE(selectIcoImage(nullptr, 0, 16).has_value());
    EXPECT_FALSE(selectIcoImage(nullptr, 100, 16).has_value());
}

TEST(IcoFileTest, ImageEndingExactlyAtTheLastByteIsAccepted) {
    Bytes file = iconFile({{32, 0, bitmap(32, 64, 32, 16)}});
    ASSERT_EQ(file.size(), 22u + 16u);
    const auto image = select(file);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->offset + image->size, file.size());
    EXPECT_EQ(image->width, 32);
}

// Which directory entry the scan chooses.
struct ChoiceCase {
    const char* name;
    std::vector<std::pair<std::uint8_t, std::uint8_t>> entries;  // width, colours
    int preferredWidth;
    std::size_t chosen;
};

void PrintTo(const ChoiceCase& c, std::ostream* os) { *os << c.name; }

class IcoFileChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(IcoFileChoice, PicksTheExpectedEntry) {
    const ChoiceCase& c = GetParam();
    std::vector<Entry> entries;
    // Each image tells which it is by its width field.
    for (std::size_t i = 0; i < c.entries.size(); ++i) {
        entries.push_back({c.entries[i].first, c.entries[i].second,
                           bitmap(static_cast<std::int32_t>(100 + i), 2 * c.entries[i].first, 4)});
    }
    const Bytes file = iconFile(entries);
    const auto image = select(file, c.preferredWidth);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->offset, imageOffset(file, c.chosen));
    EXPECT_EQ(image->width, static_cast<std::int32_t>(100 + c.chosen));
    EXPECT_EQ(image->size, 40u);
}

INSTANTIATE_TEST_SUITE_P(
    Directories, IcoFileChoice,
    ::testing::Values(
        ChoiceCase{"SixteenPreferredFirst", {{16, 16}, {32, 16}}, 16, 0},
        ChoiceCase{"SixteenPreferredSecond", {{32, 16}, {16, 16}}, 16, 1},
        ChoiceCase{"ThirtyTwoPreferred", {{16, 16}, {32, 16}}, 32, 1},
        ChoiceCase{"FirstOfTwoMatches", {{16, 16}, {16, 255}, {32, 0}}, 16, 0},
        ChoiceCase{"ColourCountZeroNeverChosen", {{16, 0}, {32, 0}, {48, 0}}, 16, 2},
        ChoiceCase{"AllZeroLastWinsWhateverItsWidth", {{32, 0}, {16, 0}, {16, 0}, {64, 0}}, 32, 3},
        ChoiceCase{"FifteenColoursTooFew", {{16, 15}, {32, 0}}, 16, 1},
        ChoiceCase{"NoWidthMatchTakesLast", {{48, 16}, {24, 16}}, 16, 1},
        ChoiceCase{"WidthZeroIsNotSixteen", {{0, 16}, {32, 16}}, 16, 1},
        ChoiceCase{"OnlyEntry", {{48, 0}}, 16, 0}),
    [](const ::testing::TestParamInfo<ChoiceCase>& info) { return std::string(info.param.name); });

TEST(IcoFileTest, ScanStopsAtTheChoiceSoLaterEntriesNeedNotExist) {
    // Three entries announced, only the first in the file; it is chosen
    // before the missing ones would be read.
    Bytes file = iconFile({{16, 16, bitmap(16, 32, 4)}});
    putU16(file, 4, 3);
    const auto image = select(file, 16);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->width, 16);
    // Preferring 32, the scan needs the missing entries.
    EXPECT_FALSE(select(file, 32).has_value());
}

TEST(IcoFileTest, OnlyTheChosenImageMustLieInside) {
    // The first entry points far outside the file, the second is good and
    // chosen: the first's data is never looked at.
    Bytes file = iconFile({{32, 0, bitmap(32, 64, 32)}, {16, 16, bitmap(16, 32, 8)}});
    putU32(file, 6 + 12, 0xFFFFFF00u);
    const auto image = select(file, 16);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->bitCount, 8);
    // Preferring 32 finds no entry with enough colours and takes the last.
    const auto fallback = select(file, 32);
    ASSERT_TRUE(fallback.has_value());
    EXPECT_EQ(fallback->bitCount, 8);
}

// The bitmap-header fields, read little-endian, the height halved.
struct HeaderCase {
    std::int32_t biWidth;
    std::int32_t biHeight;
    std::uint16_t biBitCount;
    std::int32_t height;
};

void PrintTo(const HeaderCase& c, std::ostream* os) {
    *os << "biWidth " << c.biWidth << ", biHeight " << c.biHeight << ", biBitCount " << c.biBitCount;
}

class IcoFileHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(IcoFileHeader, ReadsWidthHalvedHeightAndBitCount) {
    const HeaderCase& c = GetParam();
    const auto image = select(iconFile({{32, 0, bitmap(c.biWidth, c.biHeight, c.biBitCount)}}));
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->width, c.biWidth);
    EXPECT_EQ(image->height, c.height);
    EXPECT_EQ(image->bitCount, c.biBitCount);
}

INSTANTIATE_TEST_SUITE_P(
    BitmapHeaders, IcoFileHeader,
    ::testing::Values(HeaderCase{32, 64, 32, 32}, HeaderCase{16, 32, 16, 16}, HeaderCase{48, 63, 1, 31},
                      HeaderCase{48, -64, 24, -32}, HeaderCase{48, -63, 24, -31}, HeaderCase{1, 1, 8, 0},
                      HeaderCase{1, -1, 8, 0}, HeaderCase{-20, 0, 4, 0},
                      HeaderCase{0x12345678, 0x7FFFFFFF, 0x1234, 0x3FFFFFFF},
                      HeaderCase{INT_MIN, INT_MIN, 0xFFFF, INT_MIN / 2}));

}  // namespace
