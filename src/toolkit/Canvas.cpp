#include "toolkit/Canvas.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

QPainter::CompositionMode CompositionFor(TPenMode mode) {
    switch (mode) {
        case pmNot:
            return QPainter::RasterOp_NotDestination;
        case pmXor:
            return QPainter::RasterOp_SourceXorDestination;
        case pmNotXor:
            return QPainter::RasterOp_NotSourceXorDestination;
        case pmNotCopy:
            return QPainter::RasterOp_NotSource;
        case pmMerge:
            return QPainter::RasterOp_SourceOrDestination;
        case pmMask:
            return QPainter::RasterOp_SourceAndDestination;
        default:
            return QPainter::CompositionMode_SourceOver;
    }
}

Qt::BrushStyle BrushStyleFor(TBrushStyle style) {
    switch (style) {
        case bsSolid:
            return Qt::SolidPattern;
        case bsClear:
            return Qt::NoBrush;
        case bsHorizontal:
            return Qt::HorPattern;
        case bsVertical:
            return Qt::VerPattern;
        case bsFDiagonal:
            return Qt::FDiagPattern;
        case bsBDiagonal:
            return Qt::BDiagPattern;
        case bsCross:
            return Qt::CrossPattern;
        case bsDiagCross:
            return Qt::DiagCrossPattern;
    }
    return Qt::SolidPattern;
}

QString ToQString(const std::string& s) {
    return QString::fromLocal8Bit(s);
}

}  // namespace

void TPen::Assign(const TPen& source) {
    FColor = source.FColor;
    FStyle = source.FStyle;
    FWidth = source.FWidth;
    FMode = source.FMode;
    Changed();
}

void TBrush::Assign(const TBrush& source) {
    FColor = source.FColor;
    FStyle = source.FStyle;
    Changed();
}

TCanvas::TCanvas() {
    FFont.OnChange = [this](TObject*) { FQtFontStale = true; };
}

TCanvas::~TCanvas() = default;

void TCanvas::Begin(QPainter* painter) {
    FPainter = painter;
    FPainter->setRenderHint(QPainter::Antialiasing, false);
}

void TCanvas::End() {
    FPainter = nullptr;
}

const QFont& TCanvas::QtFont() {
    if (FQtFontStale) {
        FQtFont = FFont.ToQFont();
        FQtFontStale = false;
    }
    return FQtFont;
}

void TCanvas::SetMode(TPenMode mode) {
    FPainter->setCompositionMode(CompositionFor(mode));
}

