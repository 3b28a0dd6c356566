#pragma once
// A read-only rich-text label whose links report their target instead of opening it.

#include <functional>
#include <string>

#include "toolkit/Control.h"

using TParamClickEvent = std::function<void(TObject* Sender, const std::string& Href)>;

class TParamLabel : public TControl {
public:
    explicit TParamLabel(TComponent* AOwner);
    std::string ClassName() const override { return "TParamLabel"; }

    // The mark-up: fonts, centred paragraphs, bold and shadowed text, line breaks, links.
    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& value);

    TParamClickEvent OnParamClick;

private:
    std::string FCaption;
};
