// The control contract on the fake controls (the Qt widgets run the same
// cases in the platform tests).
#include "tests/framework/ControlContract.h"
#include "tests/framework/ControlPanes.h"

namespace {

struct FakeDriver : ControlDriver {
    ControlStage stage;
    LPane* Parent() override { return &stage.fBox; }
    std::string Take() override { return stage.fBox.Take(); }
    void Consume(const char* name, bool on) override {
        if (on)
            stage.fBox.fTake.insert(name);
        else
            stage.fBox.fTake.erase(name);
    }
    void Click(LStdCtl* pane, i32, i32 y) override {
        auto* n = static_cast<FakeControl*>(pane->Native());
        if (n->fKind != LControlKind::kScroller) return n->Click();
        // The arrows sit at the ends of a vertical bar.
        n->Hit(y < 16                             ? kScrollPartUp
               : y > pane->Bounds().Height() - 16 ? kScrollPartDown
                                                  : kScrollPartKnob,
               n->fValue);
    }
    void Choose(LPopupList* pane, i32 index) override {
        static_cast<FakeControl*>(pane->Native())->Choose(index);
    }
    bool WidgetEnabled(LStdCtl* pane) override { return pane->Native()->IsEnabled(); }
};

class ControlContract : public ::testing::TestWithParam<ContractCase> {};

TEST_P(ControlContract, HoldsOnTheFake) {
    FakeDriver d;
    GetParam().run(d);
}

INSTANTIATE_TEST_SUITE_P(Cases, ControlContract, ::testing::ValuesIn(kContract),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
