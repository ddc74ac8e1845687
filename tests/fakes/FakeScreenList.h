#pragma once

#include "capture/ScreenList.h"

#include <vector>

// Screens the test sets. `scaleScreens` stands for the screens the scale is read from; empty
// means the same as the displays, as on a real desktop.
class FakeScreenList : public ScreenList {
public:
    std::vector<ScreenInfo> list;
    std::vector<ScreenInfo> scaleScreens;
    bool separateScaleScreens = false;

    std::vector<ScreenInfo> displays() const override { return list; }
    std::vector<ScreenInfo> screens() const override { return separateScaleScreens ? scaleScreens : list; }
};
