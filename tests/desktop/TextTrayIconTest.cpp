// The text tray icon: where the text lands in the 16 x 16 image, the square, the frame and the
// transparency, checked on the pixels; and that every assignment reaches the tray.

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <algorithm>
#include <array>
#include <functional>
#include <vector>

#include "desktop/TextTrayIcon.h"
#include "support/FakeTrayShell.h"

namespace {

constexpr int kSize = 16;

// The window's icon: "Arial" at a character height of 9 pixels, lime on black, one pixel below
// the centre, framed in green.
void DressAsTheWindowDoes(TTextTrayIcon& icon, bool border = true) {
    icon.Font().SetName("Arial");
    icon.Font().SetHeight(-9);
    icon.Font().SetColor(clLime);
    icon.SetColor(clBlack);
    icon.SetBorder(border);
    icon.SetBorderColor(clGreen);
    icon.Options().SetOffsetY(1);
}

// The icon draws its text in whole pixels.
QFont PixelFont(const TFont& font) {
    TFont copy;
    copy.Assign(font);
    copy.SetQuality(TFontQuality::fqNonAntialiased);
    return copy.ToQFont();
}

bool Is(const QImage& image, int x, int y, TColor color) {
    return (image.pixel(x, y) & 0xFFFFFFu) == (ToQColor(color).rgb() & 0xFFFFFFu);
}

// Where the lime text lies in a side x side image: left, top, width and height of its box.
std::array<int, 4> InkBox(const std::vector<uint32_t>& pixels, int side) {
    int left = side, top = side, right = -1, bottom = -1;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            if (pixels[static_cast<size_t>(y * side + x)] == 0x00FF00u) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return {left, top, right - left + 1, bottom - top + 1};
}

int Width(const QFont& font, const std::string& text) {
    return QFontMetrics(font).horizontalAdvance(QString::fromLocal8Bit(text));
}

// A text of the window's kind (digits, blanks, "k") exactly this wide in the font.
std::string TextOfWidth(const QFont& font, int width) {
    const std::string chars = "0123456789k ";
    for (const char a : chars) {
        for (const char b : chars) {
            for (const char c : chars) {
                for (const std::string& s : {std::string{a, b, c}, std::string{a, b, c, '0'}}) {
                    if (s.front() != ' ' && s.back() != ' ' && Width(font, s) == width) {
                        return s;
                    }
                }
            }
        }
    }
    return std::string();
}

class TextTrayIconTest : public ::testing::Test {
protected:
    // The box of the lime text in the icon's 16 x 16 image.
    std::array<int, 4> TextBox() const {
        const TTrayImage& image = *icon.Icon().Handle();
        return InkBox(std::vector<uint32_t>(image.Pixels.begin(), image.Pixels.end()), kSize);
    }
    TFakeTrayShell shell;
    TTextTrayIcon icon{nullptr, shell};
};

TEST(TextTrayIcon, LinesSplitAtCarriageReturnsOnly) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"", {""}},
        {"123", {"123"}},
        {"12\r34", {"12", "34"}},
        {"12\r\n34", {"12", "\n34"}},
        {"12\n34", {"12\n34"}},
        {"a\r", {"a", ""}},
        {"\r\r", {"", "", ""}},
    };
    for (const auto& [text, lines] : cases) {
        EXPECT_EQ(TTextTrayIcon::SplitTextLines(text), lines) << '"' << text << '"';
    }
}

