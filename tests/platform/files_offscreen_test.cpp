// The device file screens drawn offscreen, saved as PNGs in <build>/files/.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

#include <cstring>
#include <string>

#include "ControlFixture.h"
#include "QtDrawFixture.h"
#include "base/Resources.h"
#include "devices/files/CKvsFileFrm.h"
#include "devices/files/CKvsRenDlg.h"
#include "devices/files/CopyToUms.h"
#include "devices/files/DeviceFileOps.h"
#include "devlink/ReqQueue.h"
#include "framework/LTextBox.h"
#include "framework/StdDialogs.h"
#include "records/CRecordDoc.h"
#include "records/PrefNodes.h"

namespace {

// Photographs each question, then declines it; the poller has no queue to read.
struct Link : LHandler, MDevObjLink {
    Link() : LHandler(gApp), queue(nullptr, 0), contents(NewDeviceContentsRecord()) {}
    CReqQueue* DeviceQueue() override { return nullptr; }
    CRecord* ContentsRecord() override { return contents.Root(); }
    LHandler* DialogOwner() override { return this; }
    LMessage HandleMessage(const LMessage& msg) override {
        if (!msg.Is(LHandler_Mode)) return LHandler::HandleMessage(msg);
        auto* frame = dynamic_cast<LFrame*>(msg.source);
        RunUntil([] { return false; }, 100);
        if (frame && frame->Window()) shots.push_back(Grab(frame));
        if (auto* m = dynamic_cast<CSimpleMessageDialog*>(msg.source)) {
            texts.push_back(std::string(m->fMessage.GetText().View()));
            Send(LStdCtl_Selected, &m->fCancelBtn, m);
        } else if (auto* r = dynamic_cast<CKvsRenDlg*>(msg.source)) {
            texts.push_back(std::string(r->Name().View()));
            Send(LStdCtl_Selected, &r->fCancel, r);
        }
        return LMessage();
    }
    static QImage Grab(LFrame* frame) {
        EXPECT_EQ(CutPanes(frame), "");
        EXPECT_EQ(RowFieldsAtEverySize(*frame, kLabels), "");
        return AsMWindow(frame->Window()->Native())->grab().toImage();
    }
    CReqQueue queue;
    CRecordDoc contents;
    std::vector<QImage> shots;
    std::vector<std::string> texts;
};

void Save(const QImage& image, const char* name) {
    EXPECT_TRUE(image.save(QStringLiteral(KEVO_BINARY_DIR "/files/") + name + ".png")) << name;
}

TEST(FilesOffscreen, FrameDialogsAndQuestions) {
    ControlEnv env("offscreen");
    static LResFile appFile(AppResFileRef());
    SetDefaultResChain(&appFile);
    RegisterAllRecordKinds();
    QDir().mkpath(KEVO_BINARY_DIR "/files");
    Link link;
    // Two names that differ only in a blank and an underscore, and one of
    // descenders, among the others.
    for (const char* n : {"take1.drc", "Caf\xC3\xA9 opening.drc", "finale.drc", "rehearsal 2.drc",
                          "B\xC3\xBChne 1.drc", "B\xC3\xBChne_1.drc", "Angry_jpgy.drc"})
        NodeListInsertSorted(link.ContentsRecord(), 0, n, "1000", "i");
    for (const char* n : {"song.wav", "intro.wav"})
        NodeListInsertSorted(link.ContentsRecord(), 1, n, "1000", "i");

    {
        CtlFrame win;
        CKvsFileFrm frm(&win, &win, &link);
        win.ShowWindow();
        frm.SetBounds(LRect(0, 0, 400, 300));
        frm.fMark0.SetState(LPane::kOpShow);
        frm.fList->SetSelection(LRgn(LRect(0, 1, 1, 2)));
        RunUntil([] { return false; }, 200);
        const QImage shot = Link::Grab(&win).convertToFormat(QImage::Format_RGB32);
        Save(shot, "fileframe_recordings");
        // Names whole: ink under each underscore, below the baseline within
        // its row; and nothing under the list's box.
        ASSERT_EQ(frm.fList->ItemName(2).View(), "B\xC3\xBChne_1.drc");
        LTextPane& text = static_cast<CKvsFileCell*>(frm.fList->GetProtoCell())->fName;
        LDrawCtx ctx;
        const u64 at = frm.fList->GetTopLeftIn(&win);
        const i32 rowH = frm.fList->CellHeight(), dy = shot.height() - 300;
        const i32 top = i32(LPane::UnpackY(at)) + dy;
        for (const auto& [row, before] : {std::pair{0, "Angry"}, {2, "B\xC3\xBChne"}}) {
            const i32 x = i32(LPane::UnpackX(at)) + text.Bounds().left + 2 +
                          LTextBox::MeasureText(LFont(2), before, u32(std::strlen(before)));
            i32 ink = 0;
            for (i32 y = top + row * rowH + text.Bounds().top + text.GetPrefHeight(&ctx, -10) + 1;
                 y < top + (row + 1) * rowH; ++y)
                ink += qGray(shot.pixel(x, y)) < 128;
            EXPECT_GT(ink, 0) << before << "_";
        }
        const u64 box = frm.fNavi->GetTopLeftIn(&win);
        const i32 below = i32(LPane::UnpackY(box)) + dy + frm.fNavi->Bounds().Height() + 2;
        for (i32 x = i32(LPane::UnpackX(box));
             x < i32(LPane::UnpackX(box)) + frm.fNavi->Bounds().Width(); ++x)
            ASSERT_EQ(shot.pixel(x, below), shot.pixel(2, below)) << x;
        LHandler::Send(LStdCtl_Selected, &frm.fTab1, &frm);
        EXPECT_EQ(frm.fList->Rows(), 2);
        frm.fMark0.SetState(LPane::kOpHide);
        frm.fMark1.SetState(LPane::kOpShow);
        RunUntil([] { return false; }, 200);
        Save(Link::Grab(&win), "fileframe_audio");
    }

    RenameDeviceFile(&link, &link.queue, link.ContentsRecord(), LString("Show.DRC"), 0);
    ASSERT_EQ(link.shots.size(), 1u);
    EXPECT_EQ(link.texts.back(), "Show");
    Save(link.shots.back(), "rename_dialog");

    {
        CSimpleProgressDialog progress(&link, LPaneOpt::Window(kWindowDialog, 0));
        progress.SetMsgChars(30);
        progress.SetMessage(
            LString((std::string(StdDialogText(kCopyUmsTexts, 4).View()) + ": a.drc 37%").c_str()));
        progress.fBar.SetMax(200);
        progress.fBar.SetValue(37);
        progress.ShowWindow();
        RunUntil([] { return false; }, 200);
        Save(Link::Grab(&progress), "copy_progress");
    }

    {
        CtlFrame win;
        CKvsFileDrop drop(&win, &link);
        drop.SetKind(0);
        drop.AddDropped(LString("/tmp/take1.wav"));
        drop.AddDropped(LString("/tmp/finale.drc"));
        RunUntil([&] { return link.shots.size() == 2; }, 3000);
        ASSERT_EQ(link.shots.size(), 2u);
        EXPECT_EQ(link.texts.back(),
                  std::string(StdDialogText("KVSFILEDROP", 2).View()) + "take1, finale");
        Save(link.shots.back(), "drop_question");
    }
}

}  // namespace
