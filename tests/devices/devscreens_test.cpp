// The device list and the device frame on the headless fakes: rows follow the
// device set, a double click on one row opens the device, the frame refuses
// addresses that no device can have and shows the clock and the time sync.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/Resources.h"
#include "devices/CKvsDevDoc.h"
#include "devices/CKvsDevWin.h"
#include "devices/DevTransfer.h"
#include "framework/AppSingletons.h"
#include "framework/LTimer.h"
#include "framework/StdDialogs.h"
#include "records/DeviceKinds.h"
#include "tests/framework/ControlPanes.h"
#include "tests/framework/FakeWindows.h"

namespace {

struct Stage : ControlStage {
    Stage() {
        static LResFile appFile(AppResFileRef());
        SetDefaultResChain(&appFile);
    }
    // A press at a point of the box; presses 100 ms apart are double clicks.
    void Press(LPane* pane, i32 x, i32 y) {
        fServices.Advance(100);
        fMouse.SetEvent(LPoint{x, y}, 0, true, ++fEvent, fServices.fNow);
        Click(pane, x, y);
    }
    u32 fEvent = 0;
};

i32 Count(const std::vector<std::string>& log, const char* name) {
    return i32(std::count(log.begin(), log.end(), std::string(name)));
}

TEST(DevList, RowsFollowTheSetAndOnlyADoubleClickOnOneRowOpens) {
    Stage s;
    CKvsDevSet set;
    set.Add(1201);
    CKvsDevList* list = new CKvsDevList(&s.fBox, &set);
    list->SetBounds(LRect(0, 0, 100, 200));
    const i32 h = list->CellHeight();
    ASSERT_GT(h, 0);
    EXPECT_EQ(list->Rows(), 1);
    set.Add(305);
    set.Add(7);
    EXPECT_EQ(list->Rows(), 3);
    // Quick clicks on two rows open nothing; a second click on the same row does.
    s.Press(list, 5, h / 2);
    s.Press(list, 5, h + h / 2);
    EXPECT_EQ(Count(s.fBox.fLog, CKvsDevList_DblClk), 0);
    s.Press(list, 5, h + h / 2);
    EXPECT_EQ(Count(s.fBox.fLog, CKvsDevList_DblClk), 1);
    EXPECT_EQ(list->GetSelCell().row, 1);
    // A removed device removes its row.
    set.Find(305)->SetU8(nullptr, DevcF::notSeen, 1);
    set.RemoveNotSeen();
    EXPECT_EQ(list->Rows(), 2);
    delete list;
}

struct Frame : CKvsDevFrm {
    using CKvsDevFrm::CKvsDevFrm;
    void ShowRefusal(const LString& text) override { refusals.push_back(text.CStr()); }
    std::vector<std::string> refusals;
};

struct FrameStage : Stage {
    FrameStage() : settings(NewDeviceSettingsRecord()), state(NewDeviceStateRecord()) {
        set.Add(305)->SetU32(nullptr, DevcF::address, 0xC612010B);
        frame = new Frame(&fBox, &set);
        frame->SetDevice(305, settings.Root(), state.Root());
    }
    ~FrameStage() { delete frame; }
    CRecord* St() { return settings.Root(); }
    void EndEdit(LAsciiEdit& field, const char* text) {
        field.SetText(LString(text));
        LHandler::Send(LEditText_Unfocused, &field, field.Parent());
    }
    CKvsDevSet set;
    CRecordDoc settings, state;
    Frame* frame;
};

std::string Str(const LString& s) {
    return s.CStr();
}

TEST(DevFrame, DeviceAddressesOfNoHostAreRefusedAndNothingStored) {
    FrameStage s;
    EXPECT_EQ(Str(s.frame->fAddr.GetText()), "198.18.1.11");
    const std::string refusal = Str(StdDialogText("DEVFRM", 13));
    ASSERT_FALSE(refusal.empty());
    const struct {
        const char* text;
        u32 stored;  // 0: refused
    } cases[] = {{"10.0.0.0", 0},           {"10.255.255.255", 0},    {"0.1.2.3", 0},
                 {"127.0.0.1", 0},          {"224.0.0.1", 0},         {"192.168.1.255", 0},
                 {"not an address", 0},     {"10.0.0.1", 0x0A000001}, {"192.168.1.1", 0xC0A80101},
                 {"172.16.0.5", 0xAC100005}};
    for (const auto& c : cases) {
        s.St()->SetU32(nullptr, DvstF::csad, 0x01020304);
        s.frame->refusals.clear();
        s.EndEdit(s.frame->fCsad, c.text);
        EXPECT_EQ(s.St()->GetU32(DvstF::csad), c.stored ? c.stored : 0x01020304u) << c.text;
        EXPECT_EQ(s.frame->refusals,
                  c.stored ? std::vector<std::string>{} : std::vector<std::string>{refusal})
            << c.text;
        if (!c.stored) {
            EXPECT_EQ(Str(s.frame->fCsad.GetText()), c.text);
        }
    }
    // An emptied mask keeps the mask; the backup address takes 0 too.
    s.St()->SetU32(nullptr, DvstF::csmk, 0xFFFFFF00);
    s.EndEdit(s.frame->fCsmk, "");
    EXPECT_EQ(s.St()->GetU32(DvstF::csmk), 0xFFFFFF00u);
    s.EndEdit(s.frame->fCsmk, "255.255.0.0");
    EXPECT_EQ(s.St()->GetU32(DvstF::csmk), 0xFFFF0000u);
    s.St()->SetU8(nullptr, DvstF::bkup, 1);
    s.St()->SetU32(nullptr, DvstF::buma, 0x0A000009);
    EXPECT_EQ(Str(s.frame->fBuma.GetText()), "10.0.0.9");
    s.EndEdit(s.frame->fBuma, "");
    EXPECT_EQ(s.St()->GetU32(DvstF::buma), 0u);
}

TEST(DevFrame, FollowsTheRecordsButNotAFieldBeingTyped) {
    FrameStage s;
    auto shown = [](LPane& p) { return (p.State() & LPane::kVisible) != 0; };
    EXPECT_FALSE(shown(s.frame->fCustom));
    const i32 prefs = Count(s.fBox.fLog, LPane_Pref);
    s.frame->fMode.Select(2);
    LHandler::Send(LPopupList_Changed, &s.frame->fMode, s.frame);
    EXPECT_EQ(s.St()->GetU8(DvstF::admd), 2);
    EXPECT_TRUE(shown(s.frame->fCustom));
    // The window hears at once that the frame wants another size, once per change.
    EXPECT_EQ(Count(s.fBox.fLog, LPane_Pref), prefs + 1);
    s.St()->SetU8(nullptr, DvstF::bkup, 1);
    EXPECT_TRUE(shown(s.frame->fBackupFrm));
    EXPECT_EQ(Count(s.fBox.fLog, LPane_Pref), prefs + 2);
    s.St()->SetU8(nullptr, DvstF::usdh, 1);
    EXPECT_EQ(Count(s.fBox.fLog, LPane_Pref), prefs + 2);
    s.St()->SetU32(nullptr, DvstF::csad, 0x0A000001);
    EXPECT_EQ(Str(s.frame->fCsad.GetText()), "10.0.0.1");
    s.frame->fCsad.SetState(LPane::kOpFocus);
    s.frame->fCsad.SetText(LString("10.0.0."));
    s.St()->SetU32(nullptr, DvstF::csad, 0x0A000002);
    EXPECT_EQ(Str(s.frame->fCsad.GetText()), "10.0.0.");
    s.set.Find(305)->SetU32(nullptr, DevcF::address, 0xC612010C);
    EXPECT_EQ(Str(s.frame->fAddr.GetText()), "198.18.1.12");
}

// The device's settings read back while an address is typed (the reads the
// choice of a device starts): each field keeps its text, also when the frame is
// shown the device again, and the edit's end stores the typed value once.
struct Stores {
    u8 tag;
    i32 count = 0;
    static void Note(void* self, CRecordNote* n) {
        auto* s = static_cast<Stores*>(self);
        if (n->kind == CRecordNote::kChanged && n->field == s->tag) ++s->count;
    }
};

TEST(DevFrame, AReadReplyWhileTypingLeavesTheTypedAddress) {
    const struct {
        u8 tag;
        const char* typed;
        u32 typedValue;
    } cases[] = {{DvstF::csad, "10.0.0.77", 0x0A00004D},
                 {DvstF::csmk, "255.255.0.0", 0xFFFF0000},
                 {DvstF::buma, "10.0.0.201", 0x0A0000C9}};
    for (const auto& c : cases) {
        FrameStage s;
        s.St()->SetU8(nullptr, DvstF::admd, 2);
        s.St()->SetU8(nullptr, DvstF::bkup, 1);
        LAsciiEdit* field = c.tag == DvstF::csad   ? &s.frame->fCsad
                            : c.tag == DvstF::csmk ? &s.frame->fCsmk
                                                   : &s.frame->fBuma;
        field->RequestFocus();
        ASSERT_TRUE(field->State() & LPane::kFocused) << c.typed;
        field->SetText(LString(c.typed));
        s.St()->SetU32(nullptr, c.tag, 0x0A000005);
        s.frame->SetDevice(305, s.St(), s.state.Root());
        EXPECT_EQ(Str(field->GetText()), c.typed);
        Stores stores{c.tag};
        s.settings.AddListener(&stores, Stores::Note);
        s.Key(field, 13);
        LHandler::Send(LEditText_Unfocused, field, s.frame);
        s.settings.RemoveListener(&stores, Stores::Note);
        EXPECT_EQ(s.St()->GetU32(c.tag), c.typedValue) << c.typed;
        EXPECT_EQ(stores.count, 1) << c.typed;
    }
}

TEST(DevFrame, ClockAndTimeSyncTexts) {
    FrameStage s;
    const struct {
        const char* crtc;
        const char* ntsl;
        u8 ntsy;
        bool clock;
        i32 syncItem;  // -1: empty
    } cases[] = {{"2026-01-02T03:04:05Z", "", 1, true, -1},
                 {"garbage", "pool.example", 1, false, 15},
                 {"", "pool.example", 0, false, 14},
                 {"2026-13-40T99:00:00Z", "x", 0, false, 14}};
    for (const auto& c : cases) {
        s.St()->SetString(nullptr, DvstF::ntsl, LString(c.ntsl));
        s.state.Root()->SetU8(nullptr, DvssF::ntsy, c.ntsy);
        s.state.Root()->SetString(nullptr, DvssF::crtc, LString(c.crtc));
        const std::string clock = Str(s.frame->fClock.GetText());
        EXPECT_EQ(!clock.empty(), c.clock) << c.crtc;
        if (c.clock) {
            EXPECT_EQ(clock, Str(DeviceClockText(LString(c.crtc))));
            EXPECT_EQ(clock.size(), 19u) << clock;
        }
        EXPECT_EQ(Str(s.frame->fSync.GetText()),
                  c.syncItem < 0 ? "" : Str(StdDialogText("DEVFRM", u32(c.syncItem))))
            << c.ntsl;
    }
}

// Two devices, each with its own records; the frame shows the first.
struct TwoDevices : Stage {
    TwoDevices() {
        for (u16 serial : {u16(1001), u16(1002)}) {
            set.Add(serial)->SetU32(nullptr, DevcF::address, 0xC6120100u + serial % 100);
            CRecord* st = Settings(serial);
            st->SetU8(nullptr, DvstF::admd, 2);
            st->SetU8(nullptr, DvstF::bkup, 1);
            st->SetU32(nullptr, DvstF::csad, 0xC0A80100u + serial % 100);
            st->SetU32(nullptr, DvstF::csmk, 0xFFFFFF00u);
            st->SetU32(nullptr, DvstF::buma, 0xC0A80164u + serial % 100);
        }
        frame = new Frame(&fBox, &set);
        EXPECT_TRUE(Show(1001));
    }
    ~TwoDevices() { delete frame; }
    CRecord* Settings(u16 serial) { return (serial == 1001 ? first : second).Root(); }
    bool Show(u16 serial) {
        return frame->SetDevice(serial, Settings(serial), (serial == 1001 ? s1 : s2).Root());
    }
    // csad, csmk and buma of a device.
    std::vector<u32> Values(u16 serial) {
        CRecord* st = Settings(serial);
        return {st->GetU32(DvstF::csad), st->GetU32(DvstF::csmk), st->GetU32(DvstF::buma)};
    }
    CKvsDevSet set;
    CRecordDoc first{NewDeviceSettingsRecord()}, second{NewDeviceSettingsRecord()};
    CRecordDoc s1{NewDeviceStateRecord()}, s2{NewDeviceStateRecord()};
    Frame* frame;
};

TEST(DevFrame, AnEditBelongsToTheDeviceItWasTypedFor) {
    const struct {
        i32 field;          // 0 csad, 1 csmk, 2 buma
        const char* typed;  // null: focused, nothing typed
        bool moves;         // the frame goes on to the second device
        std::vector<u32> first;
    } cases[] = {
        {0, "192.168.1.77", true, {0xC0A8014D, 0xFFFFFF00, 0xC0A80165}},
        {1, "255.255.0.0", true, {0xC0A80101, 0xFFFF0000, 0xC0A80165}},
        {2, "192.168.1.201", true, {0xC0A80101, 0xFFFFFF00, 0xC0A801C9}},
        {0, nullptr, true, {0xC0A80101, 0xFFFFFF00, 0xC0A80165}},
        {2, nullptr, true, {0xC0A80101, 0xFFFFFF00, 0xC0A80165}},
        {0, "10.0.0.0", false, {0xC0A80101, 0xFFFFFF00, 0xC0A80165}},
    };
    for (const auto& c : cases) {
        TwoDevices s;
        LAsciiEdit* fields[] = {&s.frame->fCsad, &s.frame->fCsmk, &s.frame->fBuma};
        LAsciiEdit* field = fields[c.field];
        const std::vector<u32> second = s.Values(1002);
        field->RequestFocus();
        ASSERT_TRUE(field->State() & LPane::kFocused);
        if (c.typed) field->SetText(LString(c.typed));
        EXPECT_EQ(s.Show(1002), c.moves) << c.field << " " << (c.typed ? c.typed : "-");
        EXPECT_EQ(s.frame->Serial(), c.moves ? 1002 : 1001);
        EXPECT_EQ(s.frame->refusals.size(), c.moves ? 0u : 1u);
        // The field leaves the focus later, as the click on the list makes it do.
        LHandler::Send(LEditText_Unfocused, field, s.frame);
        EXPECT_EQ(s.Values(1001), c.first) << c.field << " " << (c.typed ? c.typed : "-");
        EXPECT_EQ(s.Values(1002), second) << c.field << " " << (c.typed ? c.typed : "-");
        if (c.moves) {
            // Every field shows the new device, the focused one too.
            EXPECT_EQ(Str(s.frame->fCsad.GetText()), "192.168.1.2");
            EXPECT_EQ(Str(s.frame->fCsmk.GetText()), "255.255.255.0");
            EXPECT_EQ(Str(s.frame->fBuma.GetText()), "192.168.1.102");
        } else {
            EXPECT_EQ(Str(field->GetText()), c.typed);
        }
    }
}

TEST(DevFrame, SettingsNotYetReadShowNothingAndTakeNothing) {
    TwoDevices s;
    auto enabled = [](LPane& p) { return (p.State() & LPane::kEnabled) != 0; };
    EXPECT_TRUE(s.frame->SetDevice(1002, nullptr, s.s2.Root()));
    LPane* panes[] = {&s.frame->fCsad, &s.frame->fCsmk,    &s.frame->fBuma,  &s.frame->fMode,
                      &s.frame->fDhcp, &s.frame->fUnicast, &s.frame->fBackup};
    for (LPane* p : panes) EXPECT_FALSE(enabled(*p));
    EXPECT_EQ(Str(s.frame->fCsad.GetText()), "");
    EXPECT_EQ(Str(s.frame->fBuma.GetText()), "");
    EXPECT_EQ(s.frame->fBackup.GetState(), 0);
    // The record arrives: the device's own values, editable.
    EXPECT_TRUE(s.Show(1002));
    for (LPane* p : panes) EXPECT_TRUE(enabled(*p));
    EXPECT_EQ(Str(s.frame->fCsad.GetText()), "192.168.1.2");
    EXPECT_EQ(s.frame->fBackup.GetState(), 1);
}

// A refusal's message window takes the focus, as a real one does.
struct ModalFrame : Frame {
    ModalFrame(LPane* box, CKvsDevSet* set) : Frame(box, set), other(box) {}
    void ShowRefusal(const LString& text) override {
        Frame::ShowRefusal(text);
        other.RequestFocus();
    }
    LAsciiEdit other;
};

TEST(DevFrame, ARefusalIsSaidOnceAndTheFieldTakesTheTextAgain) {
    FrameStage s;
    delete s.frame;
    s.frame = new ModalFrame(&s.fBox, &s.set);
    s.frame->SetBounds(LRect(0, 0, 400, 300));
    s.frame->SetDevice(305, s.St(), s.state.Root());
    s.St()->SetU8(nullptr, DvstF::admd, 2);
    s.St()->SetU32(nullptr, DvstF::csad, 0x0A000001);
    for (const u32 key : {0u, 13u, 3u}) {
        s.frame->refusals.clear();
        s.frame->fCsad.RequestFocus();
        s.frame->fCsad.SetText(LString("127.0.0.1"));
        if (key)
            s.Key(&s.frame->fCsad, key);
        else
            LHandler::Send(LEditText_Unfocused, &s.frame->fCsad, s.frame);
        EXPECT_EQ(s.frame->refusals.size(), 1u) << key;
        EXPECT_TRUE(s.frame->fCsad.State() & LPane::kFocused) << key;
        ASSERT_NE(s.frame->fCsad.Engine(), nullptr);
        EXPECT_TRUE(s.frame->fCsad.Engine()->IsAllSelected()) << key;
        EXPECT_EQ(s.St()->GetU32(DvstF::csad), 0x0A000001u);
    }
}

// Every change of the three address fields, as "tag=value".
struct AddressStores {
    static void Note(void* self, CRecordNote* n) {
        auto* s = static_cast<AddressStores*>(self);
        if (n->kind != CRecordNote::kChanged || !n->record) return;
        const char* tag = n->field == DvstF::csad   ? "csad"
                          : n->field == DvstF::csmk ? "csmk"
                          : n->field == DvstF::buma ? "buma"
                                                    : nullptr;
        if (tag) s->seen += std::string(tag) + "=" + Str(IPv4Text(n->record->GetU32(n->field))) + " ";
    }
    std::string seen;
};

// Each address field stores only its own text, once, however its edit ends:
// Tab (the focus on its way to the next pane when the text is refused), Return,
// keypad Enter, or a click on another pane. A refused text stores nothing and
// leaves its field focused, so that the correction is typed into it.
TEST(DevFrame, EachAddressFieldStoresOnlyItsOwnTextHoweverItsEditEnds) {
    enum End { kTab, kReturn, kEnter, kClick };
    const struct {
        i32 field;  // 0 csad, 1 csmk, 2 buma
        const char* refused;
        const char* corrected;
        const char* emptied;  // what the emptied field stores; null: refused
        const char* shownEmptied;  // the field's text after it was emptied
    } fields[] = {
        {0, "300.1.1.1", "10.20.30.40", nullptr, ""},
        {1, "255.255.0.", "255.255.0.0", "", "255.255.0.0"},
        {2, "10.77.3.300", "10.77.3.30", "buma=0.0.0.0 ", ""},
    };
    const char* tags[] = {"csad", "csmk", "buma"};
    for (const auto& f : fields) {
        for (const End end : {kTab, kReturn, kEnter, kClick}) {
            SCOPED_TRACE(std::string(tags[f.field]) + " end " + std::to_string(end));
            FrameStage s;
            delete s.frame;
            auto* frame = new ModalFrame(&s.fBox, &s.set);
            s.frame = frame;
            frame->SetBounds(LRect(0, 0, 400, 300));
            frame->SetDevice(305, s.St(), s.state.Root());
            s.St()->SetU8(nullptr, DvstF::admd, 2);
            s.St()->SetU8(nullptr, DvstF::bkup, 1);
            s.St()->SetU32(nullptr, DvstF::csad, 0x0A000001);
            s.St()->SetU32(nullptr, DvstF::csmk, 0xFFFFFF00);
            s.St()->SetU32(nullptr, DvstF::buma, 0x0A000009);
            LAsciiEdit* all[] = {&frame->fCsad, &frame->fCsmk, &frame->fBuma};
            LAsciiEdit* field = all[f.field];
            AddressStores stores;
            s.settings.AddListener(&stores, AddressStores::Note);
            auto finish = [&] {
                if (end == kTab) s.Key(field, 9);
                if (end == kReturn) s.Key(field, 13);
                if (end == kEnter) s.Key(field, 3);
                if (end == kClick) frame->other.RequestFocus();
                s.fServices.Advance(1);
                LTimer::FireDue(s.fServices.fNow, nullptr, nullptr, true);
            };
            auto focused = [&] {
                std::string out;
                for (u32 i = 0; i < 3; ++i)
                    if (all[i]->State() & LPane::kFocused) out += std::string(tags[i]) + " ";
                return out;
            };
            field->RequestFocus();
            field->SetText(LString(f.refused));
            finish();
            EXPECT_EQ(frame->refusals.size(), 1u);
            EXPECT_EQ(stores.seen, "");
            EXPECT_EQ(Str(field->GetText()), f.refused);
            // The field alone holds the focus, its text selected for the correction.
            EXPECT_EQ(focused(), std::string(tags[f.field]) + " ");
            ASSERT_NE(field->Engine(), nullptr);
            EXPECT_TRUE(field->Engine()->IsAllSelected());

            field->SetText(LString(f.corrected));
            finish();
            EXPECT_EQ(frame->refusals.size(), 1u);
            EXPECT_EQ(stores.seen, std::string(tags[f.field]) + "=" + f.corrected + " ");

            stores.seen.clear();
            frame->refusals.clear();
            field->RequestFocus();
            field->SetText(LString());
            finish();
            EXPECT_EQ(frame->refusals.size(), f.emptied ? 0u : 1u);
            EXPECT_EQ(stores.seen, f.emptied ? f.emptied : "");
            EXPECT_EQ(Str(field->GetText()), f.shownEmptied);
            s.settings.RemoveListener(&stores, AddressStores::Note);
        }
    }
}

// Above the device window: answers each message dialog's modal turn with OK.
struct Answering : LHandler {
    LMessage HandleMessage(const LMessage& msg) override {
        if (auto* d =
                msg.Is(LHandler_Mode) ? dynamic_cast<CSimpleMessageDialog*>(msg.source) : nullptr) {
            ++messages;
            LHandler::Send(LStdCtl_Selected, d->DefaultButton(), d);
            return LMessage();
        }
        return LHandler::HandleMessage(msg);
    }
    i32 messages = 0;
};

TEST(DevWindow, ARefusedAddressKeepsItsDeviceSelected) {
    TwoDevices s;
    FakeWindows windows{s.fServices};
    Answering doc;
    CKvsDevWin win(&doc, &s.set);
    win.SelectRow(0);
    win.ShowDevice(1001, s.Settings(1001), s.s1.Root());
    CKvsDevFrm& frame = *win.fFrame;
    ASSERT_EQ(frame.Serial(), 1001);
    frame.fCsad.RequestFocus();
    frame.fCsad.SetText(LString("192.168.1.0"));
    // The click on the second row selects it first; the window then shows it.
    win.SelectRow(1);
    win.ShowDevice(1002, s.Settings(1002), s.s2.Root());
    EXPECT_EQ(doc.messages, 1);
    EXPECT_EQ(frame.Serial(), 1001);
    EXPECT_EQ(win.SelectedRow(), 0);
    EXPECT_EQ(s.Values(1001)[0], 0xC0A80101u);
    EXPECT_EQ(s.Values(1002)[0], 0xC0A80102u);
    // Mended, the address goes to its own device and the second one is shown.
    frame.fCsad.SetText(LString("192.168.1.9"));
    win.SelectRow(1);
    win.ShowDevice(1002, s.Settings(1002), s.s2.Root());
    EXPECT_EQ(doc.messages, 1);
    EXPECT_EQ(frame.Serial(), 1002);
    EXPECT_EQ(s.Values(1001)[0], 0xC0A80109u);
    EXPECT_EQ(s.Values(1002)[0], 0xC0A80102u);
    EXPECT_STREQ(frame.fCsad.GetText().CStr(), "192.168.1.2");
}

TEST(DevTransfer, ResultFromTheSessionPeerAndErrorWords) {
    const struct {
        u32 a, b, c;
        i32 result;
    } cases[] = {
        {2, 0, 0, kTransferNoAnswer}, {1, 0, 0, kTransferBroken},   {3, 3, 3, kTransferBroken},
        {0, 0, 7, kTransferOk},       {0, 3, 0, kTransferFull},     {0, 3, 3, kTransferRefused},
        {0, 3, 1, kTransferFailed},   {0, 2, 0, kTransferNoAnswer}, {0, 1, 0, kTransferFailed}};
    for (const auto& c : cases)
        EXPECT_EQ(TransferResult(c.a, c.b, c.c), c.result) << c.a << " " << c.b << " " << c.c;
}

}  // namespace
