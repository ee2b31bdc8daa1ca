#pragma once
// NSQ show data, the device-screen layout, schedules and the preference records.

#include "records/CRecordDoc.h"
#include "records/RecordKinds.h"

constexpr u32 kKindSset = FourCC("SSET");
constexpr u32 kKindSseq = FourCC("SSEQ");
constexpr u32 kKindStrk = FourCC("STRK");
constexpr u32 kKindSscn = FourCC("SSCN");
constexpr u32 kKindPseq = FourCC("PSEQ");
constexpr u32 kKindPdmx = FourCC("PDMX");
constexpr u32 kKindPaud = FourCC("PAUD");
constexpr u32 kKindPvid = FourCC("PVID");
constexpr u32 kKindNsqStat = FourCC("STAT");  // 'YNST'
constexpr u32 kKindEdts = FourCC("EDTS");
constexpr u32 kKindSlnt = FourCC("SLNT");
constexpr u32 kKindKvui = FourCC("KVUI");
constexpr u32 kKindUfrm = FourCC("UFRM");
constexpr u32 kKindUbtn = FourCC("UBTN");
constexpr u32 kKindUfns = FourCC("UFNS");
constexpr u32 kKindUfnt = FourCC("UFNT");
constexpr u32 kKindSchd = FourCC("SCHD");
constexpr u32 kKindScev = FourCC("SCEV");
constexpr u32 kKindScep = FourCC("SCEP");
constexpr u32 kKindPref = FourCC("PREF");  // 'YKVS' and 'YDMX'
constexpr u32 kKindPrdc = FourCC("PRDC");
constexpr u32 kKindPrdv = FourCC("PRDV");
constexpr u32 kKindPrct = FourCC("PRCT");
constexpr u32 kKindPfmn = FourCC("PFMN");

// Field indexes, in schema order.
namespace SsetF {
enum : u8 { seqs, kCount };
}
namespace SseqF {
enum : u8 { sqid, name, loop, trks, kCount };
}
namespace StrkF {
enum : u8 { name, scns, kCount };
}
namespace SscnF {
enum : u8 { time, prms, kCount };
}
namespace PseqF {
enum : u8 { sqid, kCount };
}
// 'PDMX'; 'PAUD' and 'PVID' are the same without `rate`.
namespace PdmxF {
enum : u8 { file, rngf, rngt, loop, fdtm, volm, rate, kCount };
}
namespace NsqStatF {
enum : u8 { time, sqid, kCount };
}
namespace EdtsF {
enum : u8 { tmsc, vwtm, grid, kCount };
}
namespace SlntF {
enum : u8 { field0, field1, field2, kCount };
}
namespace KvuiF {
enum : u8 { panl, fnts, kCount };
}
namespace UfrmF {
enum : u8 { plac, pans, kCount };
}
namespace UbtnF {
enum : u8 { titl, fnid, plac, prms, kCount };
}
namespace UfnsF {
enum : u8 { fnts, kCount };
}
namespace UfntF {
enum : u8 { acnt, ucps, finf, gimg, kCount };
}
namespace SchdF {
enum : u8 { flts, kCount };
}
namespace ScevF {
enum : u8 { name, fcpy, fcpm, fcpd, fcpw, fcph, fcpn, fcps, prds, axud, kCount };
}
namespace ScepF {
enum : u8 { rang, strt, endp, kCount };
}
namespace PrefF {
enum : u8 {
    lstf,
    dldr,
    plst,
    ntif,
    mnck,
    snmn,
    mnpl,
    usnm,
    docs,
    devc,
    ctlr,
    blko,
    dtst,
    misc,
    vwpf,
    mnky,
    mdis,
    work,
    kCount
};
}
namespace PrdcF {
enum : u8 { lsto, fspc, wplc, work, kCount };
}
namespace PrdvF {
enum : u8 { iaal, iasn, wplc, kCount };
}
namespace PrctF {
enum : u8 { prms, kCount };
}
namespace DmxPrefF {
enum : u8 { mntr, kCount };
}
namespace PfmnF {
enum : u8 { vsvl0, vsvl1, kCount };
}

CRecord* NSqNewScene();
CRecord* NSqNewTrack();
CRecord* NSqNewSeq();
CRecord* NewNsqStatRecord();
CRecord* NewUiLayoutRecord();

// The DMX-monitor preferences: one document for the whole process.
class CKvsMonPrefRec : public CRecordDoc {
public:
    // Made once by the application object; later calls answer the same one.
    static CKvsMonPrefRec* Create();
    static CKvsMonPrefRec* Get() { return sInstance; }
    // For the end of the process (and tests).
    static void Dispose();

private:
    CKvsMonPrefRec();
    static CKvsMonPrefRec* sInstance;
};
