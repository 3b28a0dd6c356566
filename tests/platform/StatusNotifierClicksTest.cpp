// A StatusNotifier host's requests as the mouse-message codes of the tray component.

#include <gtest/gtest.h>

#include "platform/TrayShell.h"
#include "platform/linux/StatusNotifierClicks.h"

namespace {

using R = TStatusNotifierRequest;

struct TStep {
    R Request;
    int64_t At;
};

struct TClicksCase {
    const char* Name;
    std::vector<TStep> Steps;
    std::string Codes;
};

std::string NameOf(uint32_t code) {
    switch (code) {
        case WM_LBUTTONDOWN:
            return "LDown";
        case WM_LBUTTONUP:
            return "LUp";
        case WM_LBUTTONDBLCLK:
            return "LDbl";
        case WM_RBUTTONDOWN:
            return "RDown";
        case WM_RBUTTONUP:
            return "RUp";
        case WM_MBUTTONDOWN:
            return "MDown";
        case WM_MBUTTONUP:
            return "MUp";
        default:
            return "?";
    }
}

void PrintTo(const TClicksCase& c, std::ostream* os) {
    *os << c.Name;
}

class StatusNotifierClicks : public ::testing::TestWithParam<TClicksCase> {};

TEST_P(StatusNotifierClicks, RequestsBecomeMouseCodes) {
    TStatusNotifierClicks clicks;
    std::string codes;
    for (const TStep& step : GetParam().Steps) {
        for (const uint32_t code : clicks.Codes(step.Request, step.At, 500)) {
            codes += (codes.empty() ? "" : " ") + NameOf(code);
        }
    }
    EXPECT_EQ(codes, GetParam().Codes);
}

INSTANTIATE_TEST_SUITE_P(
    Tray, StatusNotifierClicks,
    ::testing::Values(
        TClicksCase{"ActivateIsALeftClick", {{R::Activate, 0}}, "LDown LUp"},
        TClicksCase{"ContextMenuIsTheRightButton", {{R::ContextMenu, 0}}, "RDown RUp"},
        TClicksCase{"SecondaryActivateIsTheMiddleButton", {{R::SecondaryActivate, 0}}, "MDown MUp"},
        TClicksCase{"SecondActivateInTimeIsADoubleClick",
                    {{R::Activate, 1000}, {R::Activate, 1500}},
                    "LDown LUp LDbl LUp"},
        TClicksCase{"SecondActivateTooLateIsAnotherClick",
                    {{R::Activate, 1000}, {R::Activate, 1501}},
                    "LDown LUp LDown LUp"},
        TClicksCase{"ThirdActivateStartsAnew",
                    {{R::Activate, 0}, {R::Activate, 100}, {R::Activate, 200}},
                    "LDown LUp LDbl LUp LDown LUp"},
        TClicksCase{"AnotherRequestInBetweenIsNoDoubleClick",
                    {{R::Activate, 0}, {R::ContextMenu, 100}, {R::Activate, 200}},
                    "LDown LUp RDown RUp LDown LUp"},
        TClicksCase{"AClockThatWentBackIsNoDoubleClick",
                    {{R::Activate, 1000}, {R::Activate, 900}},
                    "LDown LUp LDown LUp"}),
    [](const ::testing::TestParamInfo<TClicksCase>& param) {
        return std::string(param.param.Name);
    });

}  // namespace
