// The scroll frame: bars only where the content's least size does not fit,
// the content stretched to the port above it, scrolls clamped to the
// content, bar steps, and a focused pane brought into sight.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>

#include "TestPanes.h"
#include "TestResources.h"
#include "framework/LScrollFrame.h"
#include "framework/layout/LLayoutVM.h"
#include "framework/LStdCtl.h"
#include "tests/framework/ControlPanes.h"

namespace {

constexpr u32 L = kLayoutResType;

// Content of least size 600 x 500 (or none), a pane in each far corner.
struct ScrollStage : ControlStage {
    explicit ScrollStage(const char* layout, i32 w = 400, i32 h = 300) {
        const u32 ref = OpenTestArchive({
            {L, "LEAST", {"MinW # 600; MinH # 500;", "pp(0, 0, 0, 700, 600)",
                          "pp(1, 0, 0, 40, 20); pp(2, w(0) - 40, h(0) - 20, w(0), h(0))"}},
            {L, "WIDE", {"MinW # 600;", "pp(0, 0, 0, 700, 600)",
                         "pp(1, 0, 0, 40, 20); pp(2, w(0) - 40, h(0) - 20, w(0), h(0))"}},
            {L, "ALMOST", {"MinW # 390; MinH # 500;", "pp(0, 0, 0, 700, 600)",
                           "pp(1, 0, 0, 40, 20); pp(2, w(0) - 40, h(0) - 20, w(0), h(0))"}},
            {L, "NONE", {"", "pp(0, 0, 0, 700, 600)",
                         "pp(1, 0, 0, 40, 20); pp(2, w(0) - 40, h(0) - 20, w(0), h(0))"}},
        });
        fFile = std::make_unique<LResFile>(ref);
        fScroll = std::make_unique<LScrollFrame>(&fBox, &fBox);
        fContent = new LFrame(&fScroll->GetPort(), &fScroll->GetPort());
        fNear = new TestPane(fContent, fContent);
        fFar = new TestPane(fContent, fContent);
        fContent->SetLayoutByName(layout, 1, fFile.get());
        fScroll->SetBounds(LRect(0, 0, w, h));
    }
    void Hit(LScrollBar& bar, i32 part) { static_cast<FakeControl*>(bar.Native())->Hit(part, 0); }
    std::unique_ptr<LResFile> fFile;
    std::unique_ptr<LScrollFrame> fScroll;
    LFrame* fContent;
    TestPane* fNear;
    TestPane* fFar;
};

TEST(ScrollFrame, BarsOnlyWhereTheLeastSizeDoesNotFit) {
    ScrollStage probe("NONE");
    LDrawCtx ctx;
    const i32 bw = probe.fScroll->VBar().GetPrefWidth(&ctx, 0);
    const i32 bh = probe.fScroll->HBar().GetPrefHeight(&ctx, 0);
    struct Case {
        const char* layout;
        i32 w, h;
        bool hbar, vbar;
        LRect content;
    } cases[] = {
        // The preferred size is larger, the least fits: no bar, the content
        // squeezed to the port.
        {"NONE", 400, 300, false, false, LRect(0, 0, 400, 300)},
        {"LEAST", 700, 600, false, false, LRect(0, 0, 700, 600)},
        {"LEAST", 800, 650, false, false, LRect(0, 0, 800, 650)},
        {"WIDE", 400, 300, true, false, LRect(0, 0, 600, 300 - bh)},
        {"LEAST", 400, 300, true, true, LRect(0, 0, 600, 500)},
        // The vertical bar leaves too little width: the horizontal one too.
        {"ALMOST", 400, 300, true, true, LRect(0, 0, 390, 500)},
        {"ALMOST", 600, 300, false, true, LRect(0, 0, 600 - bw, 500)},
    };
    for (const Case& c : cases) {
        ScrollStage s(c.layout, c.w, c.h);
        const std::string at = std::string(c.layout) + " " + std::to_string(c.w);
        EXPECT_EQ(s.fScroll->HBar().IsShown(), c.hbar) << at;
        EXPECT_EQ(s.fScroll->VBar().IsShown(), c.vbar) << at;
        EXPECT_EQ(s.fContent->Bounds(), c.content) << at;
        EXPECT_EQ(s.fScroll->GetPort().Bounds(),
                  LRect(0, 0, c.w - (c.vbar ? bw : 0), c.h - (c.hbar ? bh : 0)))
            << at;
        // The far corner's pane follows the content's size.
        EXPECT_EQ(s.fFar->Bounds().right, c.content.Width()) << at;
    }
}

TEST(ScrollFrame, AContentOfAnotherLeastSizeIsLaidOutOnAStyleChange) {
    ScrollStage s("LEAST");
    ASSERT_TRUE(s.fScroll->VBar().IsShown());
    s.fScroll->ScrollTo(50, 50);
    // Other fonts or another view: the bounds stay, the least size goes.
    s.fContent->SetLayoutByName("NONE", 1, s.fFile.get());
    s.fScroll->SetState(LPane::kOpStyleChanged);
    EXPECT_FALSE(s.fScroll->HBar().IsShown() || s.fScroll->VBar().IsShown());
    EXPECT_EQ(s.fContent->Bounds(), LRect(0, 0, 400, 300));
}

TEST(ScrollFrame, ScrollsStayWithinTheContent) {
    ScrollStage s("LEAST");
    const LRect port = s.fScroll->GetPort().Bounds();
    s.fScroll->ScrollTo(5000, -20);
    EXPECT_EQ(s.fScroll->ScrollX(), 600 - port.Width());
    EXPECT_EQ(s.fScroll->ScrollY(), 0);
    EXPECT_EQ(s.fContent->Bounds().left, port.Width() - 600);
    EXPECT_EQ(s.fScroll->HBar().GetValue(), 600 - port.Width());
    // A larger frame keeps no scroll it no longer needs.
    s.fScroll->SetBounds(LRect(0, 0, 800, 700));
    EXPECT_EQ(s.fScroll->ScrollX(), 0);
    EXPECT_EQ(s.fContent->Bounds(), LRect(0, 0, 800, 700));
}

TEST(ScrollFrame, BarStepsMoveTheContent) {
    struct Case {
        i32 part, from, to;
    } cases[] = {
        {kScrollPartDown, 0, 16},
        {kScrollPartUp, 40, 24},
        {kScrollPartUp, 5, 0},
        {kScrollPartPageDown, 0, -1},   // a port less a line
        {kScrollPartPageUp, 500, -2},   // from the end (clamped), a page back
        {kScrollPartPageUp, 100, 0},
    };
    for (const Case& c : cases) {
        // A port shorter than the content less a page.
        ScrollStage s("LEAST", 400, 200);
        const i32 ph = s.fScroll->GetPort().Bounds().Height();
        const i32 most = 500 - ph;
        s.fScroll->ScrollTo(0, c.from);
        s.Hit(s.fScroll->VBar(), c.part);
        const i32 page = ph - 16;
        const i32 want = c.to == -1   ? std::min(page, most)
                         : c.to == -2 ? std::max(most - page, 0)
                                      : c.to;
        EXPECT_EQ(s.fScroll->ScrollY(), want) << c.part << " from " << c.from;
        EXPECT_EQ(s.fContent->Bounds().top, -want);
    }
}

TEST(ScrollFrame, TheWheelScrollsTwiceItsPixels) {
    ScrollStage s("LEAST");
    for (const auto& [dx, dy, x, y] : {std::array<i32, 4>{0, -20, 0, 40},
                                       std::array<i32, 4>{0, 10, 0, 20},
                                       std::array<i32, 4>{-30, 0, 60, 20}}) {
        s.fMouse.SetWheelEvent(LPoint{5, 5}, dx, dy, 0);
        LHandler::Send(LMouse_Wheel, &s.fMouse, s.fScroll.get());
        EXPECT_EQ(s.fScroll->ScrollX(), x) << dx << " " << dy;
        EXPECT_EQ(s.fScroll->ScrollY(), y) << dx << " " << dy;
    }
}

TEST(ScrollFrame, APaneGivenTheKeysIsBroughtIntoSight) {
    ScrollStage s("LEAST");
    const LRect port = s.fScroll->GetPort().Bounds();
    s.fFar->RequestFocus();
    EXPECT_EQ(s.fScroll->ScrollX(), 600 - port.Width());
    EXPECT_EQ(s.fScroll->ScrollY(), 500 - port.Height());
    EXPECT_EQ(s.fBox.fFocus.Get(), s.fScroll.get());
    s.fNear->RequestFocus();
    EXPECT_EQ(s.fScroll->ScrollX(), 0);
    EXPECT_EQ(s.fScroll->ScrollY(), 0);
    // One already in sight moves nothing.
    s.fScroll->ScrollTo(10, 10);
    s.fFar->RequestFocus();
    s.fScroll->ScrollTo(600 - port.Width() - 5, 500 - port.Height() - 5);
    s.fFar->RequestFocus();
    EXPECT_EQ(s.fScroll->ScrollX(), 600 - port.Width());
    s.fScroll->ScrollTo(30, 30);
    s.fNear->RequestFocus();
    EXPECT_EQ(s.fScroll->ScrollX(), 0);
}

}  // namespace
