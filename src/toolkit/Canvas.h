#pragma once
// Drawing as the window's controls describe it: a pen, a brush and a font applied to a QPainter
// for the length of one paint. The pixel rules are the classic device context's: a line leaves
// out its end pixel, filled rectangles exclude their right and bottom edges, text is placed by
// its top-left corner, and the clip can be saved, narrowed and given back.

#include <QFont>
#include <QLine>
#include <QRegion>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "toolkit/Classes.h"
#include "toolkit/Graphics.h"

class QPainter;

struct TPoint {
    int X = 0;
    int Y = 0;
    bool operator==(const TPoint&) const = default;
};

// From the first point to the second, whose pixel is left out.
struct TSegment {
    TPoint From;
    TPoint To;
};

// Right and bottom exclusive.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool Contains(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
    bool operator==(const TRect&) const = default;
};

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };

enum TPenMode {
    pmBlack,
    pmWhite,
    pmNop,
    pmNot,
    pmCopy,
    pmNotCopy,
    pmMergePenNot,
    pmMaskPenNot,
    pmMergeNotPen,
    pmMaskNotPen,
    pmMerge,
    pmNotMerge,
    pmMask,
    pmNotMask,
    pmXor,
    pmNotXor
};

enum TBrushStyle {
    bsSolid,
    bsClear,
    bsHorizontal,
    bsVertical,
    bsFDiagonal,
    bsBDiagonal,
    bsCross,
    bsDiagCross
};

class TPen : public TGraphicsObject {
public:
    std::string ClassName() const override { return "TPen"; }

    TColor Color() const { return FColor; }
    void SetColor(TColor value) { Set(FColor, value); }
    TPenStyle Style() const { return FStyle; }
    void SetStyle(TPenStyle value) { Set(FStyle, value); }
    int Width() const { return FWidth; }
    void SetWidth(int value) { Set(FWidth, value); }
    TPenMode Mode() const { return FMode; }
    void SetMode(TPenMode value) { Set(FMode, value); }
    void Assign(const TPen& source);

private:
    TColor FColor = clBlack;
    TPenStyle FStyle = psSolid;
    int FWidth = 1;
    TPenMode FMode = pmCopy;
};

class TBrush : public TGraphicsObject {
public:
    std::string ClassName() const override { return "TBrush"; }

    TColor Color() const { return FColor; }
    void SetColor(TColor value) { Set(FColor, value); }
    TBrushStyle Style() const { return FStyle; }
    void SetStyle(TBrushStyle value) { Set(FStyle, value); }
    void Assign(const TBrush& source);

private:
    TColor FColor = clWhite;
    TBrushStyle FStyle = bsSolid;
};

// What SaveClip() hands back to RestoreClip().
struct TCanvasClip {
    bool Clipping = false;
    QRegion Region;
};

class TCanvas {
public:
    TCanvas();
    ~TCanvas();
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    // Drawing goes through the painter until End(); without one the canvas only measures text.
    void Begin(QPainter* painter);
    void End();
    bool Drawing() const { return FPainter != nullptr; }

    TPen& Pen() { return FPen; }
    TBrush& Brush() { return FBrush; }
    TFont& Font() { return FFont; }
    TPoint PenPos() const { return FPenPos; }

    void MoveTo(int X, int Y);
    // From the pen position to (X, Y), that pixel left out; the pen position moves there.
    void LineTo(int X, int Y);
    // Connected segments; the last point's pixel is left out.
    void Polyline(std::span<const TPoint> points);
    // Separate segments, each drawn exactly as MoveTo and LineTo draw it, but set up once for
    // all of them (a plotted line is thousands of them); the pen position stays.
    void Segments(std::span<const TSegment> segments);
    // Outlined with the pen and filled with the brush.
    void Polygon(std::span<const TPoint> points);
    void Rectangle(int X1, int Y1, int X2, int Y2);
    void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
    void Ellipse(int X1, int Y1, int X2, int Y2);
    // The brush alone, pen ignored.
    void FillRect(const TRect& r);
    // A one-pixel border in the brush's colour.
    void FrameRect(const TRect& r);

    // (X, Y) is the top-left of the text in its own direction. With a clear brush the text is
    // transparent; otherwise its box is filled with the brush colour first.
    void TextOut(int X, int Y, const std::string& Text);
    int TextWidth(const std::string& Text);
    int TextHeight(const std::string& Text);

    // The box the drawing is clipped to (the whole device when nothing clips).
    TRect ClipRect() const;
    TCanvasClip SaveClip() const;
    void IntersectClipRect(const TRect& r);
    void RestoreClip(const TCanvasClip& clip);

private:
    const QFont& QtFont();
    void UsePen();
    void UseBrush();
    void UseNoPen();
    void UseNoBrush();
    void SetMode(TPenMode mode);
    // A horizontal or vertical line of a thin pen, its end pixel left out.
    void StraightLine(TPoint from, TPoint to);
    // Whether the painter maps the canvas's pixels one to one onto the device's.
    bool PixelExactDevice() const;

    QPainter* FPainter = nullptr;
    TPen FPen;
    TBrush FBrush;
    TFont FFont;
    TPoint FPenPos;
    // Scratch for Segments, kept to spare an allocation per call.
    std::vector<QLine> FStroked;
    // Building a QFont resolves its family; done once per font change.
    QFont FQtFont;
    bool FQtFontStale = true;
};
