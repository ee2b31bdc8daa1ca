// The sequence and scene editors in real windows (offscreen): both sequence
// lists, the scene list with its play mark, time line and meters, a slot and
// the wrap question, saved as PNGs under <build>/seqedit/ and checked for the
// time line's colour where it must lie and for names drawn whole.
#include <gtest/gtest.h>

#include <QDir>

#include <string>

#include <QLineEdit>

#include "ControlFixture.h"
#include "QtDrawFixture.h"
#include "ShellFixture.h"
#include "devices/files/CKvsFileList.h"
#include "editors/CKvsScnList.h"
#include "editors/CKvsSeqList.h"
#include "editors/CKvsSeqSlot.h"
#include "editors/nsq/CNSqTimeScale.h"
#include "editors/nsq/CNSqTrkEditF.h"
#include "editors/nsq/CNSqUTrkList.h"
#include "records/NsqSets.h"
#include "framework/CColorBtn.h"
#include "framework/CHeaderFrame.h"
#include "framework/CUndoQ.h"
#include "framework/CViewPrefs.h"
#include "platform/qt/QtControls.h"
#include "platform/qt/QtDrawing.h"
#include "platform/qt/QtFonts.h"
#include "records/DeviceKinds.h"
#include "records/PrefNodes.h"
#include "records/NsqPrefKinds.h"
#include "records/ShowKinds.h"
#include "tests/editors/FakePlayDevice.h"
#include "records/ShowOps.h"

namespace {

struct Win : LFrame {
    Win(LHandler* parent, i32 w, i32 h)
        : LFrame(parent, nullptr, LPaneOpt::Window(kWindowOrdinary, 6)) {
        fWindow->SetContentRect(LRect(100, 100, 100 + w, 100 + h));
        SetBounds(LRect(0, 0, w, h));
    }
};

QImage Shot(LFrame& f, const char* name) {
    QCoreApplication::processEvents();
    QWidget* top = AsMWindow(f.GetNativeWindow());
    const QImage image = top->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(image.save(QStringLiteral(KEVO_BINARY_DIR "/seqedit/") + name + ".png")) << name;
    EXPECT_EQ(CutPanes(f), "") << name;
    return image;
}

// The first and last rows holding ink (dark) in a rectangle of an image; a
// rectangle reaching past the image is read where it overlaps it.
std::pair<int, int> InkRows(const QImage& image, const QRect& rect) {
    const QRect r = rect & image.rect();
    int top = -1, bottom = -1;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128) top = top < 0 ? y : top, bottom = y;
    return {top, bottom};
}

// The rows of a window's grab that only a name made dark: those dark with it
// and clearly lighter with a blank name in its place (the faint edge of a
// glyph over a grey frame line darkens it, but is no ink on white either).
std::pair<int, int> NameRows(const QImage& named, const QImage& blank, const QRect& rect) {
    QImage only = named.copy();
    for (int y = 0; y < only.height() && y < blank.height(); ++y)
        for (int x = 0; x < only.width() && x < blank.width(); ++x)
            if (qGray(blank.pixel(x, y)) - qGray(named.pixel(x, y)) < 64)
                only.setPixel(x, y, qRgb(255, 255, 255));
    return InkRows(only, rect);
}

// The same text drawn in the same font, the same way, with room all around it.
std::pair<int, int> WholeRows(const LFont& font, const char* utf8) {
    QtImageCtx image(1400, 300);
    QtDrawText(&image.fGraphics, font.GetNativeFont(), utf8, u32(strlen(utf8)), 10, 200);
    return InkRows(image.Finish(), QRect(0, 0, 1400, 300));
}

