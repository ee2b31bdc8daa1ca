// The key field and the note field under Xvfb with openbox, typed on by real
// keys. Skipped without Xvfb, openbox or xdotool.
#include <gtest/gtest.h>

#include "XvfbFrameTest.h"
#include "editors/CAxPlyTrgList.h"
#include "editors/CNoteEdit.h"

// libdbus (the X11 plugin's session bus) keeps a buffer for the process's life.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

namespace {

// Counts the fixes of the note field.
struct FixFrame : CtlFrame {
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(CNumVol_Fix)) ++fFixes;
        return CtlFrame::HandleMessage(msg);
    }
    int fFixes = 0;
};

class XvfbTriggerFields : public XvfbFrameTest<FixFrame> {
protected:
    void ClickInto(LEditText* field) {
        const LRect b = field->Bounds();
        const QPoint at = frame->Native()->View()->mapToGlobal(
            QPoint((b.left + b.right) / 2, (b.top + b.bottom) / 2));
        gX->Xdotool("mousemove " + std::to_string(at.x()) + " " + std::to_string(at.y()) +
                    " click 1");
        ASSERT_TRUE(WaitUntil([&] { return field->Engine() && QApplication::focusWidget(); }));
    }
    std::string Text(LEditText& f) { return std::string(f.GetText().View()); }
};

TEST_F(XvfbTriggerFields, KeyFieldKeepsTheLastLetterOrDigit) {
    CKeyCaptureEdit key(frame.get());
    key.SetBounds(LRect(20, 20, 60, 42));
    ClickInto(&key);
    // A blank and a sign are refused; the last letter or digit stays alone.
    TypePaced("a 7+");
    WaitUntil([&] { return Text(key) == "7"; }, 2000);
    EXPECT_EQ(Text(key), "7");
    TypePaced("q");
    WaitUntil([&] { return Text(key) == "q"; }, 2000);
    EXPECT_EQ(Text(key), "q");
}

TEST_F(XvfbTriggerFields, NoteFieldTakesANameOnReturn) {
    CNoteEdit note(frame.get());
    note.SetBounds(LRect(20, 60, 120, 82));
    ClickInto(&note);
    KeysPaced("ctrl+a BackSpace");
    TypePaced("d#4");
    WaitUntil([&] { return Text(note) == "d#4"; }, 2000);
    EXPECT_EQ(Text(note), "d#4");
    KeysPaced("Return");
    WaitUntil([&] { return Text(note) == "D#4"; }, 2000);
    EXPECT_EQ(Text(note), "D#4");
    EXPECT_EQ(note.GetValue(), 63);
    EXPECT_GE(frame->fFixes, 1);
}

}  // namespace
