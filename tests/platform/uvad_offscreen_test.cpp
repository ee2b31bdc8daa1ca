// The universe address window drawn by Qt offscreen in both forms, and the
// scene edit frame in modes 0 and 1 with the device's position, saved as
// uvad_artnet.png, uvad_sacn.png, scnedit_mode0.png and scnedit_mode1.png in
// the build folder.
#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include "QtDrawFixture.h"
#include "ControlFixture.h"
#include "editors/CKvsScnEdF.h"
#include "editors/CKvsScnList.h"
#include "editors/CKvsScnMonF.h"
#include "editors/CKvsUvadList.h"
#include "framework/CUndoQ.h"
#include "records/PrefNodes.h"
#include "tests/editors/FakePlayDevice.h"
#include "editors/CUvadWin.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/RecordKinds.h"
#include "records/ShowKinds.h"

namespace {

// A frame that the test placed by hand keeps its size at every font: its
// labels are checked where a layout places it (the control window).
QImage Shot(LFrame* frame, const char* name, NameScope names = kLabels) {
    QCoreApplication::processEvents();
    QWidget* top = AsMWindow(frame->GetNativeWindow());
    const QImage image = top->grab().toImage();
    EXPECT_TRUE(image.save(QStringLiteral(KEVO_BINARY_DIR "/") + name));
    EXPECT_EQ(CutPanes(frame), "") << name;
    EXPECT_EQ(RowFieldsAtEverySize(*frame, names), "") << name;
    return image;
}

TEST(UvadOffscreen, BothForms) {
    ControlEnv env("offscreen");
    RegisterAllRecordKinds();
    CRecordDoc settings(CRecord::New(CRecordSchema::Find(kFamKvt, kKindDvst)));
    CRecord* table = settings.Root()->GetChild(DvstF::uvas);
    const struct {
        u32 univ, flws;
        const char* ip;
    } rows[] = {{0x123, 20, "192.168.0.10"}, {0, 9, "10.0.0.2"}, {32760, 100, "2.0.0.1"}};
    for (const auto& r : rows) {
        CRecord* u = CRecord::New(CRecordSchema::Find(kFamKvt, kKindUvad));
        u->SetU32(nullptr, UvadF::univ, r.univ);
        u->SetU32(nullptr, UvadF::flws, r.flws);
        u->SetString(nullptr, UvadF::ipad, LString(r.ip));
        table->InsertItem(nullptr, UvasF::uvas, table->GetListCount(UvasF::uvas), u);
    }
    CUvadWin* win = CUvadWin::New(gApp, nullptr, settings.Root(), 1201);
    win->Open();
    const QImage artnet = Shot(win, "uvad_artnet.png");
    settings.Root()->SetU8(nullptr, DvstF::saco, 1);
    const QImage sacn = Shot(win, "uvad_sacn.png");
    EXPECT_GT(artnet.width(), 250);
    EXPECT_EQ(artnet.size(), sacn.size());
    EXPECT_NE(artnet, sacn);
    EXPECT_TRUE(win->List()->Sacn());
    delete win;
}

// A play file's device whose sequence status the test sets.
struct ScnDevice : FakePlayDevice {
    u32 DeviceSerial() const override { return 0; }
    CRecordDoc* SeqStatDoc() override { return &fSeqStat; }
    CRecordDoc fSeqStat{NewKind(kFamKvt, kKindSsta)};
};

TEST(UvadOffscreen, SceneEditFrameInBothModes) {
    ControlEnv env("offscreen");
    RegisterAllRecordKinds();
    RegisterPrefNodeKinds();
    CRecordDoc settings(NewSeqSettingsRecord());
    CRecord* seq = NewKind(kFamKvt, kKindSqnc);
    for (u8 list : {SqncF::scns, SqncF::auss})
        for (i32 t : {0, 30000, 95000}) {
            CRecord* sc = NewKind(kFamKvt, kKindScen);
            sc->SetI32(nullptr, ScenF::sntm, t);
            sc->GetChild(ScenF::ctdr)->SetString(nullptr, SnctF::flnm, LString("take 3.drc"));
            sc->GetChild(ScenF::ctdr)->SetI32(nullptr, SnctF::entm, 60000);
            seq->InsertItem(nullptr, list, seq->GetListCount(list), sc);
        }
    settings.Root()->InsertItem(nullptr, SqstF::sqcs, 0, seq);
    ScnDevice device;
    device.fSeqStat.Root()->SetI32(nullptr, SstaF::sqtm, 41500);
    device.fSeqStat.Root()->SetI32(nullptr, SstaF::sqet, 95000);
    CRecord* state = device.fState.Root();
    state->SetString(nullptr, DvssF::crsn, LString("/sqcs/0/scns/1"));
    state->SetString(nullptr, DvssF::cras, LString("/sqcs/0/auss/1"));
    state->SetI32(nullptr, DvssF::autm, 12000);
    state->SetU32(nullptr, DvssF::audr, 60000);
    CUndoQ undo(gApp, 1u << 16);
    LFrame win(&undo, nullptr, LPaneOpt::Window(kWindowOrdinary, 9));
    auto* edit = new CKvsScnEdF(&win, &win, &device, settings.Root());
    LDrawCtx ctx;
    const i32 w = edit->GetPrefWidth(&ctx, 0), h = edit->GetPrefHeight(&ctx, 0);
    win.SetWindowBounds(LRect(60, 60, 60 + w, 60 + h));
    win.ShowWindow();
    edit->SetBounds(LRect(0, 0, w, h));
    edit->SetSequence(seq);
    QImage shots[2];
    for (u32 mode : {0u, 1u}) {
        device.fContents.Root()->SetU32(nullptr, DctsF::field0, mode);
        edit->List()->SelectCell(LCell{0, 1});
        edit->Update();
        EXPECT_EQ(edit->Monitor()->Bar().GetValue(), mode == 0 ? 41 : 12);
        shots[mode] = Shot(&win, mode == 0 ? "scnedit_mode0.png" : "scnedit_mode1.png", kTitles);
    }
    EXPECT_NE(shots[0], shots[1]);
    delete edit;
}

}  // namespace
