// Header frames: selection by clicks, clicks nobody takes, row and column placement.
#include <gtest/gtest.h>

#include "framework/CHeaderFrame.h"
#include "tests/framework/ControlPanes.h"

namespace {

struct Stage : ControlStage {
    LTextStyle fStyle;  // the fake font: 7 pixels a byte, ascent 10, lines 13 high
};

TEST(HeaderFrame, ClicksSelectAndReselectHiddenItemsAreNotSelected) {
    Stage s;
    auto* h = new CHeaderFrameV(&s.fBox, 0, 1, 0);
    h->SetBounds(LRect(0, 0, 300, 20));
    for (const char* t : {"Name", "Size", "Kind"}) h->AddItem(t, s.fStyle, nullptr);
    for (i32 i = 0; i < 3; ++i) h->PlaceItemAtX(i, i * 100, 0, nullptr);
    s.Click(h->Item(1), 105, 5);
    s.Click(h->Item(1), 105, 5);
    EXPECT_EQ(s.fBox.Take(), "CHeaderFrame_Selected CHeaderFrame_Selected");
    EXPECT_EQ(h->Selected(), 1);
    EXPECT_TRUE(h->Item(1)->IsSelected());
    h->ShowItem(2, false);
    EXPECT_TRUE(h->SelectItem(2));
    EXPECT_EQ(h->Selected(), -1);
    EXPECT_FALSE(h->Item(1)->IsSelected());
    delete h;
}

TEST(HeaderFrame, AClickNobodyTakesGoesOnAsAnOrdinaryClick) {
    Stage s;
    auto* h = new CHeaderFrameH(&s.fBox, 0, 0, 0);
    h->SetBounds(LRect(0, 0, 100, 40));
    h->AddItem("Scenes", s.fStyle, nullptr);
    h->PlaceItemAtY(0, 12, nullptr);
    s.Click(h->Item(0), 5, 5);
    EXPECT_EQ(s.fBox.Take(), "LMouse_Click");
    EXPECT_EQ(h->Selected(), -1);
    delete h;
}

TEST(HeaderFrame, RowsAndColumnsArePlacedAndNeverEmpty) {
    Stage s;
    auto* rows = new CHeaderFrameH(&s.fBox, 0, 1, 0);
    rows->SetBounds(LRect(0, 0, 100, 60));
    rows->AddItem("1234567", s.fStyle, nullptr);  // 49 + 1 for the ceiling
    rows->AddItem("12", s.fStyle, nullptr);
    rows->PlaceItemAtY(0, 20, nullptr);
    EXPECT_EQ(rows->Item(0)->Bounds(), LRect(3, 10, 97, 23));
    EXPECT_EQ(rows->Item(1)->Bounds(), LRect(0, 0, 1, 1));
    EXPECT_EQ(rows->GetPrefWidth(nullptr, 0), rows->Item(0)->GetPrefWidth(nullptr, 0) + 6);

    auto* cols = new CHeaderFrameV(&s.fBox, 1, 1, 0);
    cols->SetBounds(LRect(0, 0, 300, 20));
    cols->AddItem("Duration", s.fStyle, nullptr);  // 56 wide
    cols->AddItem("Fade", s.fStyle, nullptr);
    cols->AddItem("", s.fStyle, nullptr);
    cols->PlaceItemAtX(0, 10, 0, nullptr);
    cols->PlaceItemAtX(1, 40, 0, nullptr);
    cols->PlaceItemAtX(2, 150, 0, nullptr);
    EXPECT_EQ(cols->Item(0)->Bounds().right, 40);  // cut at the next column
    EXPECT_EQ(cols->Item(2)->Bounds(), LRect(150, 0, 151, 20));
    cols->PlaceItemAtX(1, 100, 1, nullptr);  // centred on 100
    cols->SetItemText(1, "Crossfade");
    const LRect& b = cols->Item(1)->Bounds();
    EXPECT_LE(std::abs((b.left + b.right) / 2 - 100), 1);
    EXPECT_EQ(b.Width(), 63);
    delete cols;
    delete rows;
}

}  // namespace
