#pragma once
// What every native-control implementation owes the panes, run on the fake
// controls and on the Qt widgets alike: the driver makes the panes' parent,
// performs a user's clicks and tells what reached the parent.
#include <gtest/gtest.h>

#include <string>

#include "framework/LStdCtl.h"

struct ControlDriver {
    virtual ~ControlDriver() = default;
    virtual LPane* Parent() = 0;
    virtual std::string Take() = 0;  // names since the last call, joined by blanks
    virtual void Consume(const char* name, bool on) = 0;
    // A user's click in the middle of the control, or at x, y inside it.
    virtual void Click(LStdCtl* pane, i32 x = -1, i32 y = -1) = 0;
};

inline void ContractEnablingAndQuietSetters(ControlDriver& d) {
    LStdCheck check(d.Parent());
    check.SetBounds(LRect(10, 10, 40, 30));
    for (u32 op : {3, 2, 7, 12, 6, 13, 14, 2, 15, 3, 6, 2, 1, 0}) {
        check.SetState(op);
        EXPECT_EQ(check.Native()->IsEnabled(), (check.State() & 0x3A) == 0x0A) << op;
    }
    LPopupList popup(d.Parent());
    LScrollBar bar(d.Parent(), 1, 1);
    CSlider slider(d.Parent());
    popup.SetBounds(LRect(10, 70, 150, 95));
    bar.SetBounds(LRect(200, 10, 216, 200));
    slider.SetBounds(LRect(10, 110, 150, 130));
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

// A consumed click leaves the box; unhandled it flips; an on radio button stays
// on and tells again; rings do not interfere.
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
    CRadioBtn a1(d.Parent()), a2(d.Parent()), b1(d.Parent()), b2(d.Parent());
    CRadioBtn* all[] = {&a1, &a2, &b1, &b2};
    for (int i = 0; i < 4; ++i) {
        all[i]->SetBounds(
            LRect(60 + 50 * (i / 2), 10 + 30 * (i % 2), 90 + 50 * (i / 2), 30 + 30 * (i % 2)));
        all[i]->SetNext(all[i ^ 1]);
    }
    a1.SelectIndex(0);
    b1.SelectIndex(0);
    for (int round = 0; round < 2; ++round) {
        d.Click(&a2);
        EXPECT_EQ(d.Take() + std::to_string(a1.SelectedIndex() * 10 + b1.SelectedIndex()),
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
