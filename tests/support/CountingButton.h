#pragma once

// A button that counts its full renders: a repaint that reuses its cache renders nothing.

#include "controls/MButton.h"

namespace testing_support {

class CountingButton : public Tessel::MButton {
  public:
    using MButton::MButton;
    void DrawControl(HDC& dc, CRect clip) override {
        if (!GetUpdate())
            ++renders;
        MButton::DrawControl(dc, clip);
    }
    int renders = 0;
};

}  // namespace testing_support
