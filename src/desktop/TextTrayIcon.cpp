#include "desktop/TextTrayIcon.h"

#include <QFontInfo>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "toolkit/Canvas.h"

namespace {

constexpr int kSize = kTrayImageSize;
// The placement formulas centre in 15 pixels, not 16: a text of odd width leans left.
constexpr int kCentreSpan = 15;

// A colour as the image's pixels hold it, 0x00RRGGBB.
uint32_t PixelOf(TColor color) {
    const TColor c = ColorToRGB(color);
    return (static_cast<uint32_t>(GetRValue(c)) << 16) |
           (static_cast<uint32_t>(GetGValue(c)) << 8) | static_cast<uint32_t>(GetBValue(c));
}

}  // namespace

void TOffsetOptions::Assign(const TOffsetOptions& source) {
    FOffsetX = source.FOffsetX;
    FOffsetY = source.FOffsetY;
    FLineDistance = source.FLineDistance;
}

void TOffsetOptions::Store(int& field, int value) {
    if (field == value) {
        return;
    }
    field = value;
    if (OnChange) {
        OnChange(this);
    }
}

TTextTrayIcon::TTextTrayIcon(TComponent* AOwner, TTrayShell& shell)
    : TCoolTrayIcon(AOwner, shell),
      FFont(std::make_unique<TFont>()),
      FOptions(std::make_unique<TOffsetOptions>()),
      FTextBitmap(kSize, kSize, QImage::Format_RGB32) {
    FTextBitmap.fill(Qt::black);
    FFont->OnChange = [this](TObject*) { RebuildIcon(); };
    FOptions->OnChange = [this](TObject*) { RebuildIcon(); };
}

TTextTrayIcon::~TTextTrayIcon() {
    FFont->OnChange = nullptr;
    FOptions->OnChange = nullptr;
}

void TTextTrayIcon::SetText(const std::string& value) {
    FText = value;
    RebuildIcon();
}

void TTextTrayIcon::SetFont(const TFont& value) {
    // The font announces the copy itself, which rebuilds the icon.
    FFont->Assign(value);
}

void TTextTrayIcon::SetColor(TColor value) {
    FColor = value;
    RebuildIcon();
}

void TTextTrayIcon::SetBorder(bool value) {
    FBorder = value;
    RebuildIcon();
}

void TTextTrayIcon::SetBorderColor(TColor value) {
    FBorderColor = value;
    RebuildIcon();
}

void TTextTrayIcon::SetOptions(const TOffsetOptions& value) {
    FOptions->Assign(value);
    RebuildIcon();
}

void TTextTrayIcon::SetBackgroundIcon(const TIcon& value) {
    FBackgroundIcon.Assign(value);
    RebuildIcon();
}

std::vector<std::string> TTextTrayIcon::SplitTextLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t cr = text.find('\r'); cr != std::string::npos; cr = text.find('\r', start)) {
        lines.push_back(text.substr(start, cr - start));
        start = cr + 1;
    }
    lines.push_back(text.substr(start));
    return lines;
}

TColor TTextTrayIcon::ContrastColor() const {
    return ColorToRGB(FFont->Color()) ^ 0x00FFFFFF;
}

void TTextTrayIcon::RenderTextBitmap() {
    FMaskColor = BackgroundColor();
    FTextBitmap = RenderText(kSize);
}

TColor TTextTrayIcon::BackgroundColor() const {
    return (FColor == clNone || FColor == FFont->Color()) ? ContrastColor() : FColor;
}

std::string TTextTrayIcon::PaintedFrom() const {
    // Colours as painted, so that a system colour the desktop has changed paints anew.
    std::string key = FText;
    const long long parts[] = {ColorToRGB(BackgroundColor()),
                               ColorToRGB(FFont->Color()),
                               FColor == clNone,
                               FBorder,
                               ColorToRGB(FBorderColor),
                               FFont->Height(),
                               FFont->Style(),
                               FFont->Charset(),
                               FFont->Orientation(),
                               static_cast<long long>(FFont->Quality()),
                               FOptions->OffsetX(),
                               FOptions->OffsetY(),
                               FOptions->LineDistance()};
    for (const long long part : parts) {
        key += '\0' + std::to_string(part);
    }
    return key + '\0' + FFont->Name();
}

