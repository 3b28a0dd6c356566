#include "plot/LineAttr.h"

void Tsp_CustomLineAttr::SetColor(TColor value) {
    FColor = value;
    Changed();
}

void Tsp_CustomLineAttr::SetStyle(TPenStyle value) {
    FStyle = value;
    Changed();
}

void Tsp_CustomLineAttr::SetWidth(uint16_t value) {
    FWidth = value;
    Changed();
}

void Tsp_CustomLineAttr::SetVisible(bool value) {
    FVisible = value;
    Changed();
}

void Tsp_CustomLineAttr::Assign(const Tsp_CustomLineAttr& source) {
    if (FColor != source.FColor || FStyle != source.FStyle || FWidth != source.FWidth ||
        FVisible != source.FVisible) {
        FColor = source.FColor;
        FStyle = source.FStyle;
        FWidth = source.FWidth;
        FVisible = source.FVisible;
    }
}

void Tsp_CustomLineAttr::ApplyTo(TPen& pen) const {
    pen.SetColor(FColor);
    pen.SetStyle(FStyle);
    pen.SetWidth(FWidth);
    pen.SetMode(pmCopy);
}

void Tsp_CustomLineAttr::Changed() {
    if (FOnChange) {
        FOnChange(this);
    }
}