// Where the number lands in the square, as a user sees it: the box of its lime pixels (left,
// top, width, height) in the window's font, with the window's offsets and others.
TEST_F(TextTrayIconTest, TheNumberSitsInTheMiddleOfTheSquare) {
    DressAsTheWindowDoes(icon, false);
    const QFont font = PixelFont(icon.Font());
    const std::string wide17 = TextOfWidth(font, 17);
    const std::string wide18 = TextOfWidth(font, 18);
    ASSERT_FALSE(wide17.empty());
    ASSERT_FALSE(wide18.empty());
    struct {
        std::string Text;
        int OffsetX;
        int OffsetY;
        std::array<int, 4> Box;
    } const rows[] = {
        {"0", 0, 1, {5, 4, 4, 7}},
        {"123", 0, 1, {1, 4, 13, 7}},
        {"42", 0, 1, {2, 4, 9, 7}},
        {" 42", 0, 1, {3, 4, 9, 7}},  // the padding counts in the width
        {"2k", 2, -1, {4, 2, 9, 7}},
        // From -1 (-3 div 2 truncates) the first column would be lost: moved in whole instead.
        {wide17, 0, 1, {0, 4, 16, 7}},
        {wide18, 0, 1, {0, 4, 16, 7}},
        {"123", 5, 1, {3, 4, 13, 7}},  // an offset does not push it out either
    };
    for (const auto& row : rows) {
        icon.Options().SetOffsetX(row.OffsetX);
        icon.Options().SetOffsetY(row.OffsetY);
        icon.SetText(row.Text);
        EXPECT_EQ(TextBox(), row.Box) << '"' << row.Text << '"';
    }
}

TEST_F(TextTrayIconTest, LinesAreCentredAsABlock) {
    DressAsTheWindowDoes(icon, false);
    icon.Font().SetHeight(-6);
    icon.Options().SetLineDistance(1);
    icon.SetText("12");
    EXPECT_EQ(TextBox(), (std::array<int, 4>{4, 6, 6, 4})) << "one line";
    for (const char* text : {"12\r34", "12\r\n34"}) {
        icon.SetText(text);
        EXPECT_EQ(TextBox(), (std::array<int, 4>{4, 2, 6, 11})) << "two lines";
    }
}

TEST_F(TextTrayIconTest, EmptyTextIsTheFramedSquare) {
    DressAsTheWindowDoes(icon);
    icon.SetColor(clNavy);
    icon.SetText("");
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const bool edge = x == 0 || y == 0 || x == kSize - 1 || y == kSize - 1;
            EXPECT_TRUE(Is(icon.TextBitmap(), x, y, edge ? clGreen : clNavy)) << x << "," << y;
        }
    }
}

// A text wider than the square is drawn smaller, whole and inside the frame, rather than lose
// its first or last columns under it.
TEST_F(TextTrayIconTest, AWideTextShrinksInsideTheFrame) {
    DressAsTheWindowDoes(icon);
    const QFont font = PixelFont(icon.Font());
    for (const int width : {18, 20}) {
        const std::string wide = TextOfWidth(font, width);
        ASSERT_FALSE(wide.empty()) << width;
        icon.SetText(wide);
        for (int i = 0; i < kSize; ++i) {
            EXPECT_TRUE(Is(icon.TextBitmap(), 0, i, clGreen)) << wide;
            EXPECT_TRUE(Is(icon.TextBitmap(), 15, i, clGreen)) << wide;
            EXPECT_TRUE(Is(icon.TextBitmap(), i, 0, clGreen)) << wide;
            EXPECT_TRUE(Is(icon.TextBitmap(), i, 15, clGreen)) << wide;
        }
        const std::array<int, 4> box = TextBox();
        EXPECT_GE(box[0], 1) << '"' << wide << '"';
        EXPECT_LE(box[0] + box[2], 15) << '"' << wide << '"';
        EXPECT_LT(box[3], 7) << '"' << wide << "\" is smaller than the digits that fit";
        EXPECT_GE(box[3], 4) << '"' << wide << "\" shrinks no further than it must";
    }
}

