// The control contract on the fake controls (the platform tests run it on Qt).
#include "tests/framework/ControlContract.h"
#include "tests/framework/ControlPanes.h"

namespace {

struct FakeDriver : ControlDriver {
    ControlStage stage;
    LPane* Parent() override { return &stage.fBox; }
    std::string Take() override { return stage.fBox.Take(); }
    void Consume(const char* name, bool on) override {
        on ? void(stage.fBox.fTake.insert(name)) : void(stage.fBox.fTake.erase(name));
    }
    void Click(LStdCtl* pane, i32, i32 y) override {
        auto* n = static_cast<FakeControl*>(pane->Native());
        if (n->fKind != LControlKind::kScroller) return n->Click();
        n->Hit(y < 16 ? kScrollPartUp : kScrollPartDown, n->fValue);  // arrows at the ends
    }
};

class ControlContract : public ::testing::TestWithParam<ContractCase> {};
TEST_P(ControlContract, HoldsOnTheFake) {
    FakeDriver d;
    GetParam().run(d);
}
INSTANTIATE_TEST_SUITE_P(Cases, ControlContract, ::testing::ValuesIn(kContract),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