QImage TTextTrayIcon::RenderText(int side) const {
    // A larger image is the 16 x 16 one drawn afresh at its scale: lengths are scaled and
    // rounded to whole pixels, so a 32-pixel image shows the same digits twice as large.
    const auto scaled = [side](int length) {
        return side == kSize ? length
                             : static_cast<int>(std::lround(length * side / double(kSize)));
    };
    const TColor background = BackgroundColor();
    const int frame = FBorder ? std::max(1, scaled(1)) : 0;
    const TTextPlacement placement{scaled(kCentreSpan), scaled(FOptions->OffsetX()),
                                   scaled(FOptions->OffsetY()), scaled(FOptions->LineDistance())};

    TFont font;
    font.Assign(*FFont);
    // Whole pixels only: a smoothed edge would be neither text nor square, and on a transparent
    // square it would stay behind as a fringe around the text.
    font.SetQuality(TFontQuality::fqNonAntialiased);
    const TTextLayout layout = FitText(font, scaled(FFont->Height()), placement, background,
                                       TRect{frame, frame, side - frame, side - frame});

    QImage bitmap(side, side, QImage::Format_RGB32);
    QPainter painter(&bitmap);
    TCanvas canvas;
    canvas.Begin(&painter);
    // The brush stays in the square's colour, so the text's box blends with the fill.
    canvas.Brush().SetColor(background);
    canvas.FillRect({0, 0, side, side});
    canvas.Font().Assign(font);
    canvas.Font().SetHeight(layout.Height);
    for (const TPlacedLine& line : layout.Lines) {
        canvas.TextOut(line.X, line.Y, line.Text);
    }
    if (FBorder) {
        canvas.Brush().SetColor(FBorderColor);
        for (int i = 0; i < frame; ++i) {
            canvas.FrameRect({i, i, side - i, side - i});
        }
    }
    canvas.End();
    painter.end();
    return bitmap;
}

std::vector<TTextTrayIcon::TPlacedLine> TTextTrayIcon::PlaceLines(
    const TFont& font, const TTextPlacement& placement) const {
    TCanvas canvas;  // measures only
    canvas.Font().Assign(font);
    const int span = placement.Span;
    const size_t firstBreak = FText.find('\r');
    if (firstBreak == std::string::npos) {
        return {{FText, (span - canvas.TextWidth(FText)) / 2 + placement.OffsetX,
                 (span - canvas.TextHeight(FText)) / 2 + placement.OffsetY}};
    }
    const std::vector<std::string> texts = SplitTextLines(FText);
    const int lineHeight = canvas.TextHeight(FText.substr(firstBreak)) + placement.LineDistance;
    const int count = static_cast<int>(texts.size());
    const int top = (span - count * lineHeight) / 2 + placement.OffsetY;
    std::vector<TPlacedLine> lines;
    for (int i = 0; i < count; ++i) {
        const std::string& text = texts[static_cast<size_t>(i)];
        lines.push_back(
            {text, (span - canvas.TextWidth(text)) / 2 + placement.OffsetX, top + i * lineHeight});
    }
    return lines;
}

TTextTrayIcon::TTextLayout TTextTrayIcon::FitText(const TFont& font, int height,
                                                  const TTextPlacement& placement,
                                                  TColor background, const TRect& inside) const {
    TFont sized;
    sized.Assign(font);
    if (height == 0) {  // the font's own size, which can shrink like any other
        height = -QFontInfo(font.ToQFont()).pixelSize();
    }
    // The placement rules centre the text; a text wider or taller than the frame leaves is
    // drawn smaller, a pixel height at a time, rather than lose its first or last column
    // under the frame, where a 6 reads as a 5.
    TTextLayout layout;
    TRect ink;
    for (;;) {
        sized.SetHeight(height);
        layout = {height, PlaceLines(sized, placement)};
        ink = InkBox(sized, layout.Lines, background);
        const bool fits = ink.Width() <= inside.Width() && ink.Height() <= inside.Height();
        if (fits || std::abs(height) <= 1) {
            break;
        }
        height += height < 0 ? 1 : -1;
    }
    // A text that fits but sits across the frame (an odd width centred in 15 pixels, a
    // glyph's overhang, an offset) moves inside it.
    const auto nudge = [](int low, int high, int from, int to) {
        return low < from ? from - low : high > to ? to - high : 0;
    };
    if (ink.Width() > 0) {
        const int dx = nudge(ink.Left, ink.Right, inside.Left, inside.Right);
        const int dy = nudge(ink.Top, ink.Bottom, inside.Top, inside.Bottom);
        for (TPlacedLine& line : layout.Lines) {
            line.X += dx;
            line.Y += dy;
        }
    }
    return layout;
}

TRect TTextTrayIcon::InkBox(const TFont& font, const std::vector<TPlacedLine>& lines,
                            TColor background) {
    // The lines drawn on a scratch square large enough for all of them, overhangs included.
    TCanvas canvas;
    canvas.Font().Assign(font);
    QRect area;
    for (const TPlacedLine& line : lines) {
        const int height = canvas.TextHeight(line.Text);
        area |= QRect(line.X, line.Y, canvas.TextWidth(line.Text), height)
                    .adjusted(-height, -height, height, height);
    }
    if (area.isEmpty()) {
        return {};
    }
    QImage scratch(area.size(), QImage::Format_RGB32);
    const uint32_t back = PixelOf(background);
    scratch.fill(QColor::fromRgb(back));
    QPainter painter(&scratch);
    painter.translate(-area.topLeft());
    canvas.Begin(&painter);
    canvas.Brush().SetColor(background);
    for (const TPlacedLine& line : lines) {
        canvas.TextOut(line.X, line.Y, line.Text);
    }
    canvas.End();
    painter.end();

    const int width = scratch.width();
    const int height = scratch.height();
    TRect ink{width, height, 0, 0};
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(scratch.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            if ((row[x] & 0xFFFFFFu) != back) {
                ink = {std::min(ink.Left, x), std::min(ink.Top, y), std::max(ink.Right, x + 1),
                       std::max(ink.Bottom, y + 1)};
            }
        }
    }
    if (ink.Width() <= 0) {
        return {};
    }
    return {ink.Left + area.left(), ink.Top + area.top(), ink.Right + area.left(),
            ink.Bottom + area.top()};
}