TEST_F(TextTrayIconTest, SquareColourAndTransparency) {
    DressAsTheWindowDoes(icon);
    icon.SetText("8");
    const TColor inverse = RGB(0xFF, 0x00, 0xFF);  // lime inverted
    struct TCase {
        const char* Name;
        TColor Color;
        TColor Square;
        bool Transparent;
    };
    const std::vector<TCase> cases = {
        {"black", clBlack, clBlack, false},
        {"maroon", clMaroon, clMaroon, false},
        {"same as the text", clLime, inverse, false},
        {"none", clNone, inverse, true},
    };
    for (const TCase& c : cases) {
        icon.SetColor(c.Color);
        const QImage& bitmap = icon.TextBitmap();
        const TTrayImage& image = *icon.Icon().Handle();
        int square = 0;
        int ink = 0;
        for (int y = 1; y < kSize - 1; ++y) {
            for (int x = 1; x < kSize - 1; ++x) {
                const size_t at = static_cast<size_t>(y * kSize + x);
                if (Is(bitmap, x, y, c.Square)) {
                    ++square;
                    EXPECT_EQ(image.Mask[at] != 0, c.Transparent)
                        << c.Name << " at " << x << "," << y;
                } else {
                    ++ink;
                    EXPECT_TRUE(Is(bitmap, x, y, clLime)) << c.Name;
                    EXPECT_EQ(image.Mask[at], 0) << c.Name << ": the text stays opaque";
                }
            }
        }
        EXPECT_GT(square, 0) << c.Name;
        EXPECT_GT(ink, 0) << c.Name;
        EXPECT_EQ(image.Mask[0], 0) << c.Name << ": the frame stays opaque";
        EXPECT_EQ(icon.MaskColor(), c.Transparent ? inverse : clNone) << c.Name;
    }
}

TEST_F(TextTrayIconTest, LargerTraysGetTheNumberPaintedAtTheirSize) {
    DressAsTheWindowDoes(icon);
    icon.SetColor(clMaroon);
    icon.SetText(" 42");
    icon.SetIconVisible(true);
    const TTrayImage& shown = shell.Entry(icon.TrayId())->Image;
    const std::vector<uint32_t> small(shown.Pixels.begin(), shown.Pixels.end());
    const std::array<int, 4> smallBox = InkBox(small, kSize);

    ASSERT_EQ(shown.Larger.size(), kTrayLargerSides.size());
    for (size_t i = 0; i < shown.Larger.size(); ++i) {
        const TTrayImageAtSize& larger = shown.Larger[i];
        const int side = kTrayLargerSides[i];
        ASSERT_EQ(larger.Side, side);
        ASSERT_EQ(larger.Pixels.size(), static_cast<size_t>(side * side));
        ASSERT_EQ(larger.Mask.size(), larger.Pixels.size());
        const int frame = std::max(1, (side + 8) / 16);
        const auto at = [&](int x, int y) {
            return larger.Pixels[static_cast<size_t>(y * side + x)];
        };
        EXPECT_EQ(at(frame - 1, side / 2), 0x008000u) << side << ": the frame, scaled";
        EXPECT_EQ(at(frame, frame), 0x800000u) << side << ": the square inside it";
        EXPECT_EQ(std::count(larger.Mask.begin(), larger.Mask.end(), 0), side * side)
            << side << ": an opaque square";
        const std::array<int, 4> box = InkBox(larger.Pixels, side);
        const double scale = side / double(kSize);
        for (size_t k = 0; k < box.size(); ++k) {
            EXPECT_NEAR(box[k], smallBox[k] * scale, 1.5 * scale)
                << side << ": the digits at " << scale << " times the scale (box part " << k << ")";
        }
    }
}

