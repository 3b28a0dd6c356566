#pragma once
// The pen description shared by series lines, axis lines and grids. Every setter reports a
// change, also of an unchanged value, so the owner repaints whatever the caller touched.

#include <cstdint>
#include <functional>

#include "toolkit/Canvas.h"
#include "toolkit/Classes.h"

class Tsp_CustomLineAttr : public TPersistent {
public:
    std::string ClassName() const override { return "Tsp_CustomLineAttr"; }

    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    TPenStyle Style() const { return FStyle; }
    void SetStyle(TPenStyle value);
    uint16_t Width() const { return FWidth; }
    void SetWidth(uint16_t value);
    bool Visible() const { return FVisible; }
    void SetVisible(bool value);

    // Copies the four properties when any differs; the owner is not told.
    void Assign(const Tsp_CustomLineAttr& source);
    // The owner's callback, called by Changed().
    void SetOnChange(TNotifyEvent callback) { FOnChange = std::move(callback); }

    // Visible and not drawn with the clear style.
    bool Shown() const { return FVisible && FStyle != psClear; }
    // The pen for this line: colour, style and width, copy mode.
    void ApplyTo(TPen& pen) const;

protected:
    virtual void Changed();

private:
    TNotifyEvent FOnChange;
    TColor FColor = clBlack;
    TPenStyle FStyle = psSolid;
    uint16_t FWidth = 1;
    bool FVisible = true;
};

class Tsp_LineAttr : public Tsp_CustomLineAttr {
public:
    std::string ClassName() const override { return "Tsp_LineAttr"; }
};
