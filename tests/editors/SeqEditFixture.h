#pragma once
// The stage of the sequence and scene editors on the headless fakes: a window
// under an undo queue, the sequence settings, a device whose command writes are
// logged, the clipboard, and drags that carry clipboard data.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/Resources.h"
#include "editors/DeviceHooks.h"
#include "framework/CUndoQ.h"
#include "framework/InputState.h"
#include "framework/LFrame.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"
#include "records/RecScrap.h"
#include "records/RecordKinds.h"
#include "records/ShowKinds.h"
#include "records/ShowOps.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeDrag.h"
#include "tests/framework/FakeWindows.h"

inline CRecord* NewKind(u32 family, u32 kind) {
    return CRecord::New(CRecordSchema::Find(family, kind));
}

// The items of clipboard data offered as a drag or paste would offer them.
class ScrapSource : public CDropSource {
public:
    explicit ScrapSource(const LScrapData* data) : fData(data) {}
    bool FetchItem(const LScrapType& type, u32 index, std::vector<u8>* out) override {
        u32 n = 0;
        for (const LLink* l = fData ? fData->Items().Head() : nullptr; l && !l->IsEnd(); l = l->Next()) {
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

// The records a device answers with; the command writes are logged as
// "field=value" the moment the setter makes them.
class FakePlayDevice : public MPlayDevice {
public:
    FakePlayDevice()
        : fCmd(NewKind(kFamKvt, kKindDvcm)),
          fState(NewKind(kFamKvt, kKindDvss)),
          fContents(NewDeviceContentsRecord()) {
        fCmd.AddListener(this, OnCmd);
    }
    ~FakePlayDevice() override { fCmd.RemoveListener(this, OnCmd); }
    u32 DeviceSerial() const override { return 1; }
    CRecordDoc* SettingsDoc() override { return nullptr; }
    CRecordDoc* CommandDoc() override { return &fCmd; }
    CRecordDoc* ContentsDoc() override { return &fContents; }
    CRecordDoc* StateDoc() override { return &fState; }
    CRecordDoc* SeqStatDoc() override { return nullptr; }
    CReqQueue& FileRequests() override { std::abort(); }
    CReqQueue& ChannelRequests() override { std::abort(); }
    CDevRequestQueue& SeqStatusChannel() override { std::abort(); }
    CRecord* MediaIndex() override { return nullptr; }
    MDevObjLink* ObjLink() override { return nullptr; }
    bool RunDeviceSyncDialog(LHandler*) override { return false; }

    static void OnCmd(void* self, CRecordNote* n) {
        if (n->kind != CRecordNote::kChanged) return;
        const CRecord* r = n->record;
        std::string v = r->Desc(n->field).type == kRecString
                            ? std::string(r->GetString(n->field).CStr())
                            : std::to_string(r->GetI32(n->field));
        static_cast<FakePlayDevice*>(self)->fLog.push_back(
            (n->field == DvcmF::plsn ? "plsn=" : n->field == DvcmF::pltm ? "pltm=" : "?=") + v);
    }
    CRecordDoc fCmd;
    CRecordDoc fState;
    CRecordDoc fContents;
    std::vector<std::string> fLog;
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
