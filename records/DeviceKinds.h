#pragma once
// Record kinds that mirror one device (settings, commands, state, status), the
// generic named-parameter records and the media and device lists.

#include "records/RecordKinds.h"

constexpr u32 kKindDvst = FourCC("DVST");
constexpr u32 kKindPrrc = FourCC("PRRC");
constexpr u32 kKindPrpc = FourCC("PRPC");
constexpr u32 kKindPrdr = FourCC("PRDR");
constexpr u32 kKindPrmc = FourCC("PRMC");
constexpr u32 kKindPrds = FourCC("PRDS");
constexpr u32 kKindDvcm = FourCC("DVCM");
constexpr u32 kKindDtcm = FourCC("DTCM");
constexpr u32 kKindDvss = FourCC("DVSS");
constexpr u32 kKindDtst = FourCC("DTST");
constexpr u32 kKindSsta = FourCC("SSTA");
constexpr u32 kKindDrcStat = FourCC("STAT");  // 'YDRC'
constexpr u32 kKindUnvs = FourCC("UNVS");     // 'YDRC'
constexpr u32 kKindPrms = FourCC("PRMS");     // 'YUND'
constexpr u32 kKindPram = FourCC("PRAM");     // 'YUND'
constexpr u32 kKindPrmt = FourCC("PRMT");     // 'YUND'
constexpr u32 kKindMdif = FourCC("MDIF");     // 'YKVT' media duration; 'YKVS' media file
constexpr u32 kKindMdis = FourCC("MDIS");     // 'YKVS'
constexpr u32 kKindKvss = FourCC("KVSS");     // 'YKVS'
constexpr u32 kKindDevc = FourCC("DEVC");     // 'YKVS'

// Field indexes, in schema order.
namespace DvstF {
enum : u8 {
    csad,
    csmk,
    rtra,
    dnsa,
    tmzn,
    admd,
    usdh,
    usuc,
    ntsl,
    fnmd,
    uicy,
    sddl,
    saco,
    ckrt,
    ntit,
    aidl,
    saus,
    bkup,
    buma,
    axad,
    axmk,
    uvas,
    prrc,
    prpc,
    prdr,
    prmc,
    prds,
    kCount
};
}
namespace PrrcF {
enum : u8 { rcct, anun, chrc, chpl, rcsb, kCount };
}
namespace PrpcF {
enum : u8 { mfct, anun, chmf, svmf, svbt, atbt, msmt, kCount };
}
namespace PrdrF {
enum : u8 { univ, usrc, uspl, kCount };
}
namespace PrmcF {
enum : u8 { ccst, rcsv, sndv, kCount };
}
namespace PrdsF {
enum : u8 { bsnd, brcv, kCount };
}
namespace DvcmF {
enum : u8 {
    srtc,
    plcl,
    plsn,
    sedm,
    sisc,
    rcct,
    rclc,
    rcpf,
    paus,
    plcr,
    psau,
    pcau,
    pltm,
    frfl,
    aptg,
    stps,
    kCount
};
}
namespace DtcmF {
enum : u8 { paus, plcr, kCount };
}
namespace DvssF {
enum : u8 {
    ntsy,
    crtc,
    crsn,
    sqid,
    sqtm,
    scen,
    insc,
    cras,
    autm,
    audr,
    msfd,
    bumt,
    cpmd,
    fdmt,
    mdcg,
    aptg,
    kCount
};
}
namespace DtstF {
enum : u8 { crsn, crtm, crdr, kCount };
}
namespace SstaF {
enum : u8 { stat, flrd, sqtm, sqtt, sqet, cflp, uvst, kCount };
}
namespace DrcStatF {
enum : u8 { unvs, rdrp, kCount };
}
namespace UnvsF {
enum : u8 { univ, host, hstx, stat, kCount };
}
namespace PrmsF {
enum : u8 { prms, kCount };
}
namespace PramF {
enum : u8 { key, value, prms, kCount };
}
// 2 to 6 are in memory only: the structural change in progress.
namespace PrmtF {
enum : u8 { cols, elms, editSerial, doneSerial, changeIndex, shownCols, inserting, kCount };
}
namespace MedInfoF {
enum : u8 { dura, kCount };
}  // namespace MedInfoF
namespace MdisF {
enum : u8 { sern, meds, kCount };
}  // namespace MdisF
namespace MdifF {
enum : u8 { kind, name, dura, stat, work1, work2, kCount };
}  // namespace MdifF
namespace KvssF {
enum : u8 { devs, prms, kCount };
}
namespace DevcF {
enum : u8 { field0, serial, address, notSeen, kCount };
}

// The 'YUND'/'PRAM' tags are one letter padded with blanks.
constexpr u32 kTagPramKey = FourCC("i   ");
constexpr u32 kTagPramValue = FourCC("v   ");

CRecord* NewDeviceSettingsRecord();
CRecord* NewDeviceCommandRecord();
CRecord* NewDeviceStateRecord();
CRecord* NewDeviceStatusRecord();
CRecord* NewDevStatRecord();
CRecord* NewMedInfoRecord();
CRecord* NewMediaList();
CRecord* NewParamNodeRecord();

// Sends an auxiliary-play trigger request "a b" through the command record, then
// empties the field silently so that the same request can go out again.
void SetCommandAuxTrigger(CRecord* command, u32 a, u32 b);
// Element `index` of the state's trigger array; -1 outside the array.
i32 DeviceStateGetTrigger(const CRecord* state, i32 index);

// The parameter-table behaviour is attached later by whoever implements it.
void SetParamTableHook(CRecordSchema::Hook hook);
