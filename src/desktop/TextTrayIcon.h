#pragma once
// A tray icon that shows a short text, painted into its 16 x 16 image on a coloured square
// with an optional one-pixel frame, and painted again whenever anything that shapes it changes.

#include <memory>
#include <string>
#include <vector>

#include <QImage>

#include "desktop/CoolTrayIcon.h"
#include "toolkit/Canvas.h"
#include "toolkit/Graphics.h"

// Where the text sits: shifted by OffsetX and OffsetY from the centre, lines LineDistance
// pixels further apart than the font's height. Each change is announced, an unchanged value is
// not.
class TOffsetOptions : public TPersistent {
public:
    std::string ClassName() const override { return "TOffsetOptions"; }

    int OffsetX() const { return FOffsetX; }
    void SetOffsetX(int value) { Store(FOffsetX, value); }
    int OffsetY() const { return FOffsetY; }
    void SetOffsetY(int value) { Store(FOffsetY, value); }
    int LineDistance() const { return FLineDistance; }
    void SetLineDistance(int value) { Store(FLineDistance, value); }
    // Copies the values without announcing them.
    void Assign(const TOffsetOptions& source);

    TNotifyEvent OnChange;

private:
    void Store(int& field, int value);

    int FOffsetX = 0;
    int FOffsetY = 0;
    int FLineDistance = 0;
};

class TTextTrayIcon : public TCoolTrayIcon {
public:
    TTextTrayIcon(TComponent* AOwner, TTrayShell& shell);
    ~TTextTrayIcon() override;

    std::string ClassName() const override { return "TTextTrayIcon"; }

    // Lines are separated by carriage returns (#13) only. Every assignment renders anew, also
    // when the text is unchanged.
    const std::string& Text() const { return FText; }
    void SetText(const std::string& value);
    TFont& Font() { return *FFont; }
    const TFont& Font() const { return *FFont; }
    void SetFont(const TFont& value);
    // The square's colour; clNone leaves it transparent.
    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    bool Border() const { return FBorder; }
    void SetBorder(bool value);
    TColor BorderColor() const { return FBorderColor; }
    void SetBorderColor(TColor value);
    TOffsetOptions& Options() { return *FOptions; }
    const TOffsetOptions& Options() const { return *FOptions; }
    void SetOptions(const TOffsetOptions& value);
    // An image the text is painted over; empty for the plain square.
    const TIcon& BackgroundIcon() const { return FBackgroundIcon; }
    void SetBackgroundIcon(const TIcon& value);

    bool WantsDefaultIcon() const override { return false; }
    virtual bool WantsDefaultBackground() const { return false; }

    // The last rendering and the background colour it was made on (clNone once the square is
    // known to be opaque).
    const QImage& TextBitmap() const { return FTextBitmap; }
    TColor MaskColor() const { return FMaskColor; }

    // The lines of a text: what stands before each carriage return, and what remains after the
    // last one (possibly empty). A line feed stays part of the following line.
    static std::vector<std::string> SplitTextLines(const std::string& text);
    // The icon of a bitmap whose pixels of exactly the mask colour are transparent; clNone
    // matches no pixel.
    static TIcon MakeIconFromBitmap(const QImage& bitmap, TColor maskColor);
    // The pixels and mask of a side x side bitmap, by the same rule.
    static TTrayImageAtSize MaskedPixels(const QImage& bitmap, int side, TColor maskColor);

protected:
    // Paints the text into a fresh 16 x 16 bitmap and keeps it in TextBitmap.
    virtual void RenderTextBitmap();
    // The text painted into a fresh side x side bitmap: at 16 the image above, larger sides
    // with every length of its layout scaled. The text's ink stays whole inside the frame (or
    // the square): moved in where it would cross it, drawn smaller where it is too wide.
    QImage RenderText(int side) const;
    // Renders and hands the result to the tray.
    void RebuildIcon();
    TIcon MakeIconOverBackground() const;

private:
    // The placement rules' lengths at one image size.
    struct TTextPlacement {
        int Span;  // the width and height the text is centred in
        int OffsetX;
        int OffsetY;
        int LineDistance;
    };
    // One line of the text and the top-left corner it is drawn at.
    struct TPlacedLine {
        std::string Text;
        int X;
        int Y;
    };
    // The font height the text is drawn at and where its lines go.
    struct TTextLayout {
        int Height = 0;
        std::vector<TPlacedLine> Lines;
    };
    // The lines where the placement rules put them, in this font.
    std::vector<TPlacedLine> PlaceLines(const TFont& font, const TTextPlacement& placement) const;
    // The largest height, from the given one down, at which the text's ink fits inside, and
    // its lines moved in where they would cross its edge.
    TTextLayout FitText(const TFont& font, int height, const TTextPlacement& placement,
                        TColor background, const TRect& inside) const;
    // Where the lines would colour pixels, wherever that is; empty for a text without ink.
    static TRect InkBox(const TFont& font, const std::vector<TPlacedLine>& lines,
                        TColor background);

    // The square's colour where the text would vanish in it: the inverse of the text colour.
    TColor ContrastColor() const;
    // The square's colour as painted: Color, or the contrast colour where Color is none or the
    // text's own.
    TColor BackgroundColor() const;
    // Everything the images are painted from, as one text.
    std::string PaintedFrom() const;

    std::string FText;
    std::unique_ptr<TFont> FFont;
    TColor FColor = clBtnFace;
    bool FBorder = false;
    TColor FBorderColor = clBlack;
    std::unique_ptr<TOffsetOptions> FOptions;
    TIcon FBackgroundIcon;
    TColor FMaskColor = clNone;
    QImage FTextBitmap;
    // The icon last painted without a background icon, and what it was painted from.
    std::string FPaintedFrom;
    TIcon FPainted;
};
