#pragma once
// Colours and fonts as the window's components describe them.

#include <cstdint>
#include <string>

#include "toolkit/Classes.h"

class QColor;
class QFont;

// 0x00BBGGRR for a plain colour; a value with the top byte 0xFF names a system colour by the
// index in its low byte; clNone is "no colour".
using TColor = int32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clOlive = 0x008080;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clPurple = 0x800080;
inline constexpr TColor clTeal = 0x808000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clFuchsia = 0xFF00FF;
inline constexpr TColor clAqua = 0xFFFF00;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;

inline constexpr TColor SystemColor(int index) {
    return static_cast<TColor>(0xFF000000u | static_cast<uint32_t>(index));
}
inline constexpr TColor clScrollBar = SystemColor(0);
inline constexpr TColor clBackground = SystemColor(1);
inline constexpr TColor clActiveCaption = SystemColor(2);
inline constexpr TColor clWindow = SystemColor(5);
inline constexpr TColor clWindowFrame = SystemColor(6);
inline constexpr TColor clWindowText = SystemColor(8);
inline constexpr TColor clHighlight = SystemColor(13);
inline constexpr TColor clHighlightText = SystemColor(14);
inline constexpr TColor clBtnFace = SystemColor(15);
inline constexpr TColor clBtnShadow = SystemColor(16);
inline constexpr TColor clGrayText = SystemColor(17);
inline constexpr TColor clBtnText = SystemColor(18);
inline constexpr TColor clBtnHighlight = SystemColor(20);
inline constexpr TColor clInfoText = SystemColor(23);
inline constexpr TColor clInfoBk = SystemColor(24);

// A plain colour as it is; a system colour as the desktop's palette has it now.
TColor ColorToRGB(TColor color);
inline constexpr int GetRValue(TColor c) {
    return c & 0xFF;
}
inline constexpr int GetGValue(TColor c) {
    return (c >> 8) & 0xFF;
}
inline constexpr int GetBValue(TColor c) {
    return (c >> 16) & 0xFF;
}
inline constexpr TColor RGB(int r, int g, int b) {
    return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16);
}
QColor ToQColor(TColor color);
TColor FromQColor(const QColor& color);

enum TFontStyle : unsigned {
    fsBold = 1u << 0,
    fsItalic = 1u << 1,
    fsUnderline = 1u << 2,
    fsStrikeOut = 1u << 3
};
using TFontStyles = unsigned;

// How glyph edges are drawn: the desktop's choice, or whole pixels only, or always smoothed.
// What fonts, pens and brushes share: every setter stores its value and tells OnChange, even
// when the value was already the same.
class TGraphicsObject : public TPersistent {
public:
    std::string ClassName() const override { return "TGraphicsObject"; }
    TNotifyEvent OnChange;

protected:
    virtual void Changed() {
        if (OnChange) {
            OnChange(this);
        }
    }
    template <typename T>
    void Set(T& field, const T& value) {
        field = value;
        Changed();
    }
};

enum class TFontQuality { fqDefault, fqNonAntialiased, fqAntialiased };

// A font as the window's design names it. Height below 0 is the character height in pixels
// (internal leading excluded); Size is in points. Setting either keeps the other in step at
// 96 pixels per inch, the design's resolution.
class TFont : public TGraphicsObject {
public:
    TFont();
    std::string ClassName() const override { return "TFont"; }

    const std::string& Name() const { return FName; }
    void SetName(const std::string& value) { Set(FName, value); }
    int Height() const { return FHeight; }
    void SetHeight(int value) { Set(FHeight, value); }
    int Size() const;
    void SetSize(int points);
    TFontStyles Style() const { return FStyle; }
    void SetStyle(TFontStyles value) { Set(FStyle, value); }
    TColor Color() const { return FColor; }
    void SetColor(TColor value) { Set(FColor, value); }
    int Charset() const { return FCharset; }
    void SetCharset(int value) { Set(FCharset, value); }
    // Escapement in tenths of a degree, counter-clockwise: 900 runs the text upwards.
    int Orientation() const { return FOrientation; }
    void SetOrientation(int value) { Set(FOrientation, value); }
    TFontQuality Quality() const { return FQuality; }
    void SetQuality(TFontQuality value) { Set(FQuality, value); }
    void Assign(const TFont& source);

    // The platform font for this description. Names the platform lacks fall back to fonts of
    // the same kind that it has ("Verdana" to DejaVu Sans, "Arial" to Liberation Sans, "MS Sans
    // Serif" to the default sans-serif font).
    QFont ToQFont() const;
    static std::string ResolveFamily(const std::string& name);

private:
    static std::string LookUpFamily(const std::string& name);

    std::string FName = "MS Sans Serif";
    int FHeight = -11;  // 8 points at 96 pixels per inch
    TFontStyles FStyle = 0;
    TColor FColor = clWindowText;
    int FCharset = 1;  // the default character set
    int FOrientation = 0;
    TFontQuality FQuality = TFontQuality::fqDefault;
};
