// What the window shows a person beyond its controls' texts: every text its tray icon can show,
// at every size a tray asks for (the digits drawn whole: the font's own picture of the text,
// nothing lost under the frame or past the edge; big enough to read; no two texts alike), and
// the About page's version.

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <clocale>
#include <cmath>
#include <fstream>
#include <map>
#include <regex>
#include <set>

#include "core/Statistics.h"
#include "core/StatusDisplay.h"
#include "core/Unit1.h"
#include "support/WindowTest.h"
#include "toolkit/Canvas.h"

namespace {

constexpr uint32_t kLime = 0x00FF00u;  // the window's text colour

// What the window can put into the tray: "0" at start, then host 1's mean in the status
// update's words, or its word for no measurement. A mean is a third of a whole number of
// milliseconds, from the start-up fill's to the longest time-out's.
std::set<std::string> TextsTheTrayCanShow() {
    TRing lowest;
    lowest.fill(-5);
    TRing highest;
    highest.fill(TForm1::kMaxTimeoutMs);
    const auto thirds = [](const TRing& ring) {
        return static_cast<int>(std::lround(TrimmedMean(ring, 1024).Average * 3));
    };
    std::set<std::string> texts = {"0", ComputeStatus(std::nullopt, "h", "8000").TrayText};
    for (int third = thirds(lowest); third <= thirds(highest); ++third) {
        texts.insert(ComputeStatus(third / 3.0, "h", "8000").TrayText);
    }
    return texts;
}

// The text's ink cut out to its box: where the lime pixels are, row by row. Two inks are alike
// wherever their boxes lie.
struct TInk {
    TRect Box;
    std::vector<bool> Bits;
    bool operator==(const TInk& other) const {
        return Box.Width() == other.Box.Width() && Box.Height() == other.Box.Height() &&
               Bits == other.Bits;
    }
};

// The lime pixels of a width x height picture whose rows lie stride pixels apart.
TInk InkOf(const uint32_t* pixels, int width, int height, int stride) {
    const auto inked = [&](int x, int y) {
        return (pixels[static_cast<size_t>(y * stride + x)] & 0xFFFFFFu) == kLime;
    };
    int left = width, top = height, right = -1, bottom = -1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (inked(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    TInk ink{{left, top, std::max(left, right + 1), std::max(top, bottom + 1)}, {}};
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            ink.Bits.push_back(inked(x, y));
        }
    }
    return ink;
}

// The text as the font draws it at this pixel height, in whole pixels, with room all round.
TInk FontPicture(const TFont& font, int pixels, const std::string& text) {
    TFont sized;
    sized.Assign(font);
    sized.SetHeight(-pixels);
    sized.SetQuality(TFontQuality::fqNonAntialiased);
    QImage image(pixels * static_cast<int>(text.size() + 2), pixels * 3, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setFont(sized.ToQFont());
    painter.setPen(QColor(0, 255, 0));
    painter.drawText(pixels, pixels * 2, QString::fromStdString(text));
    painter.end();
    return InkOf(reinterpret_cast<const uint32_t*>(image.constBits()), image.width(),
                 image.height(), static_cast<int>(image.bytesPerLine() / 4));
}

class WindowLookTest : public WindowTest {
protected:
    WindowLookTest() {
        std::setlocale(LC_NUMERIC, "C");
        Open();
    }
    ~WindowLookTest() override { std::setlocale(LC_NUMERIC, savedLocale.c_str()); }

    const std::string savedLocale = std::setlocale(LC_NUMERIC, nullptr);
};

// One version everywhere: the About page names the one the diagnostic log's lines end with
// (and latmo_info and the package carry, all from the project's version).
TEST_F(WindowLookTest, TheAboutPageNamesTheVersionOfTheDiagnosticLog) {
    std::ifstream in(settingsDir / "latmo.log", std::ios::binary);
    std::string start;
    std::getline(in, start);
    std::smatch version;
    ASSERT_TRUE(std::regex_search(start, version, std::regex(R"(: Start \[Latmo ([^\]]+)\]\r$)")))
        << start;
    EXPECT_EQ(form->Label4->Caption(), "Latmo version " + version[1].str());
}

// The window's own font, and the one "Arial" comes to on a desktop without Liberation Sans,
// whose digits are wider still.
class TrayTextTest : public WindowLookTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(TrayTextTest, EveryTextIsWholeReadableAndDistinctAtEverySize) {
    const std::set<std::string> texts = TextsTheTrayCanShow();
    ASSERT_TRUE(texts.count("667") && texts.count("999") && texts.count(" 1k") &&
                texts.count("60k") && texts.count(" -5") && texts.count("?"))
        << "the means cover every kind of text";

    TTextTrayIcon& icon = *form->TextTrayIcon1;
    if (*GetParam() != '\0') {
        icon.Font().SetName(GetParam());
    }
    std::map<int, std::map<std::vector<uint32_t>, std::string>> seen;  // side -> image -> text
    std::map<int, int> heights;  // side -> the font's pixel height that drew the last text
    int faults = 0;
    for (const std::string& text : texts) {
        icon.SetText(text);
        const TTrayImage& shown = tray.Entry(icon.TrayId())->Image;
        ForEachTraySize(shown, [&](int side, const uint32_t* pixels, const uint8_t*) {
            const TInk ink = InkOf(pixels, side, side, side);
            // Whole: the ink is the font's picture of the whole text at some pixel height: the
            // one the previous text had at this size, or one at least as tall as the digits.
            int& height = heights[side];
            bool whole = height > 0 && FontPicture(icon.Font(), height, text) == ink;
            for (int tried = std::max(1, ink.Box.Height()); tried <= side && !whole; ++tried) {
                const TInk picture = FontPicture(icon.Font(), tried, text);
                whole = picture == ink;
                height = whole ? tried : height;
                if (picture.Box.Height() > ink.Box.Height()) {
                    break;
                }
            }
            const bool readable = ink.Box.Height() * 3 >= side;
            const auto [other, distinct] =
                seen[side].emplace(std::vector<uint32_t>(pixels, pixels + side * side), text);
            if ((!whole || !readable || !distinct) && ++faults <= 20) {
                ADD_FAILURE() << '"' << text << "\" at " << side << " px:"
                              << (whole ? ""
                                        : " cut (ink from x " + std::to_string(ink.Box.Left) +
                                              ", " + std::to_string(ink.Box.Width()) + " wide)")
                              << (readable ? "" : " too small")
                              << (distinct ? "" : " looks like \"" + other->second + '"');
            }
        });
    }
    EXPECT_EQ(faults, 0) << "texts at a size that cannot be read";
}

INSTANTIATE_TEST_SUITE_P(TrayFont, TrayTextTest, ::testing::Values("", "DejaVu Sans"),
                         [](const ::testing::TestParamInfo<const char*>& font) {
                             return std::string(*font.param == '\0' ? "TheWindowsOwn"
                                                                    : "DejaVuSans");
                         });

}  // namespace
