#pragma once
// What every native-control implementation owes the panes, run on the fake
// controls and on the Qt widgets alike. A driver makes the panes' parent,
// performs a user's acts on a control and reports the messages that reached
// the parent (names in fTake are consumed there).
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "framework/LStdCtl.h"

struct ControlDriver {
    virtual ~ControlDriver() = default;
    virtual LPane* Parent() = 0;
    // Messages from the panes since the last call, joined by blanks.
    virtual std::string Take() = 0;
    virtual void Consume(const char* name, bool on) = 0;
    // A user's click in the middle of the control (or at x, y inside it).
    virtual void Click(LStdCtl* pane, i32 x = -1, i32 y = -1) = 0;
    virtual void Choose(LPopupList* pane, i32 index) = 0;
    virtual bool WidgetEnabled(LStdCtl* pane) = 0;
};

// Ops in an order that walks through every combination that matters.
inline void ContractEnabling(ControlDriver& d) {
    LStdButton b(d.Parent());
    b.SetBounds(LRect(10, 10, 90, 34));
    const u32 ops[] = {3, 2, 7, 12, 6, 13, 14, 2, 15, 3, 6, 2, 1, 0};
    for (u32 op : ops) {
        b.SetState(op);
        EXPECT_EQ(d.WidgetEnabled(&b), (b.State() & 0x3A) == 0x0A) << "after op " << op;
    }
}

inline void ContractQuietSetters(ControlDriver& d) {
    LStdCheck check(d.Parent());
    check.SetBounds(LRect(10, 10, 40, 30));
    CRadioBtn radio(d.Parent());
    radio.SetBounds(LRect(10, 40, 40, 60));
    LPopupList popup(d.Parent());
    popup.SetBounds(LRect(10, 70, 150, 95));
    LScrollBar bar(d.Parent(), 1, 1);
    bar.SetBounds(LRect(200, 10, 216, 200));
    CSlider slider(d.Parent());
    slider.SetBounds(LRect(10, 110, 150, 130));
    d.Take();
    check.SetState(1);
    radio.SetState(1);
    popup.AddItem("a");
    popup.AddItem("b");
    popup.Select(1);
    bar.SetRange(3, 0, 10, 2);
    bar.SetValue(7);
    slider.SetRange(0, 50);
    slider.SetValue(20);
    EXPECT_EQ(d.Take(), "");
    EXPECT_EQ(check.GetState(), 1);
    EXPECT_EQ(popup.Native()->SelectedItem(), 1);
    EXPECT_EQ(bar.GetValue(), 7);
    EXPECT_EQ(slider.GetValue(), 20);
}

inline void ContractCheckBox(ControlDriver& d) {
    LStdCheck box(d.Parent());
    box.SetBounds(LRect(10, 10, 40, 30));
    d.Take();
    d.Consume(LStdCtl_Selected, true);
    d.Click(&box);
    EXPECT_EQ(box.GetState(), 0);
    EXPECT_EQ(d.Take(), "LStdCtl_Selected");
    d.Consume(LStdCtl_Selected, false);
    d.Click(&box);
    EXPECT_EQ(box.GetState(), 1);
    EXPECT_EQ(d.Take(), "LStdCtl_Selected LStdCheck_Change");
}

inline void ContractRadioRings(ControlDriver& d) {
    CRadioBtn a1(d.Parent()), a2(d.Parent()), b1(d.Parent()), b2(d.Parent());
    const LRect at[] = {{10, 10, 40, 30}, {10, 40, 40, 60}, {60, 10, 90, 30}, {60, 40, 90, 60}};
    CRadioBtn* all[] = {&a1, &a2, &b1, &b2};
    for (int i = 0; i < 4; ++i) all[i]->SetBounds(at[i]);
    a1.SetNext(&a2);
    a2.SetNext(&a1);
    b1.SetNext(&b2);
    b2.SetNext(&b1);
    a1.SelectIndex(0);
    b1.SelectIndex(0);
    d.Take();
    d.Click(&a2);
    EXPECT_EQ(a1.SelectedIndex(), 1);
    EXPECT_EQ(b1.SelectedIndex(), 0);
    EXPECT_EQ(d.Take(), "LStdCtl_Selected LStdCheck_Change");
    d.Click(&a2);
    EXPECT_EQ(a2.GetState(), 1);
    EXPECT_EQ(d.Take(), "LStdCtl_Selected LStdCheck_Change");
}

inline void ContractPopup(ControlDriver& d) {
    LPopupList list(d.Parent());
    list.SetBounds(LRect(10, 10, 150, 36));
    list.AddItem("one");
    list.AddItem("two");
    list.AddItem("three");
    d.Take();
    d.Choose(&list, 2);
    EXPECT_EQ(d.Take(), "LStdCtl_Selected LPopupList_Changed");
    EXPECT_EQ(list.Native()->SelectedItem(), 2);
}

inline void ContractScrollUpAtMinimum(ControlDriver& d) {
    LScrollBar bar(d.Parent(), 1, 1);
    bar.SetBounds(LRect(200, 10, 216, 200));
    bar.SetRange(0, 0, 100, 10);
    d.Take();
    d.Click(&bar, 8, 4);
    EXPECT_EQ(d.Take(), "LScrollBar_Up");
    EXPECT_EQ(bar.GetValue(), 0);
    d.Click(&bar, 8, 185);
    EXPECT_EQ(d.Take(), "LScrollBar_Dw LScrollBar_Change");
    EXPECT_EQ(bar.GetValue(), 1);
}

// Each case of the contract; a test program runs them all on its driver.
struct ContractCase {
    const char* name;
    void (*run)(ControlDriver&);
};
inline const ContractCase kContract[] = {
    {"Enabling", ContractEnabling}, {"QuietSetters", ContractQuietSetters},
    {"CheckBox", ContractCheckBox}, {"RadioRings", ContractRadioRings},
    {"Popup", ContractPopup},       {"ScrollUpAtMinimum", ContractScrollUpAtMinimum},
};