TEST_F(TextTrayIconTest, EveryAssignmentReachesTheTray) {
    DressAsTheWindowDoes(icon);
    icon.SetIconVisible(true);
    auto modifications = [&] { return shell.CountCalls(NIM_MODIFY); };

    int before = modifications();
    icon.SetText("123");  // a status update: text, hint and colour
    icon.SetHint("Ping a: 123.0 msec.");
    icon.SetColor(clNavy);
    EXPECT_EQ(modifications() - before, 3);

    before = modifications();
    icon.SetText("123");
    EXPECT_EQ(modifications() - before, 1) << "an unchanged text is rendered again";

    before = modifications();
    icon.Options().SetOffsetY(1);
    EXPECT_EQ(modifications() - before, 0) << "an unchanged offset is no change";
    icon.Options().SetOffsetY(2);
    icon.Font().SetStyle(fsBold);
    TFont font;
    font.SetName("Arial");
    icon.SetFont(font);
    EXPECT_EQ(modifications() - before, 3);

    icon.SetCycleInterval(100);
    icon.SetCycleIcons(true);
    icon.SetBorderColor(clRed);
    EXPECT_FALSE(icon.CycleIcons()) << "a rebuilt image ends cycling";
}

// A status update assigns the text and then the colour, mostly as they were: what would paint
// the same pixels is not painted again (the tray gets the icon all the same), every change is.
TEST_F(TextTrayIconTest, OnlyAChangeIsPaintedAgain) {
    class TCounted : public TTextTrayIcon {
    public:
        using TTextTrayIcon::TTextTrayIcon;
        int Paintings = 0;

    protected:
        void RenderTextBitmap() override {
            ++Paintings;
            TTextTrayIcon::RenderTextBitmap();
        }
    } counted(nullptr, shell);
    DressAsTheWindowDoes(counted);
    counted.SetIconVisible(true);
    counted.SetText("123");
    const TTrayImage black = *counted.Icon().Handle();
    const int modifications = shell.CountCalls(NIM_MODIFY);
    const int paintings = counted.Paintings;
    counted.SetText("123");
    counted.SetColor(clBlack);
    EXPECT_EQ(counted.Paintings, paintings) << "nothing changed";
    EXPECT_EQ(shell.CountCalls(NIM_MODIFY), modifications + 2);
    EXPECT_TRUE(*counted.Icon().Handle() == black);

    const std::function<void()> changes[] = {
        [&] { counted.SetText("124"); },          [&] { counted.SetColor(clNavy); },
        [&] { counted.Font().SetColor(clRed); },  [&] { counted.SetBorder(false); },
        [&] { counted.Options().SetOffsetX(1); }, [&] { counted.Font().SetName("Verdana"); },
    };
    for (const auto& change : changes) {
        const int before = counted.Paintings;
        change();
        EXPECT_EQ(counted.Paintings, before + 1);
    }
    // Back to the first look: painted again, as it was.
    counted.SetText("123");
    counted.SetColor(clBlack);
    counted.Font().SetColor(clLime);
    counted.SetBorder(true);
    counted.Options().SetOffsetX(0);
    counted.Font().SetName("Arial");
    EXPECT_TRUE(*counted.Icon().Handle() == black);
}

TEST_F(TextTrayIconTest, TextOverABackgroundIcon) {
    DressAsTheWindowDoes(icon, false);
    TTrayImage picture;
    picture.Pixels.fill(0x0000FF);
    picture.Mask[0] = 1;  // the top-left corner is transparent
    TIcon background;
    background.SetImage(picture);
    icon.SetColor(clNone);
    icon.SetBackgroundIcon(background);
    icon.SetText("8");
    icon.SetIconVisible(true);

    const TTrayImage& shown = shell.Entry(icon.TrayId())->Image;
    EXPECT_EQ(shown.Mask[0], 1) << "transparent where the background is";
    int ink = 0;
    int blue = 0;
    for (size_t at = 1; at < shown.Pixels.size(); ++at) {
        EXPECT_EQ(shown.Mask[at], 0);
        ink += shown.Pixels[at] == 0x00FF00u;
        blue += shown.Pixels[at] == 0x0000FFu;
    }
    EXPECT_GT(ink, 0);
    EXPECT_GT(blue, 0);
    EXPECT_EQ(ink + blue, static_cast<int>(shown.Pixels.size()) - 1);
}

}  // namespace
