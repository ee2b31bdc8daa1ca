#pragma once
// The editors' stage on the headless fakes: a window under an undo queue, the
// sequence settings, a logging device, the clipboard and clipboard drags.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Resources.h"
#include "framework/CListDragDropHelper.h"
#include "framework/CNumVol.h"
#include "framework/CUndoQ.h"
#include "framework/InputState.h"
#include "framework/LMenu.h"
#include "framework/LFrame.h"
#include "records/NsqPrefKinds.h"
#include "records/RecScrap.h"
#include "records/ShowKinds.h"
#include "records/ShowOps.h"
#include "tests/editors/FakePlayDevice.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeDrag.h"
#include "tests/framework/FakeWindows.h"

// A menu command sent to a handler.
inline void SendCommand(LHandler* to, const char* cmd) {
    LMenuItem item(nullptr);
    item.SetCommand(cmd);
    LHandler::Send(LMenuItem_Selected, &item, to);
}

// A number typed into a field and fixed there.
inline void FixNum(CNumVol& field, f32 value) {
    field.SetValue(value);
    LHandler::Send(CNumVol_Fix, &field, field.Parent());
}

// The items of clipboard data offered as a drag or paste would offer them.
class ScrapSource : public CDropSource {
public:
    explicit ScrapSource(const LScrapData* data) : fData(data) {}
    bool FetchItem(const LScrapType& type, u32 index, std::vector<u8>* out) override {
        u32 n = 0;
        for (const LLink* l = fData ? fData->Items().Head() : nullptr; l && !l->IsEnd();
             l = l->Next()) {
            auto* it = static_cast<const LScrapItem*>(l);
            if (!(it->fTypeName == type.name)) continue;
            if (n++ == index) {
                out->assign(it->fData, it->fData + it->fSize);
                return true;
            }
        }
        return false;
    }
    bool HasType(const LScrapType& type) override {
        std::vector<u8> b;
        return FetchItem(type, 0, &b);
    }
    const LScrapData* fData;
};

struct SeqEditStage {
    SeqEditStage() {
        RegisterAllRecordKinds();
        RegisterPrefNodeKinds();
        static LResFile app(AppResFileRef());
        SetDefaultResChain(&app);
        LClipboard::MakeInstance(&fClip);
        fWin.SetBounds(LRect(0, 0, 400, 300));
        fWin.SetWindowBounds(LRect(100, 100, 500, 400));
        fWin.ShowWindow();
    }
    ~SeqEditStage() { LClipboard::MakeInstance(nullptr); }

    CRecord* Settings() { return fSeqDoc.Root(); }
    CRecord* AddSeq(u32 id, const char* name) {
        CRecord* s = NewKind(kFamKvt, kKindSqnc);
        s->SetU32(nullptr, SqncF::sqid, id);
        s->SetString(nullptr, SqncF::sqnm, LString(name));
        Settings()->InsertItem(nullptr, SqstF::sqcs, Settings()->GetListCount(SqstF::sqcs), s);
        return s;
    }
    CRecord* AddNsq(u32 id, const char* name) {
        CRecord* set = Settings()->GetChild(SqstF::nsqs);
        CRecord* s = NewKind(FourCC("YNST"), kKindSseq);
        s->SetU32(nullptr, SseqF::sqid, id);
        s->SetString(nullptr, SseqF::name, LString(name));
        set->InsertItem(nullptr, SsetF::seqs, set->GetListCount(SsetF::seqs), s);
        return s;
    }
    std::string Names(const CRecord* r, u8 list, u8 name) {
        std::string out;
        for (u32 i = 0; i < r->GetListCount(list); ++i)
            out += std::string(i ? "," : "") + r->GetListItem(list, i)->GetString(name).CStr();
        return out;
    }
    std::string Seqs() { return Names(Settings(), SqstF::sqcs, SqncF::sqnm); }
    LNativeWindow Native() { return fWin.Window()->Native(); }
    LPoint At(i32 x, i32 y) {
        const LRect c = fWin.Window()->GetContentScreenRect();
        return LPoint{c.left + x, c.top + y};
    }
    // A drag of the data from outside, moved over a point and dropped there.
    u32 DropFromOutside(const LScrapData* data, i32 x, i32 y, u32 mask = kDragCopy | kDragMove) {
        ScrapSource* src = new ScrapSource(data);
        LDrop* d = fDrag.DropOf(Native());
        u32 op = 0;
        if (d) {
            d->Move(At(x, y - 3), mask, false, src);
            d->Move(At(x, y), mask, false, src);
            op = d->Drop();
        }
        src->Release();
        return op;
    }

    // A drag that starts with a press on the list at y (list coordinates)
    // and is dropped at dropY; answers the drags run.
    u32 DragInList(LPane* list, CListDragDropHelper& helper, i32 y, i32 dropY) {
        const u32 before = fDrag.fDrags;
        fDrag.fBody = [this, dropY] { return DropFromOutside(fDrag.fStart.data, 50, dropY); };
        fMouse.fPos = At(50, y);
        LHandler::Send(LMouse_Click, &fMouse, list);
        fMouse.fCapture = list;
        fServices.Advance(333);
        LTimer::FireDue(fServices.fNow, nullptr, nullptr, true);
        if (helper.Dragger()) {
            fMouse.fPos = At(60, y + 8);
            LHandler::Send(LMouse_Move, &fMouse, helper.Dragger());
        }
        fMouse.fCapture = nullptr;
        fDrag.fBody = nullptr;
        return fDrag.fDrags - before;
    }

    FakeServices fServices;
    FakeWindows fWindows{fServices};
    FakeControls fControls;
    FakeDrag fDrag;
    LMouse fMouse;
    LClipboard fClip;
    CUndoQ fUndo{nullptr, 1u << 20};
    LFrame fWin{&fUndo, nullptr, LPaneOpt::Window(kWindowOrdinary, 0)};
    CRecordDoc fSeqDoc{NewSeqSettingsRecord()};
    FakePlayDevice fDevice;
};
