#include "desktop/TextTrayIcon.h"

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
    QImage bitmap(side, side, QImage::Format_RGB32);
    const TColor background = BackgroundColor();

    QPainter painter(&bitmap);
    TCanvas canvas;
    canvas.Begin(&painter);
    const TRect square{0, 0, side, side};
    // The brush stays in the square's colour, so the text's box blends with the fill.
    canvas.Brush().SetColor(background);
    canvas.FillRect(square);
    canvas.Font().Assign(*FFont);
    canvas.Font().SetHeight(scaled(FFont->Height()));
    // Whole pixels only: a smoothed edge would be neither text nor square, and on a transparent
    // square it would stay behind as a fringe around the text.
    canvas.Font().SetQuality(TFontQuality::fqNonAntialiased);

    const int span = scaled(kCentreSpan);
    const int offsetX = scaled(FOptions->OffsetX());
    const int offsetY = scaled(FOptions->OffsetY());
    const size_t firstBreak = FText.find('\r');
    if (firstBreak == std::string::npos) {
        canvas.TextOut((span - canvas.TextWidth(FText)) / 2 + offsetX,
                       (span - canvas.TextHeight(FText)) / 2 + offsetY, FText);
    } else {
        const std::vector<std::string> lines = SplitTextLines(FText);
        const int lineHeight =
            canvas.TextHeight(FText.substr(firstBreak)) + scaled(FOptions->LineDistance());
        const int count = static_cast<int>(lines.size());
        const int top = (span - count * lineHeight) / 2 + offsetY;
        for (int i = 0; i < count; ++i) {
            const std::string& line = lines[static_cast<size_t>(i)];
            canvas.TextOut((span - canvas.TextWidth(line)) / 2 + offsetX, top + i * lineHeight,
                           line);
        }
    }

    if (FBorder) {
        canvas.Brush().SetColor(FBorderColor);
        const int frame = std::max(1, scaled(1));
        for (int i = 0; i < frame; ++i) {
            canvas.FrameRect({i, i, side - i, side - i});
        }
    }
    canvas.End();
    painter.end();
    return bitmap;
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
