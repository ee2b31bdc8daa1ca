// Edit commands on text slots through menu items and the clipboard.
#include <gtest/gtest.h>

#include "base/LScrap.h"
#include "framework/LMenu.h"
#include "framework/LTextPane.h"
#include "tests/framework/ControlPanes.h"

namespace {

// Clipboard content of another kind than text.
class OtherScrap : public LClipItem {
public:
    bool IsAvailable() override { return true; }
    bool ReadFromPasteboard() override { return false; }
    void WriteToPasteboard() override {}
    bool AssignFrom(LClipItem&) override { return false; }
    const char* GetTypeName() const override { return "OtherScrap"; }
};

struct Stage : ControlStage {
    Stage() { LClipboard::MakeInstance(&fClip); }
    ~Stage() { LClipboard::MakeInstance(nullptr); }
    void Command(LPane* pane, const char* command) {
        LMenuItem item(&fMenu);
        item.SetCommand(command);
        LHandler::Send(LMenuItem_Selected, &item, pane);
    }
    LClipboard fClip;
    LMenu fMenu{nullptr, LString("T"), LString("T")};
};

TEST(TextSlotCommands, DeleteOnlyWhereAllowed) {
    const struct {
        u8 options;
        const char* log;
    } cases[] = {{0, "LMenuItem_Selected"},
                 {CTextSlot::kClearable, "CTextSlot_Changed"},
                 {CTextSlot::kEditable, "CTextSlot_Changed"}};
    for (const auto& c : cases) {
        Stage s;
        CTextSlot slot(&s.fBox, c.options);
        slot.SetText("scene");
        s.Command(&slot, LStdCmd_Delete);
        EXPECT_EQ(s.fBox.Take(), c.log) << int(c.options);
    }
}

TEST(TextSlotCommands, PasteNeedsText) {
    Stage s;
    CTextSlot slot(&s.fBox, CTextSlot::kEditable);
    slot.SetText("scene");
    s.Command(&slot, LStdCmd_Paste);  // nothing on the clipboard
    s.fClip.SetOwner(new OtherScrap);
    s.Command(&slot, LStdCmd_Paste);
    auto* empty = new LTextScrap;
    s.fClip.SetOwner(empty);
    s.Command(&slot, LStdCmd_Paste);
    EXPECT_EQ(s.fBox.Take(), "");
    EXPECT_EQ(std::string(slot.GetText().View()), "scene");

    CTextSlot other(&s.fBox, CTextSlot::kEditable);
    other.SetText("take");
    s.Command(&other, LStdCmd_Cut);
    s.Command(&slot, LStdCmd_Paste);
    EXPECT_EQ(s.fBox.Take(), "CTextSlot_Changed CTextSlot_Changed");
    EXPECT_EQ(std::string(slot.GetText().View()), "take");
    EXPECT_TRUE(other.GetText().IsEmpty());
}

}  // namespace