void TCanvas::UsePen() {
    if (FPen.Style() == psClear || FPen.Mode() == pmNop) {
        FPainter->setPen(Qt::NoPen);
        return;
    }
    QPen pen(ToQColor(FPen.Color()));
    const int width = FPen.Width() < 1 ? 1 : FPen.Width();
    pen.setWidth(width);
    // A one-pixel line leaves out its end pixel; wider lines end round as the classic
    // geometric pens do.
    pen.setCapStyle(width == 1 ? Qt::FlatCap : Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    switch (FPen.Style()) {
        case psDash:
            pen.setStyle(Qt::DashLine);
            break;
        case psDot:
            pen.setDashPattern({1, 1});
            break;
        case psDashDot:
            pen.setStyle(Qt::DashDotLine);
            break;
        case psDashDotDot:
            pen.setStyle(Qt::DashDotDotLine);
            break;
        default:
            pen.setStyle(Qt::SolidLine);
            break;
    }
    FPainter->setPen(pen);
    SetMode(FPen.Mode());
}

void TCanvas::UseBrush() {
    if (FBrush.Style() == bsClear) {
        FPainter->setBrush(Qt::NoBrush);
    } else {
        FPainter->setBrush(QBrush(ToQColor(FBrush.Color()), BrushStyleFor(FBrush.Style())));
    }
}

void TCanvas::UseNoPen() {
    FPainter->setPen(Qt::NoPen);
}
void TCanvas::UseNoBrush() {
    FPainter->setBrush(Qt::NoBrush);
}

void TCanvas::MoveTo(int X, int Y) {
    FPenPos = {X, Y};
}

void TCanvas::LineTo(int X, int Y) {
    const TSegment segment{FPenPos, {X, Y}};
    FPenPos = segment.To;
    Segments({&segment, 1});
}

bool TCanvas::PixelExactDevice() const {
    const QTransform t = FPainter->deviceTransform();
    return t.type() <= QTransform::TxTranslate && t.dx() == std::floor(t.dx()) &&
           t.dy() == std::floor(t.dy());
}

void TCanvas::StraightLine(TPoint from, TPoint to) {
    // Cut by hand so that the left-out pixel is the end one also when the line runs right to
    // left or upwards.
    const int dx = to.X > from.X ? 1 : (to.X < from.X ? -1 : 0);
    const int dy = to.Y > from.Y ? 1 : (to.Y < from.Y ? -1 : 0);
    const TPoint last{to.X - dx, to.Y - dy};
    if (FPen.Style() == psSolid && FPen.Mode() == pmCopy && PixelExactDevice()) {
        // On a device that is not scaled, a solid one-pixel line covers exactly the pixels of
        // a one-pixel-wide rectangle, which is filled far faster than a line is stroked.
        FPainter->fillRect(QRect(QPoint(std::min(from.X, last.X), std::min(from.Y, last.Y)),
                                 QPoint(std::max(from.X, last.X), std::max(from.Y, last.Y))),
                           ToQColor(FPen.Color()));
        return;
    }
    UsePen();
    QPen pen = FPainter->pen();
    pen.setCapStyle(Qt::SquareCap);
    FPainter->setPen(pen);
    FPainter->drawLine(from.X, from.Y, last.X, last.Y);
    SetMode(pmCopy);
}

void TCanvas::Polyline(std::span<const TPoint> points) {
    if (points.empty()) {
        return;
    }
    if (points.size() == 2) {
        // Two points are one segment, whose end-pixel rule Segments keeps exact.
        const TSegment segment{points[0], points[1]};
        Segments({&segment, 1});
        return;
    }
    if (FPainter == nullptr) {
        return;
    }
    QPolygon poly;
    poly.reserve(static_cast<int>(points.size()));
    for (const TPoint& p : points) {
        poly << QPoint(p.X, p.Y);
    }
    UsePen();
    FPainter->drawPolyline(poly);
    SetMode(pmCopy);
}

void TCanvas::Segments(std::span<const TSegment> segments) {
    if (FPainter == nullptr) {
        return;
    }
    // A thin horizontal or vertical segment is cut by hand; the others are stroked, with the
    // pen set up once for all of them. They share one colour, so the order in which they are
    // drawn changes no pixel, whatever the mode.
    const bool thin = FPen.Width() <= 1;
    FStroked.clear();
    for (const TSegment& s : segments) {
        if (s.From == s.To) {
            continue;
        }
        if (thin && (s.From.X == s.To.X || s.From.Y == s.To.Y)) {
            StraightLine(s.From, s.To);
        } else {
            FStroked.emplace_back(s.From.X, s.From.Y, s.To.X, s.To.Y);
        }
    }
    if (FStroked.empty()) {
        return;
    }
    // One call per segment: a call with many lines lets each line's start depend on where
    // the one before ended, which moves pixels.
    UsePen();
    for (const QLine& line : FStroked) {
        FPainter->drawLine(line);
    }
    SetMode(pmCopy);
}

void TCanvas::Polygon(std::span<const TPoint> points) {
    if (FPainter == nullptr || points.empty()) {
        return;
    }
    QPolygon poly;
    for (const TPoint& p : points) {
        poly << QPoint(p.X, p.Y);
    }
    UsePen();
    UseBrush();
    FPainter->drawPolygon(poly);
    SetMode(pmCopy);
}

void TCanvas::Rectangle(int X1, int Y1, int X2, int Y2) {
    if (FPainter == nullptr || X2 <= X1 || Y2 <= Y1) {
        return;
    }
    const bool outlined = FPen.Style() != psClear;
    if (FBrush.Style() != bsClear) {
        UseNoPen();
        UseBrush();
        // Without a pen the fill stops one pixel short, as the classic rectangle does.
        const int shrink = outlined ? 0 : 1;
        FPainter->drawRect(QRect(X1, Y1, X2 - X1 - shrink, Y2 - Y1 - shrink));
    }
    if (outlined) {
        UsePen();
        UseNoBrush();
        QPen pen = FPainter->pen();
        pen.setJoinStyle(Qt::MiterJoin);
        pen.setCapStyle(Qt::SquareCap);
        FPainter->setPen(pen);
        FPainter->drawRect(QRect(X1, Y1, X2 - X1 - 1, Y2 - Y1 - 1));
        SetMode(pmCopy);
    }
}

void TCanvas::Ellipse(int X1, int Y1, int X2, int Y2) {
    if (FPainter == nullptr || X2 <= X1 || Y2 <= Y1) {
        return;
    }
    UsePen();
    UseBrush();
    FPainter->drawEllipse(QRect(X1, Y1, X2 - X1 - 1, Y2 - Y1 - 1));
    SetMode(pmCopy);
}

void TCanvas::FillRect(const TRect& r) {
    if (FPainter == nullptr || r.Width() <= 0 || r.Height() <= 0 || FBrush.Style() == bsClear) {
        return;
    }
    FPainter->fillRect(QRect(r.Left, r.Top, r.Width(), r.Height()),
                       QBrush(ToQColor(FBrush.Color()), BrushStyleFor(FBrush.Style())));
}

void TCanvas::FrameRect(const TRect& r) {
    if (FPainter == nullptr || r.Width() <= 0 || r.Height() <= 0) {
        return;
    }
    const QColor c = ToQColor(FBrush.Color());
    FPainter->fillRect(QRect(r.Left, r.Top, r.Width(), 1), c);
    FPainter->fillRect(QRect(r.Left, r.Bottom - 1, r.Width(), 1), c);
    FPainter->fillRect(QRect(r.Left, r.Top, 1, r.Height()), c);
    FPainter->fillRect(QRect(r.Right - 1, r.Top, 1, r.Height()), c);
}

void TCanvas::TextOut(int X, int Y, const std::string& Text) {
    if (FPainter == nullptr) {
        return;
    }
    const QFont& font = QtFont();
    const QFontMetrics metrics(font);
    const QString text = ToQString(Text);
    FPainter->save();
    FPainter->translate(X, Y);
    if (FFont.Orientation() != 0) {
        FPainter->rotate(-FFont.Orientation() / 10.0);
    }
    if (FBrush.Style() != bsClear) {
        FPainter->fillRect(QRect(0, 0, metrics.horizontalAdvance(text), metrics.height()),
                           ToQColor(FBrush.Color()));
    }
    FPainter->setFont(font);
    FPainter->setPen(ToQColor(FFont.Color()));
    FPainter->drawText(0, metrics.ascent(), text);
    FPainter->restore();
    FPenPos = {X + metrics.horizontalAdvance(text), Y};
}

int TCanvas::TextWidth(const std::string& Text) {
    return QFontMetrics(QtFont()).horizontalAdvance(ToQString(Text));
}

int TCanvas::TextHeight(const std::string& Text) {
    (void)Text;
    return QFontMetrics(QtFont()).height();
}

TRect TCanvas::ClipRect() const {
    if (FPainter == nullptr) {
        return {};
    }
    QRect r = FPainter->hasClipping()
                  ? FPainter->clipBoundingRect().toAlignedRect()
                  : QRect(0, 0, FPainter->device()->width(), FPainter->device()->height());
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

TCanvasClip TCanvas::SaveClip() const {
    if (FPainter == nullptr || !FPainter->hasClipping()) {
        return {};
    }
    return {true, FPainter->clipRegion()};
}

void TCanvas::IntersectClipRect(const TRect& r) {
    if (FPainter == nullptr) {
        return;
    }
    const QRect rect(r.Left, r.Top, std::max(0, r.Width()), std::max(0, r.Height()));
    FPainter->setClipRect(rect, FPainter->hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
}

void TCanvas::RestoreClip(const TCanvasClip& clip) {
    if (FPainter == nullptr) {
        return;
    }
    if (clip.Clipping) {
        FPainter->setClipRegion(clip.Region);
    } else {
        FPainter->setClipping(false);
    }
}
