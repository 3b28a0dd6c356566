#include "toolkit/Graphics.h"

#include <QApplication>
#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <QPalette>
#include <cmath>
#include <map>

namespace {

// The desktop palette's role for each system colour index; indexes without a role keep the
// classic grey scheme.
TColor SystemColorToRGB(int index) {
    const QPalette palette =
        QApplication::instance() != nullptr ? QApplication::palette() : QPalette();
    auto from = [&](QPalette::ColorGroup g, QPalette::ColorRole r) {
        return FromQColor(palette.color(g, r));
    };
    switch (index) {
        case 0:
            return from(QPalette::Active, QPalette::Button);
        case 1:
            return from(QPalette::Active, QPalette::Window);
        case 2:
            return from(QPalette::Active, QPalette::Highlight);
        case 5:
            return from(QPalette::Active, QPalette::Base);
        case 6:
            return from(QPalette::Active, QPalette::Shadow);
        case 8:
            return from(QPalette::Active, QPalette::Text);
        case 13:
            return from(QPalette::Active, QPalette::Highlight);
        case 14:
            return from(QPalette::Active, QPalette::HighlightedText);
        case 15:
            return from(QPalette::Active, QPalette::Button);
        case 16:
            return from(QPalette::Active, QPalette::Dark);
        case 17:
            return from(QPalette::Disabled, QPalette::Text);
        case 18:
            return from(QPalette::Active, QPalette::ButtonText);
        case 20:
            return from(QPalette::Active, QPalette::Light);
        case 23:
            return from(QPalette::Active, QPalette::ToolTipText);
        case 24:
            return from(QPalette::Active, QPalette::ToolTipBase);
        default:
            return RGB(0xC0, 0xC0, 0xC0);
    }
}

constexpr double kDesignPixelsPerInch = 96.0;

}  // namespace

TColor ColorToRGB(TColor color) {
    if (color < 0) {
        return SystemColorToRGB(color & 0xFF);
    }
    return color;
}

QColor ToQColor(TColor color) {
    const TColor c = ColorToRGB(color);
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

TColor FromQColor(const QColor& color) {
    return RGB(color.red(), color.green(), color.blue());
}

TFont::TFont() = default;

int TFont::Size() const {
    return -static_cast<int>(std::lround(FHeight * 72.0 / kDesignPixelsPerInch));
}

void TFont::SetSize(int points) {
    FHeight = -static_cast<int>(std::lround(points * kDesignPixelsPerInch / 72.0));
    Changed();
}

void TFont::Assign(const TFont& source) {
    FName = source.FName;
    FHeight = source.FHeight;
    FStyle = source.FStyle;
    FColor = source.FColor;
    FCharset = source.FCharset;
    FOrientation = source.FOrientation;
    FQuality = source.FQuality;
    Changed();
}

std::string TFont::ResolveFamily(const std::string& name) {
    // Every font change of every control and each tray repaint asks this; the installed fonts
    // do not change under a running program, so each name is looked up once.
    static std::map<std::string, std::string> resolved;
    const auto known = resolved.find(name);
    if (known != resolved.end()) {
        return known->second;
    }
    return resolved[name] = LookUpFamily(name);
}

std::string TFont::LookUpFamily(const std::string& name) {
    const QStringList families = QFontDatabase::families();
    const QString wanted = QString::fromLocal8Bit(name);
    if (families.contains(wanted, Qt::CaseInsensitive)) {
        return name;
    }
    const char* fallbacks[3] = {nullptr, nullptr, nullptr};
    if (name == "Verdana" || name == "Tahoma") {
        fallbacks[0] = "DejaVu Sans";
    } else if (name == "Arial" || name == "Helvetica") {
        fallbacks[0] = "Liberation Sans";
        fallbacks[1] = "DejaVu Sans";
    } else if (name == "Courier New") {
        fallbacks[0] = "Liberation Mono";
        fallbacks[1] = "DejaVu Sans Mono";
    }
    for (const char* f : fallbacks) {
        if (f != nullptr && families.contains(QString::fromLatin1(f), Qt::CaseInsensitive)) {
            return f;
        }
    }
    // "MS Sans Serif" and anything else unknown: the platform's default sans-serif.
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family().toStdString();
}

QFont TFont::ToQFont() const {
    QFont font(QString::fromStdString(ResolveFamily(FName)));
    if (FHeight < 0) {
        font.setPixelSize(-FHeight);
    } else if (FHeight > 0) {
        // A positive height includes the internal leading; about a fifth of it on common fonts.
        font.setPixelSize(std::max(1, FHeight * 4 / 5));
    }
    font.setBold((FStyle & fsBold) != 0);
    font.setItalic((FStyle & fsItalic) != 0);
    font.setUnderline((FStyle & fsUnderline) != 0);
    font.setStrikeOut((FStyle & fsStrikeOut) != 0);
    if (FQuality == TFontQuality::fqNonAntialiased) {
        font.setStyleStrategy(QFont::NoAntialias);
    } else if (FQuality == TFontQuality::fqAntialiased) {
        font.setStyleStrategy(QFont::PreferAntialias);
    }
    return font;
}
