// The window description's values that the window host derives Windows
// parameters from, and the centring arithmetic.

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

#include "app/WindowDescription.h"

namespace {

TEST(WindowDescription, MainWindow) {
    const MainWindowDescription& w = kWindowDescription.mainWindow;
    EXPECT_EQ(w.width, 284);
    EXPECT_EQ(w.height, 50);
    EXPECT_STREQ(w.title, "Morvaleth quendrix");
    EXPECT_TRUE(w.controlBox);
    EXPECT_TRUE(w.minimizeBox);
    EXPECT_FALSE(w.maximizeBox);
    EXPECT_EQ(w.startPosition, WindowPosition::Centered);
    EXPECT_TRUE(w.closeOnEscape);
    EXPECT_TRUE(w.showInTaskbar);
    EXPECT_FALSE(w.alwaysOnTop);
    EXPECT_TRUE(w.visible);
    EXPECT_EQ(w.backgroundColor, kDefaultFaceColor);
    EXPECT_EQ(w.icon, nullptr);
}

TEST(WindowDescription, HintLabelTextIsTheExactCodePage936Bytes) {
    const LabelDescription& l = kWindowDescription.hintLabel;
    const unsigned char expected[] = {0xc8, 0xc8, 0xbc, 0xfc, 0xca, 0xc7, 0xa3, 0xba, 0x20, 0x7e, 0xbc, 0xfc};
    ASSERT_EQ(std::strlen(l.text), sizeof expected);
    EXPECT_EQ(std::memcmp(l.text, expected, sizeof expected), 0);
    EXPECT_EQ(l.controlId, 100);
    EXPECT_EQ(l.left, 14);
    EXPECT_EQ(l.top, 5);
    EXPECT_EQ(l.width, 170);
    EXPECT_EQ(l.height, 16);
    EXPECT_EQ(l.textColor, 0x000000FFu);
    EXPECT_EQ(l.backgroundColor, kDefaultFaceColor);
    EXPECT_FALSE(l.wordWrap);
    EXPECT_EQ(l.font, nullptr);
    EXPECT_TRUE(l.visible);
}

struct CentringCase {
    std::int32_t screenWidth, screenHeight;
    std::int32_t x, y;
};

void PrintTo(const CentringCase& c, std::ostream* os) {
    *os << c.screenWidth << "x" << c.screenHeight << " -> (" << c.x << ", " << c.y << ")";
}

class Centring : public ::testing::TestWithParam<CentringCase> {};

TEST_P(Centring, TruncatesTowardZero) {
    const CentringCase& c = GetParam();
    ScreenPoint p = centredOrigin(c.screenWidth, c.screenHeight, 284, 50);
    EXPECT_EQ(p.x, c.x);
    EXPECT_EQ(p.y, c.y);
}

INSTANTIATE_TEST_SUITE_P(Screens, Centring,
                         ::testing::Values(CentringCase{1024, 768, 370, 359}, CentringCase{800, 600, 258, 275},
                                           // A screen narrower than the window: -83 / 2 is -41, not -42.
                                           CentringCase{201, 49, -41, 0}, CentringCase{0, 0, -142, -25},
                                           CentringCase{285, 51, 0, 0}, CentringCase{1920, 1080, 818, 515}));

}  // namespace
