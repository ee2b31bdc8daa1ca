#pragma once
// Show-data record kinds: sequence settings, play settings and their children,
// join and merge parameters and the universe address list.

#include "records/RecordKinds.h"

constexpr u32 kKindSqst = FourCC("SQST");
constexpr u32 kKindSqnc = FourCC("SQNC");
constexpr u32 kKindScen = FourCC("SCEN");
constexpr u32 kKindSnct = FourCC("SNCT");
constexpr u32 kKindSntg = FourCC("SNTG");
constexpr u32 kKindScex = FourCC("SCEX");
constexpr u32 kKindApls = FourCC("APLS");
constexpr u32 kKindAply = FourCC("APLY");
constexpr u32 kKindAptg = FourCC("APTG");
constexpr u32 kKindPlys = FourCC("PLYS");
constexpr u32 kKindPlat = FourCC("PLAT");
constexpr u32 kKindPlrw = FourCC("PLRW");
constexpr u32 kKindPlcl = FourCC("PLCL");
constexpr u32 kKindBtly = FourCC("BTLY");
constexpr u32 kKindJnpr = FourCC("JNPR");
constexpr u32 kKindMgpr = FourCC("MGPR");
constexpr u32 kKindMgsc = FourCC("MGSC");
constexpr u32 kKindUvas = FourCC("UVAS");
constexpr u32 kKindUvad = FourCC("UVAD");

// Field indexes, in schema order.
namespace SqstF {
enum : u8 { ussc, ustc, tgmk, extg, sqfm, dmct, dfsq, sqcs, schd, sntg, axps, nsqs, kCount };
}
namespace SqncF {
enum : u8 { sqid, sqnm, rept, scns, auss, ctau, kCount };
}
namespace ScenF {
enum : u8 { sntm, snnm, ctdr, ctau, kCount };
}
namespace SnctF {
enum : u8 { flnm, sttm, entm, lpmd, fdtm, volm, rate, kCount };
}
namespace SntgF {
enum : u8 { tgmd, anuv, bsch, mdch, mdct, mdnt, sgch, kCount };
}
namespace ScexF {
enum : u8 { sqid, tmdr, syof, symd, kCount };
}
namespace AplsF {
enum : u8 { plys, kCount };
}
namespace AplyF {
enum : u8 { name, trgs, kCount };
}
namespace AptgF {
enum : u8 { name, sqid, valu, sntg, kCount };
}
namespace PlysF {
enum : u8 { btrs, btcs, vsst, pwdw, vsmf, bgmq, vsbl, plat, rows, blys, uifs, kCount };
}
namespace PlatF {
enum : u8 { staf, sqid, rtsc, scnd, kCount };
}
namespace PlrwF {
enum : u8 { cels, kCount };
}
namespace PlclF {
enum : u8 { sqid, bttl, syof, symd, scnd, kCount };
}
namespace BtlyF {
enum : u8 { name, btrs, btcs, rows, uifs, kCount };
}
namespace JnprF {
enum : u8 { sqid, snst, snls, kCount };
}
namespace MgprF {
enum : u8 { srcs, kCount };
}
namespace MgscF {
enum : u8 { flnm, sttm, entm, volm, rate, kCount };
}
namespace UvasF {
enum : u8 { uvas, kCount };
}
namespace UvadF {
enum : u8 { univ, flws, ipad, kCount };
}

CRecord* NewSeqSettingsRecord();
CRecord* NewSceneRecord();
CRecord* NewPlaySetRecord();
CRecord* NewMergeSourceRecord();
CRecord* NewMergeParamRecord();
CRecord* NewJoinParamRecord();
