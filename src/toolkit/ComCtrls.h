#pragma once
// Track bars and page controls with their pages.

#include <string>
#include <vector>

#include "toolkit/Control.h"

class QSlider;
class QTabWidget;

enum class TTickMark { tmBottomRight, tmTopLeft, tmBoth };

class TTrackBar : public TControl {
public:
    explicit TTrackBar(TComponent* AOwner);
    std::string ClassName() const override { return "TTrackBar"; }

    int Min() const;
    int Max() const;
    void SetMin(int value);
    void SetMax(int value);
    // Raises OnChange when the position changes, also when set from code.
    int Position() const;
    void SetPosition(int value);
    void SetFrequency(int value);
    void SetTickMarks(TTickMark value);
    TNotifyEvent OnChange;

private:
    QSlider* Slider() const;
};

class TPageControl;

class TTabSheet : public TControl {
public:
    explicit TTabSheet(TComponent* AOwner);
    ~TTabSheet() override;
    std::string ClassName() const override { return "TTabSheet"; }

    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& value);
    TPageControl* PageControl() const { return FPageControl; }
    void SetPageControl(TPageControl* value);
    int PageIndex() const;

    // The page became the visible one.
    TNotifyEvent OnShow;

private:
    friend class TPageControl;
    void Shown();
    std::string FCaption;
    TPageControl* FPageControl = nullptr;
};

class TPageControl : public TControl {
public:
    explicit TPageControl(TComponent* AOwner);
    std::string ClassName() const override { return "TPageControl"; }

    int PageCount() const { return static_cast<int>(FPages.size()); }
    TTabSheet* Pages(int index) const { return FPages.at(static_cast<size_t>(index)); }
    TTabSheet* ActivePage() const;
    // Changing the page from code raises no OnChange, only the user's choice does.
    void SetActivePage(TTabSheet* page);
    int ActivePageIndex() const;
    // The room a tab leaves beside its caption, in pixels: less than the style's own lets a row
    // of tabs fit that would otherwise hide its last tab behind scroll buttons.
    void SetTabSpacing(int pixels);

    TNotifyEvent OnChange;

protected:
    void InsertChildWidget(TControl* child) override;
    bool ArrangesChildren() const override { return true; }

private:
    friend class TTabSheet;
    QTabWidget* Tabs() const;
    void PageCaptionChanged(TTabSheet* page);
    std::vector<TTabSheet*> FPages;
    bool FChangingFromCode = false;
};
