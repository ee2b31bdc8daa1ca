#include "records/NsqPrefKinds.h"

#include <iterator>

#include "records/DeviceKinds.h"
#include "records/ShowKinds.h"

namespace {

using namespace RecField;

constexpr RecFieldDesc kSset[] = {
    List(FourCC("seqs"), kFamNsq, kKindSseq),
};
constexpr RecFieldDesc kSseq[] = {
    U32(FourCC("sqid"), 0, kRecTransient),
    Str(FourCC("name")),
    U8(FourCC("loop")),
    List(FourCC("trks"), kFamNsq, kKindStrk),
};
constexpr RecFieldDesc kStrk[] = {
    Str(FourCC("name")),
    List(FourCC("scns"), kFamNsq, kKindSscn),
};
constexpr RecFieldDesc kSscn[] = {
    U32(FourCC("time")),
    Child(FourCC("prms"), kFamNsq, 0, kRecUntyped | kRecOptional),
};
constexpr RecFieldDesc kPseq[] = {
    U32(FourCC("sqid")),
};
constexpr RecFieldDesc kPdmx[] = {
    Str(FourCC("file")), U32(FourCC("rngf")),      U32(FourCC("rngt")),          U8(FourCC("loop")),
    U32(FourCC("fdtm")), U32(FourCC("volm"), 256), F32(FourCC("rate"), 1.0f, 5),
};
constexpr RecFieldDesc kPaud[] = {
    Str(FourCC("file")), U32(FourCC("rngf")), U32(FourCC("rngt")),
    U8(FourCC("loop")),  U32(FourCC("fdtm")), U32(FourCC("volm"), 256),
};
constexpr RecFieldDesc kPvid[] = {
    Str(FourCC("file")), U32(FourCC("rngf")), U32(FourCC("rngt")),
    U8(FourCC("loop")),  U32(FourCC("fdtm")), U32(FourCC("volm"), 256),
};
constexpr RecFieldDesc kNsqStat[] = {
    U32(FourCC("time")),
    U32(FourCC("sqid")),
};
constexpr RecFieldDesc kEdts[] = {
    F32(FourCC("tmsc"), 1.0f, 2),
    F32(FourCC("vwtm"), 0.0f, 2),
    F32(FourCC("grid"), 1.0f, 2),
};
constexpr RecFieldDesc kSlnt[] = {
    U8(0),
    U32(0, 0, kRecTransient),
    U32(0, 0, kRecTransient),
};

constexpr RecFieldDesc kKvui[] = {
    Child(FourCC("panl"), kFamKvt, kKindUfrm),
    Child(FourCC("fnts"), kFamKvt, kKindUfns),
};
constexpr RecFieldDesc kUfrm[] = {
    Array(FourCC("plac"), kRecI32),
    List(FourCC("pans"), kFamKvt, kKindUfrm, kRecUntyped),
};
constexpr RecFieldDesc kUbtn[] = {
    Str(FourCC("titl")),
    U8(FourCC("fnid")),
    Array(FourCC("plac"), kRecI32),
    Child(FourCC("prms"), kFamUnd, kKindPrms),
};
constexpr RecFieldDesc kUfns[] = {
    List(FourCC("fnts"), kFamKvt, kKindUfnt),
};
constexpr RecFieldDesc kUfnt[] = {
    U32(FourCC("acnt")),
    Array(FourCC("ucps"), kRecU32),
    Array(FourCC("finf"), kRecU8),
    Array(FourCC("gimg"), kRecU8),
};

constexpr RecFieldDesc kSchd[] = {
    List(FourCC("flts"), kFamKvt, kKindScev),
};
constexpr RecFieldDesc kScev[] = {
    Str(FourCC("name")),
    Str(FourCC("fcpy")),
    Str(FourCC("fcpm")),
    Str(FourCC("fcpd")),
    Str(FourCC("fcpw")),
    Str(FourCC("fcph")),
    Str(FourCC("fcpn")),
    Str(FourCC("fcps")),
    List(FourCC("prds"), kFamKvt, kKindScep),
    // The kind is whatever the event runs; a new event gets an execution record.
    Child(FourCC("axud"), 0, 0, kRecUntyped | kRecOptional),
};
constexpr RecFieldDesc kScep[] = {
    U8(FourCC("rang")),
    Array(FourCC("strt"), kRecU32),
    Array(FourCC("endp"), kRecU32),
};

constexpr RecFieldDesc kPref[] = {
    Str(FourCC("lstf")),
    Str(FourCC("dldr")),
    Str(FourCC("plst")),
    Str(FourCC("ntif")),
    Str(FourCC("mnck")),
    U8(FourCC("snmn")),
    Array(FourCC("mnpl"), kRecI32, 0, kRecTransient),
    U8(FourCC("usnm")),
    List(FourCC("docs"), kFamKvs, kKindPrdc, kRecTransient),
    Child(FourCC("devc"), kFamKvs, kKindPrdv, kRecTransient),
    Child(FourCC("ctlr"), kFamKvs, kKindPrct, kRecTransient),
    Child(FourCC("blko"), kFamUnd, kKindPrms, kRecTransient),
    Child(FourCC("dtst"), kFamUnd, kKindPrms, kRecTransient),
    Child(FourCC("misc"), kFamUnd, kKindPrms, kRecTransient),
    Child(FourCC("vwpf"), kFamUnd, kKindPrms, kRecTransient),
    Child(FourCC("mnky"), kFamUnd, kKindPrmt, kRecTransient),
    List(FourCC("mdis"), kFamKvs, kKindMdis),
    U32(0),
};
constexpr RecFieldDesc kPrdc[] = {
    U8(FourCC("lsto"), 0, kRecTransient),
    Str(FourCC("fspc")),
    Array(FourCC("wplc"), kRecI32, 0, kRecTransient),
    U8(0, 0, kRecTransient),
};
constexpr RecFieldDesc kPrdv[] = {
    U8(FourCC("iaal"), 0, kRecTransient),
    U32(FourCC("iasn"), 1000, kRecTransient),
    Array(FourCC("wplc"), kRecI32, 0, kRecTransient),
};
constexpr RecFieldDesc kPrct[] = {
    Child(FourCC("prms"), kFamUnd, kKindPrms, kRecTransient),
};
constexpr RecFieldDesc kDmxPref[] = {
    Child(FourCC("mntr"), kFamDmx, kKindPfmn),
};
// Both fields carry the same tag: forms keyed by tag see one value.
constexpr RecFieldDesc kPfmn[] = {
    U8(FourCC("vsvl"), 1),
    U8(FourCC("vsvl"), 1),
};

// Gives a sequence about to join the set an id that is not 0 and not taken.
i32 SeqSetHook(u32 op, void* argument) {
    if (op != CRecordSchema::kHookNotice) return 0;
    CRecordNote* note = static_cast<CRecordNote*>(argument);
    if (note->kind != CRecordNote::kWillInsert) return 0;
    CRecord* seq = note->record;
    CRecord* set = seq ? seq->Parent() : nullptr;
    if (!set || seq->Family() != kFamNsq || seq->Kind() != kKindSseq) return 0;
    if (set->Family() != kFamNsq || set->Kind() != kKindSset) return 0;
    const u32 count = set->GetListCount(SsetF::seqs);
    auto taken = [&](u32 id) {
        for (u32 i = 0; i < count; ++i) {
            const CRecord* other = set->GetListItem(SsetF::seqs, i);
            if (other && other != seq && other->GetU32(SseqF::sqid) == id) return true;
        }
        return false;
    };
    u32 id = seq->GetU32(SseqF::sqid);
    // At most count + 1 steps: the set holds only count ids.
    while (id == 0 || taken(id)) ++id;
    if (id != seq->GetU32(SseqF::sqid)) seq->SetU32(nullptr, SseqF::sqid, id);
    return 0;
}

#define KIND(name, family, kind, table)            \
    CRecordSchema name {                           \
        family, kind, u32(std::size(table)), table \
    }

// Members register in declaration order when the object is built.
struct NsqPrefSchemas {
    CRecordSchema sset{kFamNsq, kKindSset, u32(std::size(kSset)), kSset, SeqSetHook};
    KIND(sseq, kFamNsq, kKindSseq, kSseq);
    KIND(strk, kFamNsq, kKindStrk, kStrk);
    KIND(sscn, kFamNsq, kKindSscn, kSscn);
    KIND(pseq, kFamNsq, kKindPseq, kPseq);
    KIND(pdmx, kFamNsq, kKindPdmx, kPdmx);
    KIND(paud, kFamNsq, kKindPaud, kPaud);
    KIND(pvid, kFamNsq, kKindPvid, kPvid);
    KIND(nsqStat, kFamNsq, kKindNsqStat, kNsqStat);
    KIND(edts, kFamNsq, kKindEdts, kEdts);
    KIND(slnt, kFamNsq, kKindSlnt, kSlnt);
    KIND(kvui, kFamKvt, kKindKvui, kKvui);
    KIND(ufrm, kFamKvt, kKindUfrm, kUfrm);
    KIND(ubtn, kFamKvt, kKindUbtn, kUbtn);
    KIND(ufns, kFamKvt, kKindUfns, kUfns);
    KIND(ufnt, kFamKvt, kKindUfnt, kUfnt);
    KIND(schd, kFamKvt, kKindSchd, kSchd);
    KIND(scev, kFamKvt, kKindScev, kScev);
    KIND(scep, kFamKvt, kKindScep, kScep);
    KIND(pref, kFamKvs, kKindPref, kPref);
    KIND(prdc, kFamKvs, kKindPrdc, kPrdc);
    KIND(prdv, kFamKvs, kKindPrdv, kPrdv);
    KIND(prct, kFamKvs, kKindPrct, kPrct);
    KIND(dmxPref, kFamDmx, kKindPref, kDmxPref);
    KIND(pfmn, kFamDmx, kKindPfmn, kPfmn);
};

#undef KIND

NsqPrefSchemas& Schemas() {
    static NsqPrefSchemas s;
    return s;
}

[[maybe_unused]] const bool sRegistered = (RegisterAllRecordKinds(), true);

}  // namespace

void RegisterNsqPrefKinds() {
    (void)Schemas();
}

CRecord* NSqNewScene() {
    return CRecord::New(&Schemas().sscn);
}
CRecord* NSqNewTrack() {
    return CRecord::New(&Schemas().strk);
}
CRecord* NSqNewSeq() {
    return CRecord::New(&Schemas().sseq);
}
CRecord* NewNsqStatRecord() {
    return CRecord::New(&Schemas().nsqStat);
}
CRecord* NewUiLayoutRecord() {
    return CRecord::New(&Schemas().kvui);
}

CKvsMonPrefRec* CKvsMonPrefRec::sInstance = nullptr;

CKvsMonPrefRec::CKvsMonPrefRec() : CRecordDoc(CRecord::New(&Schemas().dmxPref)) {}

CKvsMonPrefRec* CKvsMonPrefRec::Create() {
    if (!sInstance) sInstance = new CKvsMonPrefRec();
    return sInstance;
}

void CKvsMonPrefRec::Dispose() {
    delete sInstance;
    sInstance = nullptr;
}
