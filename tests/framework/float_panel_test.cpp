// Floating panels reach the platform with the title bar their style asks for.
#include <gtest/gtest.h>

#include "framework/CDragger.h"
#include "services/WindowKinds.h"

namespace {

TEST(FloatPanel, NativeKindKeepsTheTitleBarControls) {
    const struct {
        u32 style;
        bool titled, closable, miniaturizable, resizable;
    } panels[] = {
        {1, true, true, false, false},  {2, true, false, true, true},
        {3, true, true, true, true},    {4, true, true, true, true},
        {5, true, false, false, false}, {6, false, false, false, false},
        {0, true, false, false, false}, {9, true, false, false, false},
    };
    for (const auto& p : panels) {
        const CFloatPanel panel(p.style, CFloatPanel::kKeepOnDeactivate);
        const LWindowKindStyle s = WindowKindStyle(panel.fKind);
        EXPECT_EQ((s.style & kStyleTitled) != 0, p.titled) << p.style;
        EXPECT_EQ(WindowKindClosable(panel.fKind), p.closable) << p.style;
        EXPECT_EQ((s.style & kStyleMiniaturizable) != 0, p.miniaturizable) << p.style;
        EXPECT_EQ(WindowKindResizable(panel.fKind), p.resizable) << p.style;
    }
}

}  // namespace
