// Text fields over the fake native field: the character filter, number
// trimming, which keys the native field keeps, the engine's life and the
// messages on losing the focus.
#include <gtest/gtest.h>

#include "framework/LEditText.h"
#include "tests/framework/ControlPanes.h"

namespace {

struct Stage : ControlStage {
    // Focuses the field through its container, as a click would.
    FakeTextField* Focus(LEditText& e) {
        e.RequestFocus();
        return fControls.fField;
    }
};

TEST(EditText, NumberFieldsKeepOnlyTheirNumber) {
    const struct {
        u32 mode;
        const char* typed;
        bool paste;
        const char* text;
    } cases[] = {{0, "12a3", false, "123"}, {1, "-1.2.3", false, "-1.2"}, {0, "1-2", false, "1"},
                 {0, "-12", false, "-12"},  {0, "abc", true, ""},         {1, "x.", true, "."}};
    for (const auto& c : cases) {
        Stage s;
        LNumEdit n(&s.fBox, c.mode);
        n.SetBounds(LRect(10, 10, 110, 30));
        FakeTextField* f = s.Focus(n);
        ASSERT_NE(f, nullptr);
        s.fBox.Take();
        if (c.paste) {
            s.fControls.fClipboard = c.typed;
            f->Command(LFieldCommand::kPaste);
        } else {
            f->Type(c.typed);
        }
        EXPECT_EQ(std::string(n.GetText().View()), c.text) << c.typed;
        if (c.paste && !*c.text) {
            EXPECT_EQ(s.fBox.Take(), "") << "a refused paste is no change";
        }
    }
}

// Refuses one lead byte only, as a byte filter would see it.
class NoLatin1Lead : public LEditText {
public:
    using LEditText::LEditText;
    bool AcceptChar(const u8* byte) override { return *byte != 0xC3; }
};

TEST(EditText, FilterKeepsOrDropsWholeCharacters) {
    Stage s;
    NoLatin1Lead e(&s.fBox);
    e.SetBounds(LRect(10, 10, 110, 30));
    s.Focus(e)->Type("a\xC3\xA9z\xE2\x82\xAC");
    EXPECT_EQ(std::string(e.GetText().View()), "az\xE2\x82\xAC");
}

TEST(EditText, KeysTheNativeFieldKeepsAndKeysOfferedUp) {
    const struct {
        u32 wrap;
        u32 selStart, selLength;  // 99: all
        u32 ch;
        const char* log;
    } cases[] = {
        {0, 1, 1, 28, ""},  // Left moves the caret within a partial selection
        {0, 0, 99, 28, "LEditText_Down LKeyboard_Down"},
        {2, 0, 99, 13, ""},  // Return breaks the line
        {0, 0, 99, 13, "LEditText_Down LKeyboard_Down"},
        {0, 0, 0, 127, ""},
        {1, 0, 99, 9, ""},
        {2, 0, 99, 9, "LEditText_Down LKeyboard_Down"},
    };
    for (const auto& c : cases) {
        Stage s;
        LEditText e(&s.fBox, c.wrap);
        e.SetBounds(LRect(10, 10, 110, 60));
        e.SetText("abc");
        FakeTextField* f = s.Focus(e);
        f->SetSelection(c.selStart, c.selLength == 99 ? 3 : c.selLength);
        s.fBox.Take();
        s.Key(&e, c.ch);
        EXPECT_EQ(s.fBox.Take(), c.log) << "wrap " << c.wrap << " char " << c.ch;
        EXPECT_EQ(s.fKeys.fUsed, 0) << "wrap " << c.wrap << " char " << c.ch;
    }
    Stage s;
    LEditText e(&s.fBox);
    e.SetBounds(LRect(10, 10, 110, 30));
    s.Focus(e)->SelectAll();
    s.fBox.fTake = {LEditText_Down};
    s.Key(&e, 28);
    EXPECT_EQ(s.fKeys.fUsed, 1) << "an ancestor that takes the key consumes it";
}

TEST(EditText, EngineOnlyWhileFocusedAndWhollyVisible) {
    Stage s;
    LEditText e(&s.fBox);
    e.SetBounds(LRect(380, 10, 480, 30));
    s.Click(&e, 390, 20);
    EXPECT_EQ(s.fBox.Take(), "");
    e.SetState(LPane::kOpFocus);
    EXPECT_EQ(e.Engine(), nullptr);
    s.fBox.Take();
    for (u32 ch : {8u, 127u}) s.Key(&e, ch);
    EXPECT_EQ(s.fBox.Take(), "") << "the Delete keys of a focused field reach no row around it";
    e.SetState(LPane::kOpUnfocus);

    e.SetBounds(LRect(10, 10, 110, 30));
    s.Click(&e, 20, 20);
    ASSERT_NE(e.Engine(), nullptr);
    EXPECT_EQ(s.fControls.fField->fMouseDowns, 1);
    s.fControls.fField->Type("hi");
    e.SetBounds(LRect(350, 10, 450, 30));
    EXPECT_EQ(e.Engine(), nullptr);
    EXPECT_EQ(std::string(e.GetText().View()), "hi");
}

TEST(EditText, NumberEnterComesBeforeUnfocused) {
    for (bool edit : {true, false}) {
        Stage s;
        LNumEdit n(&s.fBox);
        n.SetBounds(LRect(10, 10, 110, 30));
        FakeTextField* f = s.Focus(n);
        if (edit) f->Type("5");
        s.fBox.Take();
        s.fBox.fFocus.Set(nullptr);
        EXPECT_EQ(s.fBox.Take(), edit ? "LPane_Unfocus LNumEdit_Enter LEditText_Unfocused"
                                      : "LPane_Unfocus LEditText_Unfocused");
    }
}

TEST(EditText, AsciiFieldRestoresTheInputSource) {
    Stage s;
    LAsciiEdit a(&s.fBox);
    a.SetBounds(LRect(10, 10, 110, 30));
    s.Focus(a);
    EXPECT_EQ(s.fControls.fInputSource, "ascii");
    s.fBox.fFocus.Set(nullptr);
    EXPECT_EQ(s.fControls.fInputSource, "user");
    {
        LAsciiEdit b(&s.fBox);
        b.SetBounds(LRect(10, 40, 110, 60));
        s.Focus(b);
        EXPECT_EQ(s.fControls.fInputSource, "ascii");
    }
    EXPECT_EQ(s.fControls.fInputSource, "user");
}

}  // namespace
