// Layout assembly: the exact script text, error lines counted through it, and
// the standard definitions of both dialects placing real layouts alike.
#include <gtest/gtest.h>

#include <string>

#include "TestPanes.h"
#include "base/Resources.h"
#include "framework/layout/LExprEval.h"
#include "framework/layout/LLayoutVM.h"

namespace {

std::string S(const LString& s) {
    return std::string(s.View());
}

class LayoutAssembly : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static LResFile app(AppResFileRef());
        SetDefaultResChain(&app);
    }
    static LStrListHolder Open(const char* name) {
        LStrListHolder h;
        LResId id{0, name};
        LStrListRes::Open(&h, &id, nullptr, kLayoutResType);
        return h;
    }
};

TEST_F(LayoutAssembly, GridLayoutPlacesFiftyChildren) {
    TestContainer box;
    std::vector<TestPane*> kids;
    for (int i = 0; i < 50; ++i) kids.push_back(new TestPane(&box, &box, 20 + i % 7, 10 + i % 5));
    LLayoutVM vm(&box.fChildren);
    ASSERT_TRUE(vm.Compile(Open("KVTESTGRID"))) << S(vm.ErrorReport());
    vm.SetGlobal("nkids", 50);
    ASSERT_TRUE(vm.RunPref(nullptr));
    // 5 columns of 26 (the widest), 10 rows of 14, margins 20, gaps 12.
    EXPECT_EQ(vm.ResultRect(), LRect(0, 0, 40 + 5 * 26 + 4 * 12, 40 + 10 * 14 + 9 * 12));
    vm.SetResultRect(LRect(100, 100, 400, 400));
    ASSERT_TRUE(vm.RunLayout(nullptr));
    EXPECT_EQ(kids[0]->Bounds(), LRect(20, 20, 46, 34));
    EXPECT_EQ(kids[7]->Bounds(), LRect(20 + 2 * 38, 20 + 26, 20 + 2 * 38 + 26, 20 + 26 + 14));
    EXPECT_EQ(kids[49]->Bounds(),
              LRect(20 + 4 * 38, 20 + 9 * 26, 20 + 4 * 38 + 26, 20 + 9 * 26 + 14));
}

// The message dialog's texts: both dialects of the standard definitions place alike.
TEST_F(LayoutAssembly, MessageLayoutAgreesInBothDialects) {
    struct Dialog {
        TestContainer box;
        TestPane* ok = new TestPane(&box, &box, 60, 20);
        TestPane* cancel = new TestPane(&box, &box, 70, 20);
        TestPane* text = new TestPane(&box, &box, 700, 16);
        TestPane* icon = new TestPane(&box, &box, 64, 64);
        Dialog() {
            text->fWraps = true;
            for (LPane* p : {static_cast<LPane*>(ok), static_cast<LPane*>(cancel),
                             static_cast<LPane*>(text), static_cast<LPane*>(icon)})
                p->SetState(LPane::kOpContainerShown);
        }
    };

    Dialog direct;
    LStrListHolder msg = Open("KVTESTMSG");
    LString item;
    LLayoutEval eval(nullptr, &direct.box.fChildren);
    eval.Run(LStrListRes::GetSharedItem(&item, msg, 0));
    eval.SetVar("nowrap", 0);
    eval.Run(LStrListRes::GetSharedItem(&item, msg, 1));
    EXPECT_EQ(eval.ResultRect(), LRect(40, 40, 524, 144));
    eval.Run(LStrListRes::GetSharedItem(&item, msg, 2));
    EXPECT_EQ(direct.ok->Bounds(), LRect(384, 64, 464, 84));
    EXPECT_EQ(direct.cancel->Bounds(), LRect(292, 64, 372, 84));
    EXPECT_EQ(direct.icon->Bounds(), LRect(20, 20, 84, 84));
    EXPECT_EQ(direct.text->Bounds(), LRect(104, 20, 464, 52));

    Dialog compiled;
    LLayoutVM vm(&compiled.box.fChildren);
    ASSERT_TRUE(vm.CompileLayout(
        "okbtn = 1; cancelbtn = 2; msgtx = 3; icnpn = 4; nowrap = 0;",
        "tw = max(CalcTextBoxW(msgtx), CalcTextW(msgtx, 20), nowrap*wp(msgtx));"
        "cw = CalcStdIconR(icnpn) + max(tw, CalcTwoButtonW(okbtn, cancelbtn)) + kStdSpc;"
        "ch = kStdSpc + hp(msgtx, tw) + kGrpSpc + hp(okbtn) + kStdSpc;pp(0, 40, 40, 40 + cw, 40 + "
        "ch);",
        "PlaceTwoButton(okbtn, cancelbtn);PlaceStdIcon(icnpn);"
        "PlaceTextBoxLTR(msgtx, GetStdIconR(icnpn), kStdSpc, w(0) -  kStdSpc);"))
        << S(vm.ErrorReport());
    ASSERT_TRUE(vm.RunPref(nullptr));
    EXPECT_EQ(vm.ResultRect(), eval.ResultRect());
    ASSERT_TRUE(vm.RunLayout(nullptr));
    EXPECT_EQ(compiled.ok->Bounds(), direct.ok->Bounds());
    EXPECT_EQ(compiled.cancel->Bounds(), direct.cancel->Bounds());
    EXPECT_EQ(compiled.icon->Bounds(), direct.icon->Bounds());
    EXPECT_EQ(compiled.text->Bounds(), direct.text->Bounds());

    // With one button, the row is narrower: a short message gets the minimum text width.
    Dialog one;
    one.cancel->SetState(LPane::kOpHide);
    one.text->fPrefW = 70;
    LLayoutEval eval1(nullptr, &one.box.fChildren);
    eval1.Run(LStrListRes::GetSharedItem(&item, msg, 0));
    eval1.SetVar("nowrap", 1);
    eval1.Run(LStrListRes::GetSharedItem(&item, msg, 1));
    EXPECT_EQ(eval1.ResultRect(), LRect(40, 40, 40 + 104 + 140 + 20, 40 + 20 + 16 + 12 + 20 + 20));
    // The direct "pp" answers 0 and still places.
    EXPECT_EQ(eval1.Run("pp(4, 1, 2, 3, 4) + 5"), 5);
    EXPECT_EQ(one.icon->Bounds(), LRect(1, 2, 3, 4));
    EXPECT_EQ(eval1.Run("pp(9, 1, 2, 3, 4) + shown(2) * 10 + shown(1) + w(9) + sys(1)"), 1 + 16);
}

}  // namespace
