#include "toolkit/ComCtrls.h"

#include <QEvent>
#include <QProxyStyle>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <algorithm>

#include "toolkit/Dialogs.h"

namespace {

// A page's show event: the page became the visible one.
class TPageShowFilter : public QObject {
public:
    explicit TPageShowFilter(std::function<void()> shown) : FShown(std::move(shown)) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            FShown();
        }
        return false;
    }

private:
    std::function<void()> FShown;
};

}  // namespace

// ---- TTrackBar

TTrackBar::TTrackBar(TComponent* AOwner) : TControl(AOwner, new QSlider(Qt::Horizontal)) {
    Slider()->setRange(0, 10);
    Slider()->setTickPosition(QSlider::TicksBelow);
    QObject::connect(Slider(), &QSlider::valueChanged, Widget(), [this] {
        if (OnChange) {
            DispatchEvent([&] { OnChange(this); });
        }
    });
    Publish().AddInteger(
        "Position", [this] { return Position(); }, [this](int v) { SetPosition(v); });
}

QSlider* TTrackBar::Slider() const {
    return static_cast<QSlider*>(Widget());
}
int TTrackBar::Min() const {
    return Slider()->minimum();
}
int TTrackBar::Max() const {
    return Slider()->maximum();
}
void TTrackBar::SetMin(int value) {
    Slider()->setMinimum(value);
}
void TTrackBar::SetMax(int value) {
    Slider()->setMaximum(value);
}
int TTrackBar::Position() const {
    return Slider()->value();
}
void TTrackBar::SetPosition(int value) {
    Slider()->setValue(value);
}
void TTrackBar::SetFrequency(int value) {
    Slider()->setTickInterval(value);
}

void TTrackBar::SetTickMarks(TTickMark value) {
    Slider()->setTickPosition(value == TTickMark::tmBoth      ? QSlider::TicksBothSides
                              : value == TTickMark::tmTopLeft ? QSlider::TicksAbove
                                                              : QSlider::TicksBelow);
}

// ---- TTabSheet

TTabSheet::TTabSheet(TComponent* AOwner) : TControl(AOwner, new QWidget) {
    auto* filter = new TPageShowFilter([this] { Shown(); });
    filter->setParent(Widget());
    Widget()->installEventFilter(filter);
}

TTabSheet::~TTabSheet() {
    if (FPageControl != nullptr) {
        auto& pages = FPageControl->FPages;
        pages.erase(std::remove(pages.begin(), pages.end(), this), pages.end());
        // Taken out from code: the page control's OnChange is for the user's choices only.
        FPageControl->FChangingFromCode = true;
        const int index = FPageControl->Tabs()->indexOf(Widget());
        if (index >= 0) {
            FPageControl->Tabs()->removeTab(index);
        }
        FPageControl->FChangingFromCode = false;
    }
}

void TTabSheet::SetCaption(const std::string& value) {
    FCaption = value;
    if (FPageControl != nullptr) {
        FPageControl->PageCaptionChanged(this);
    }
}

void TTabSheet::SetPageControl(TPageControl* value) {
    FPageControl = value;
    SetParent(value);
}

int TTabSheet::PageIndex() const {
    if (FPageControl == nullptr) {
        return -1;
    }
    const auto& pages = FPageControl->FPages;
    const auto it = std::find(pages.begin(), pages.end(), this);
    return it == pages.end() ? -1 : static_cast<int>(it - pages.begin());
}

void TTabSheet::Shown() {
    if (OnShow) {
        DispatchEvent([&] { OnShow(this); });
    }
}

namespace {

// The application's style with another room beside tab captions.
class TTabSpacingStyle : public QProxyStyle {
public:
    explicit TTabSpacingStyle(int spacing) : FSpacing(spacing) {}
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        return metric == PM_TabBarTabHSpace ? FSpacing
                                            : QProxyStyle::pixelMetric(metric, option, widget);
    }

private:
    int FSpacing;
};

}  // namespace

// ---- TPageControl

TPageControl::TPageControl(TComponent* AOwner) : TControl(AOwner, new QTabWidget) {
    QObject::connect(Tabs(), &QTabWidget::currentChanged, Widget(), [this] {
        if (!FChangingFromCode && OnChange) {
            DispatchEvent([&] { OnChange(this); });
        }
    });
}

void TPageControl::SetTabSpacing(int pixels) {
    auto* style = new TTabSpacingStyle(pixels);
    style->setParent(Tabs()->tabBar());
    Tabs()->tabBar()->setStyle(style);
}

QTabWidget* TPageControl::Tabs() const {
    return static_cast<QTabWidget*>(Widget());
}

void TPageControl::InsertChildWidget(TControl* child) {
    auto* page = dynamic_cast<TTabSheet*>(child);
    if (page == nullptr) {
        TControl::InsertChildWidget(child);
        return;
    }
    page->FPageControl = this;
    FPages.push_back(page);
    FChangingFromCode = true;
    Tabs()->addTab(page->Widget(), QString::fromLocal8Bit(page->Caption()));
    FChangingFromCode = false;
}

void TPageControl::PageCaptionChanged(TTabSheet* page) {
    const int index = Tabs()->indexOf(page->Widget());
    if (index >= 0) {
        Tabs()->setTabText(index, QString::fromLocal8Bit(page->Caption()));
    }
}

TTabSheet* TPageControl::ActivePage() const {
    const int index = Tabs()->currentIndex();
    for (TTabSheet* page : FPages) {
        if (Tabs()->indexOf(page->Widget()) == index) {
            return page;
        }
    }
    return nullptr;
}

void TPageControl::SetActivePage(TTabSheet* page) {
    if (page == nullptr) {
        return;
    }
    FChangingFromCode = true;
    Tabs()->setCurrentWidget(page->Widget());
    FChangingFromCode = false;
}

int TPageControl::ActivePageIndex() const {
    TTabSheet* page = ActivePage();
    return page != nullptr ? page->PageIndex() : -1;
}