QImage Grab(LFrame& f) {
    QCoreApplication::processEvents();
    return AsMWindow(f.GetNativeWindow())->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

struct Env : ShellEnv {
    Env() : ShellEnv("offscreen") {
        RegisterAllRecordKinds();
        RegisterPrefNodeKinds();
        QDir().mkpath(KEVO_BINARY_DIR "/seqedit");
    }
    QtControlServices controls;
};

CRecord* AddSeq(CRecord* st, u32 id, const char* name) {
    CRecord* s = NewKind(kFamKvt, kKindSqnc);
    s->SetU32(nullptr, SqncF::sqid, id);
    s->SetString(nullptr, SqncF::sqnm, LString(name));
    st->InsertItem(nullptr, SqstF::sqcs, st->GetListCount(SqstF::sqcs), s);
    return s;
}

// Capitals with marks above and letters reaching below the line; capitals
// with two marks stacked, the tilde or the accent on top.
const char kName[] = "\xC3\x84\xC3\x96\xC3\x85\xC3\x89_gjpqy";
const char kStacked[] = "NGUY\xE1\xBB\x84N \xE1\xBA\xAA \xE1\xBB\x92 \xE1\xB8\x96";

TEST(SeqEditorsOffscreen, ListsSceneListSlotAndQuestion) {
    Env env;
    CUndoQ undo(gApp, 1u << 20);
    FakePlayDevice device;
    CRecordDoc seqDoc(NewSeqSettingsRecord());
    CRecord* st = seqDoc.Root();
    const char* names[] = {kName, "Walk-in", "Act 1", "Interval", "Act 2", "Bows"};
    for (u32 i = 0; i < 6; ++i) AddSeq(st, 10 + i, names[i]);
    CRecord* set = st->GetChild(SqstF::nsqs);
    for (u32 i = 0; i < 3; ++i) {
        CRecord* s = NewKind(FourCC("YNST"), kKindSseq);
        s->SetU32(nullptr, SseqF::sqid, 40 + i);
        s->SetString(nullptr, SseqF::name,
                     LString(i == 0   ? "Timeline A"
                             : i == 1 ? "Timeline B"
                                      : "Foyer"));
        set->InsertItem(nullptr, SsetF::seqs, i, s);
    }
    CRecord* dvss = device.fState.Root();
    dvss->SetU32(nullptr, DvssF::sqid, 12);
    // DMX triggers: the buttons show start addresses.
    st->GetChild(SqstF::sntg)->SetU8(nullptr, SntgF::tgmd, 1);

    // Both sequence lists under their headers.
    // (Wide enough for a name at 24 points.)
    Win lists(&undo, 720, 330);
    CHeaderFrameV header(&lists, 0, 0, 1);
    header.SetBounds(LRect(0, 0, 720, 20));
    CKvsSeqList seqs(&lists, &device, st, &header);
    seqs.SetBounds(LRect(0, 20, 720, 200));
    CHeaderFrameV header2(&lists, 0, 0, 1);
    header2.SetBounds(LRect(0, 210, 720, 230));
    CKvsNSqSeqList nsqs(&lists, &device, st, &header2);
    nsqs.SetBounds(LRect(0, 230, 720, 330));
    seqs.SelectCell(LCell{0, 3});
    lists.ShowWindow();
    const QImage listShot = Shot(lists, "seq_lists");
    EXPECT_EQ(listShot.width(), 720);
    EXPECT_GT(seqs.CellHeight(), 10);

    // A scene list of "Act 1" while the device plays it, between scenes 1 and 2.
    CRecord* act = st->GetListItem(SqstF::sqcs, 2);
    const char* scenes[] = {"Preset", "House out", "Lights up", "Storm", "Calm", "Blackout"};
    for (u32 i = 0; i < 6; ++i) {
        CRecord* sc = NewKind(kFamKvt, kKindScen);
        sc->SetString(nullptr, ScenF::snnm, LString(scenes[i]));
        sc->SetI32(nullptr, ScenF::sntm, i32(i) * 15000);
        act->InsertItem(nullptr, SqncF::scns, i, sc);
    }
    Win scnWin(&undo, 420, 260);
    CKvsScnList scn(&scnWin, &device, st, nullptr);
    scn.SetBounds(LRect(0, 0, 420, 260));
    scn.SetSequence(act);
    dvss->SetString(nullptr, DvssF::crsn, LString("/sqcs/2/scns/1"));
    dvss->SetI32(nullptr, DvssF::sqtm, 20000);
    EXPECT_EQ(scn.CurrentRow(), 1);
    EXPECT_EQ(scn.TimeRow(), 2);
    scnWin.ShowWindow();
    const QImage scnShot = Shot(scnWin, "scene_list");
    // The line lies on the top edge of row 2, in the play colour.
    const LRect line = scn.TimeLineRect();
    // (The shot holds the menu bar above the content.)
    const QRgb px = scnShot.pixel(200, line.top + 1 + scnShot.height() - 260);
    EXPECT_EQ(qRed(px), 0);
    EXPECT_EQ(qGreen(px), 191);
    EXPECT_EQ(qBlue(px), 0);

    // A slot showing a sequence, and the wrap question.
    Win slotWin(&undo, 420, 80);
    CKvsSeqSlotEx slot(&slotWin, &slotWin, &device, st);
    slot.SetBounds(LRect(10, 10, 210, 30));
    slot.SetSequence(st, 10);
    slotWin.ShowWindow();
    Shot(slotWin, "seq_slot");

    // A Device Files list showing one recording.
    CRecordDoc contents(NewDeviceContentsRecord());
    Win filesWin(&undo, 720, 120);
    CKvsFileList files(&filesWin, nullptr);
    files.SetBounds(LRect(0, 0, 720, 120));
    filesWin.ShowWindow();
    auto showFile = [&](const char* name) {
        CRecord* root = contents.Root();
        while (root->GetListCount(DctsF::recordings) > 0)
            root->RemoveItem(nullptr, DctsF::recordings, 0);
        NodeListInsertSorted(root, 0, name, "1", "i");
        files.SetSource(root, 0);
    };

    // The NSQ track editor with one DMX scene, long enough for its name.
    CRecord* nset = st->GetChild(SqstF::nsqs);
    CRecord* nseq = nset->GetListItem(SsetF::seqs, 0);
    NSqSeqAddTrack(nseq, nullptr, 0);
    CRecord* track = nseq->GetListItem(SseqF::trks, 0);
    const u32 sceneAt = NSqTrkAddScene(track, nullptr, 1000, kKindPdmx);
    CRecord* clip = track->GetListItem(StrkF::scns, sceneAt)->GetChild(SscnF::prms);
    clip->SetU32(nullptr, PdmxF::rngt, 20000);
    CNSqDevCtx nsqCtx(nset, &device);
    CNSqTimeScale scale(&nsqCtx);
    scale.SetScale(0.01f);
    Win trkWin(&undo, 720, 240);
    CNSqTrkEditF trkEdit(&trkWin, &scale, nullptr);
    trkEdit.SetBounds(LRect(0, 0, 720, 240));
    trkEdit.SetSequence(nseq);
    trkWin.ShowWindow();

    // A colour button with a caption, white, as tall as it asks.
    Win btnWin(&undo, 720, 120);
    CColorBtn colorBtn(&btnWin, 0);
    const u8 white[3] = {255, 255, 255};
    colorBtn.SetColor(white);
    btnWin.ShowWindow();

    // A name drawn by a text pane (the slot, a Device Files row) or a field
    // (a list row's, which was stamped last anywhere) shows the rows the same
    // text shows drawn whole in its font, at the general size and a large one;
    // the field shows them where its native field shows them once it takes
    // the keys. (The caret stays put, shown: it is left out below.)
    QApplication::setCursorFlashTime(0);
    CRecord* prefs = NewParamNodeRecord();
    CViewPrefs::Instance().Attach(prefs);
    CRecord* first = st->GetListItem(SqstF::sqcs, 0);
    LListCell* stamp = seqs.GetProtoCell();
    LEditText& rowName = static_cast<CKvsSeqCell*>(stamp)->fName;
    const QString family =
        static_cast<QtNativeFont*>(rowName.Font().GetNativeFont())->Font().family();
    struct Case {
        f32 points;  // 0: the general font
        const char* name;
    };
    const Case kCases[] = {{0, kName},  {0, kStacked},  {9, kName},
                           {9, kStacked}, {24, kName}, {24, kStacked}};
    for (const Case& c : kCases) {
        // Every slot the preferences offer.
        for (u32 slot = 0; slot < 4; ++slot)
            CViewPrefs::Instance().SetFont(
                slot, CViewFont{c.points > 0 ? LString(family.toUtf8().constData()) : LString(),
                                c.points > 0 ? c.points : 12.0f});
        // The slot as tall as its font needs.
        slot.SetBounds(LRect(10, 10, 410, 10 + std::max(20, slot.GetPrefHeight(nullptr, 0))));
        first->SetString(nullptr, SqncF::sqnm, LString(" "));
        slot.SetSequence(st, 10);
        showFile(" ");
        clip->SetString(nullptr, PdmxF::file, LString(" "));
        trkEdit.List().InvalidateRgn(LRgn(trkEdit.List().Bounds()));
        colorBtn.SetText(LString(" "));
        LDrawCtx btnCtx;
        colorBtn.SetBounds(LRect(10, 10, 700, 10 + colorBtn.GetPrefHeight(&btnCtx, 0)));
        const QImage blankBtn = Grab(btnWin);
        const QImage blankList = Grab(lists), blankSlot = Grab(slotWin), blankFile = Grab(filesWin),
                     blankTrk = Grab(trkWin);
        first->SetString(nullptr, SqncF::sqnm, LString(c.name));
        slot.SetSequence(st, 10);
        showFile(c.name);
        clip->SetString(nullptr, PdmxF::file, LString(c.name));
        trkEdit.List().InvalidateRgn(LRgn(trkEdit.List().Bounds()));
        colorBtn.SetText(LString(c.name));
        const QImage namedBtn = Grab(btnWin);
        const QImage namedList = Grab(lists), namedSlot = Grab(slotWin), namedFile = Grab(filesWin),
                     namedTrk = Grab(trkWin);
        const QString shot = QStringLiteral(KEVO_BINARY_DIR "/seqedit/name_%1_%2_")
                                 .arg(int(c.points))
                                 .arg(int(&c - kCases));
        namedList.save(shot + QStringLiteral("list.png"));
        namedSlot.save(shot + QStringLiteral("slot.png"));
        namedFile.save(shot + QStringLiteral("file.png"));
        namedTrk.save(shot + QStringLiteral("track.png"));
        const auto whole = WholeRows(rowName.Font(), c.name);
        const std::string what = std::string(c.name) + " at " + std::to_string(c.points);

        MWindow* listWin = AsMWindow(lists.GetNativeWindow());
        const QPoint view = listWin->View()->mapTo(listWin, QPoint());
        const LRect row = seqs.GetCellRect(LCell{0, 0});
        LDrawEnv env;
        seqs.GetDrawEnv(&env);
        QRect rows(row.left + env.fOriginX, row.top + env.fOriginY, row.Width(), row.Height());
        rows.translate(view);
        rows.adjust(0, -row.Height(), 0, row.Height());
        const auto drawn = NameRows(namedList, blankList, rows);
        EXPECT_EQ(drawn.second - drawn.first, whole.second - whole.first) << "row " << what;

        MWindow* slotNative = AsMWindow(slotWin.GetNativeWindow());
        const QRect slotRows = slotNative->rect();
        const auto slotDrawn = NameRows(namedSlot, blankSlot, slotRows);
        const auto slotWhole = WholeRows(slot.Text().Style(), c.name);
        EXPECT_EQ(slotDrawn.second - slotDrawn.first, slotWhole.second - slotWhole.first)
            << "slot " << what;

        const auto fileDrawn = NameRows(namedFile, blankFile, namedFile.rect());
        const auto fileWhole =
            WholeRows(static_cast<CKvsFileCell*>(files.GetProtoCell())->fName.Style(), c.name);
        EXPECT_EQ(fileDrawn.second - fileDrawn.first, fileWhole.second - fileWhole.first)
            << "file " << what;

        // A scene box of the track editor, which clips its name to its inside.
        const auto trkDrawn = NameRows(namedTrk, blankTrk, namedTrk.rect());
        const auto trkWhole = WholeRows(LFont(2), c.name);
        EXPECT_EQ(trkDrawn.second - trkDrawn.first, trkWhole.second - trkWhole.first)
            << "scene box " << what;

        // A colour button's caption, clipped to the button's face.
        const auto btnDrawn = NameRows(namedBtn, blankBtn, namedBtn.rect());
        const auto btnWhole = WholeRows(LFont(1), c.name);
        EXPECT_EQ(btnDrawn.second - btnDrawn.first, btnWhole.second - btnWhole.first)
            << "colour button " << what;
        namedBtn.save(shot + QStringLiteral("button.png"));

        // In front long enough for a click to reach the field.
        LRect field = rowName.FrameRect();
        field.Offset(0, row.top - stamp->Bounds().top);
        LDrawEnv fieldEnv;
        rowName.GetDrawEnv(&fieldEnv);
        const QPoint at(field.left + fieldEnv.fOriginX + 20, field.top + fieldEnv.fOriginY + 5);
        listWin->activateWindow();
        RunUntil([&] { return listWin->isActiveWindow() && listWin->ActiveForMs() > 150; });
        ClickWidget(listWin->View(), at);
        auto* line = qobject_cast<QLineEdit*>(listWin->focusWidget());
        ASSERT_TRUE(line && line->geometry().contains(at)) << what;
        // The caret stands at the same place in both.
        line->setText(QStringLiteral(" "));
        line->setCursorPosition(0);
        const QImage blankFocused = Grab(lists);
        line->setText(QString::fromUtf8(c.name));
        line->setCursorPosition(0);
        EXPECT_EQ(drawn, NameRows(Grab(lists), blankFocused, rows)) << "focused " << what;
        // The keys go back to the list, so that the next name is stamped.
        ClickWidget(listWin->View(), QPoint(180, 190));
        RunUntil([&] {
            const QWidget* w = listWin->focusWidget();
            return !w || !w->inherits("QLineEdit");
        });
    }
    CViewPrefs::Instance().Attach(nullptr);
    CRecord::Destroy(prefs);

    CKvsSeqWrapDlg dlg(&undo, LString("Act 1"));
    dlg.ShowWindow();
    const QImage dlgShot = Shot(dlg, "seq_wrap_dlg");
    EXPECT_GT(dlgShot.width(), 200);
}

}  // namespace