TTrayImageAtSize TTextTrayIcon::MaskedPixels(const QImage& bitmap, int side, TColor maskColor) {
    const QImage source = bitmap.convertToFormat(QImage::Format_RGB32);
    const bool masked = maskColor != clNone;
    const uint32_t transparent = masked ? PixelOf(maskColor) : 0;
    const size_t count = static_cast<size_t>(side) * static_cast<size_t>(side);
    TTrayImageAtSize image{side, std::vector<uint32_t>(count), std::vector<uint8_t>(count)};
    // Scan lines, not pixel by pixel: the tray image is rebuilt at every update, at every size.
    const int width = std::min(side, source.width());
    const int height = std::min(side, source.height());
    for (int y = 0; y < side; ++y) {
        const auto* line =
            y < height ? reinterpret_cast<const uint32_t*>(source.constScanLine(y)) : nullptr;
        for (int x = 0; x < side; ++x) {
            const size_t at = static_cast<size_t>(y * side + x);
            const uint32_t pixel = line != nullptr && x < width ? line[x] & 0xFFFFFFu : 0;
            if (masked && pixel == transparent) {
                image.Mask[at] = 1;
            } else {
                image.Pixels[at] = pixel;
            }
        }
    }
    return image;
}

TIcon TTextTrayIcon::MakeIconFromBitmap(const QImage& bitmap, TColor maskColor) {
    const TTrayImageAtSize pixels = MaskedPixels(bitmap, kSize, maskColor);
    TTrayImage image;
    std::copy(pixels.Pixels.begin(), pixels.Pixels.end(), image.Pixels.begin());
    std::copy(pixels.Mask.begin(), pixels.Mask.end(), image.Mask.begin());
    TIcon icon;
    icon.SetImage(image);
    return icon;
}

TIcon TTextTrayIcon::MakeIconOverBackground() const {
    const TColor back = BackgroundColor();
    const uint32_t backPixel = PixelOf(back);
    const uint32_t textMask = FMaskColor != clNone ? PixelOf(FMaskColor) : 0;
    const TTrayImage& underneath = *FBackgroundIcon.Handle();
    QImage combined(kSize, kSize, QImage::Format_RGB32);
    const QImage textBitmap = FTextBitmap.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < kSize; ++y) {
        const auto* textLine = reinterpret_cast<const uint32_t*>(textBitmap.constScanLine(y));
        auto* out = reinterpret_cast<uint32_t*>(combined.scanLine(y));
        for (int x = 0; x < kSize; ++x) {
            const size_t at = static_cast<size_t>(y * kSize + x);
            uint32_t pixel = underneath.Mask[at] != 0 ? backPixel : underneath.Pixels[at];
            const uint32_t text = textLine[x] & 0xFFFFFFu;
            if (FMaskColor == clNone || text != textMask) {
                pixel = text;
            }
            out[x] = 0xFF000000u | pixel;
        }
    }
    return MakeIconFromBitmap(combined, back);
}

void TTextTrayIcon::RebuildIcon() {
    SetCycleIcons(false);
    // A status update assigns the text and then the colour, mostly as they were: the same
    // text, font, colours and placement paint the same pixels at every size, so the icon
    // painted last goes to the tray again (every assignment still reaches it).
    const std::string key = FBackgroundIcon.Empty() ? PaintedFrom() : std::string();
    if (!key.empty() && key == FPaintedFrom) {
        SetIcon(FPainted);
        return;
    }
    RenderTextBitmap();
    TIcon icon;
    if (FBackgroundIcon.Empty()) {
        if (FColor != clNone) {
            FMaskColor = clNone;
        }
        icon = MakeIconFromBitmap(FTextBitmap, FMaskColor);
        // The same text painted for the larger trays; a background icon has no larger sizes,
        // so a text over one stays 16 x 16.
        TTrayImage image = *icon.Handle();
        for (const int side : kTrayLargerSides) {
            image.Larger.push_back(MaskedPixels(RenderText(side), side, FMaskColor));
        }
        icon.SetImage(image);
    } else {
        icon = MakeIconOverBackground();
    }
    FPaintedFrom = key;
    FPainted.Assign(icon);
    SetIcon(icon);
}
