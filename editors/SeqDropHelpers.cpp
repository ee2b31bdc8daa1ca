#include "editors/SeqDropHelpers.h"

#include "base/Paths.h"
#include "framework/LDropPane.h"
#include "records/CRecord.h"
#include "records/RecScrap.h"
#include "records/ScrapTypeNames.h"

namespace {

bool Offers(CDropSource* source, const char* type) {
    return source && source->HasType(ScrapTypeOf(type));
}

}  // namespace

u32 ClassifySeqDrop(const LMessage& msg, LDropPane* pane) {
    if (!pane) return kSeqDropNone;
    if (msg.Is(LDropPane_Enter)) {
        CDropSource* source = pane->Drag() ? pane->Drag()->Source() : nullptr;
        if (Offers(source, kScrapSequence) || Offers(source, kScrapNsqSeq) ||
            Offers(source, kScrapDrcFileName)) {
            pane->SetDropOperation(3);
            return kSeqDropEntered;
        }
        return kSeqDropNone;
    }
    if (msg.Is(LDropPane_Drop)) {
        pane->SetDropOperation(3);
        return kSeqDropDropped;
    }
    return kSeqDropNone;
}

u32 ReadDroppedSequenceId(CDropSource* source) {
    for (const char* type : {kScrapSequence, kScrapNsqSeq}) {
        if (!Offers(source, type)) continue;
        CRecScrapReader reader(source, ScrapTypeOf(type));
        CRecord* r = reader.ReadRecord();
        if (!r) return 0;
        const u32 id = r->FieldCount() > 0 && r->Desc(0).type == kRecU32 ? r->GetU32(0) : 0;
        CRecord::Destroy(r);
        return id;
    }
    return 0;
}

bool DragHasFileNames(CDropSource* source) {
    return Offers(source, kScrapDrcFileName);
}

void ReadDroppedFileNames(CDropSource* source, CStrArray* names) {
    if (!source || !names) return;
    CDropDataReader reader(source);
    const LScrapType type = ScrapTypeOf(kScrapDrcFileName);
    for (u32 i = 0;; ++i) {
        const void* data = nullptr;
        u32 size = 0;
        if (!reader.GetData(type, i, &data, &size)) break;
        const char* text = static_cast<const char*>(data);
        if (!IsDeviceFileName(text, size)) continue;
        names->InsertAt(names->Count(), LString(text, size));
    }
}
