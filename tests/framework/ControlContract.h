#pragma once
// What every native-control implementation owes the panes, run on the fake
// controls and on the Qt widgets: the driver makes the parent, clicks as a
// user does and tells what reached the parent (names joined by blanks).
#include <gtest/gtest.h>

#include <string>

#include "framework/LStdCtl.h"

struct ControlDriver {
    virtual ~ControlDriver() = default;
    virtual LPane* Parent() = 0;
    virtual std::string Take() = 0;
    virtual void Consume(const char* name, bool on) = 0;
    // A click in the middle of the control, or at x, y inside it.
    virtual void Click(LStdCtl* pane, i32 x = -1, i32 y = -1) = 0;
};

inline void ContractEnablingAndQuietSetters(ControlDriver& d) {
    LStdCheck check(d.Parent());
    LPopupList popup(d.Parent());
    LScrollBar bar(d.Parent(), 1, 1);
    CSlider slider(d.Parent());
    check.SetBounds(LRect(10, 10, 40, 30));
    popup.SetBounds(LRect(10, 70, 150, 95));
    bar.SetBounds(LRect(200, 10, 216, 200));
    slider.SetBounds(LRect(10, 110, 150, 130));
    for (u32 op : {3, 2, 7, 12, 6, 13, 14, 2, 15, 3, 6, 2, 1, 0}) {
        check.SetState(op);
        EXPECT_EQ(check.Native()->IsEnabled(), (check.State() & 0x3A) == 0x0A) << op;
    }
    d.Take();
    check.SetState(1);
    popup.AddItem("a");
    popup.AddItem("b");
    popup.Select(1);
    bar.SetRange(3, 0, 10, 2);
    bar.SetValue(7);
    slider.SetRange(0, 50);
    slider.SetValue(20);
    EXPECT_EQ(d.Take(), "");
    EXPECT_EQ(check.GetState() + popup.Native()->SelectedItem() + bar.GetValue(), 9);
    EXPECT_EQ(slider.GetValue(), 20);
}

// A consumed click leaves the box, else it flips; an on radio button clicked
// stays on and tells again; two rings do not interfere.
inline void ContractChecksAndRadios(ControlDriver& d) {
    LStdCheck box(d.Parent());
    box.SetBounds(LRect(10, 10, 40, 30));
    for (bool consume : {true, false}) {
        d.Consume(LStdCtl_Selected, consume);
        d.Click(&box);
        EXPECT_EQ(d.Take() + std::to_string(box.GetState()),
                  consume ? "LStdCtl_Selected0" : "LStdCtl_Selected LStdCheck_Change1");
    }
    d.Consume(LStdCtl_Selected, false);
    CRadioBtn r[] = {CRadioBtn(d.Parent()), CRadioBtn(d.Parent()), CRadioBtn(d.Parent()),
                     CRadioBtn(d.Parent())};
    for (int i = 0; i < 4; ++i) {
        r[i].SetBounds(
            LRect(60 + 50 * (i / 2), 10 + 30 * (i % 2), 90 + 50 * (i / 2), 30 + 30 * (i % 2)));
        r[i].SetNext(&r[i ^ 1]);
    }
    r[0].SelectIndex(0);
    r[2].SelectIndex(0);
    for (int round = 0; round < 2; ++round) {
        d.Click(&r[1]);
        EXPECT_EQ(d.Take() + std::to_string(r[0].SelectedIndex() * 10 + r[2].SelectedIndex()),
                  "LStdCtl_Selected LStdCheck_Change10");
    }
}

inline void ContractScrollArrows(ControlDriver& d) {
    LScrollBar bar(d.Parent(), 1, 1);
    bar.SetBounds(LRect(200, 10, 216, 200));
    bar.SetRange(0, 0, 100, 10);
    d.Take();
    d.Click(&bar, 8, 4);
    EXPECT_EQ(d.Take(), "LScrollBar_Up");  // at the minimum: no change
    d.Click(&bar, 8, 185);
    EXPECT_EQ(d.Take() + std::to_string(bar.GetValue()), "LScrollBar_Dw LScrollBar_Change1");
}

struct ContractCase {
    const char* name;
    void (*run)(ControlDriver&);
};
inline const ContractCase kContract[] = {
    {"EnablingAndQuietSetters", ContractEnablingAndQuietSetters},
    {"ChecksAndRadios", ContractChecksAndRadios},
    {"ScrollArrows", ContractScrollArrows}};
