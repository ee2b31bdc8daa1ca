#include "records/DeviceKinds.h"

#include <iterator>
#include <string>

#include "base/TextFormat.h"
#include "records/OneShotFields.h"
#include "records/ShowKinds.h"

namespace {

using namespace RecField;

constexpr RecFieldDesc kPrrc[] = {
    U8(FourCC("rcct")),  U32(FourCC("anun")), U32(FourCC("chrc")),
    U32(FourCC("chpl")), U8(FourCC("rcsb")),
};
constexpr RecFieldDesc kPrpc[] = {
    U8(FourCC("mfct")), U32(FourCC("anun")), U32(FourCC("chmf"), 1), U8(FourCC("svmf")),
    U8(FourCC("svbt")), U8(FourCC("atbt")),  U8(FourCC("msmt")),
};
constexpr RecFieldDesc kPrdr[] = {
    U32(FourCC("univ")),
    U8(FourCC("usrc")),
    U8(FourCC("uspl")),
};
constexpr RecFieldDesc kPrmc[] = {
    U32(FourCC("ccst"), 20),
    U8(FourCC("rcsv")),
    Child(FourCC("sndv"), kFamUnd, kKindPrms),
};
constexpr RecFieldDesc kPrds[] = {
    U8(FourCC("bsnd")),
    U8(FourCC("brcv")),
};
constexpr RecFieldDesc kDvst[] = {
    U32(FourCC("csad")),
    U32(FourCC("csmk")),
    U32(FourCC("rtra")),
    U32(FourCC("dnsa")),
    I32(FourCC("tmzn")),
    U8(FourCC("admd")),
    U8(FourCC("usdh")),
    U8(FourCC("usuc")),
    Str(FourCC("ntsl")),
    U8(FourCC("fnmd")),
    U32(FourCC("uicy")),
    U8(FourCC("sddl")),
    U8(FourCC("saco")),
    F32(FourCC("ckrt"), 0.0f, 7),
    U8(FourCC("ntit"), 24),
    U32(FourCC("aidl"), 100),
    U32(FourCC("saus"), 10),
    U8(FourCC("bkup")),
    U32(FourCC("buma")),
    U32(FourCC("axad")),
    U32(FourCC("axmk")),
    Child(FourCC("uvas"), kFamKvt, kKindUvas),
    Child(FourCC("prrc"), kFamKvt, kKindPrrc),
    Child(FourCC("prpc"), kFamKvt, kKindPrpc),
    Child(FourCC("prdr"), kFamKvt, kKindPrdr),
    Child(FourCC("prmc"), kFamKvt, kKindPrmc),
    Child(FourCC("prds"), kFamKvt, kKindPrds),
};
constexpr RecFieldDesc kDvcm[] = {
    Str(FourCC("srtc")),     Str(FourCC("plcl")), Str(FourCC("plsn")),     I32(FourCC("sedm"), -1),
    I32(FourCC("sisc"), -1), I32(FourCC("rcct")), I32(FourCC("rclc"), -1), Str(FourCC("rcpf")),
    I32(FourCC("paus"), -1), U8(FourCC("plcr")),  I32(FourCC("psau"), -1), U8(FourCC("pcau")),
    I32(FourCC("pltm"), -1), U8(FourCC("frfl")),  Str(FourCC("aptg")),     U8(FourCC("stps")),
};
constexpr RecFieldDesc kDtcm[] = {
    I32(FourCC("paus"), -1),
    U8(FourCC("plcr")),
};
constexpr RecFieldDesc kDvss[] = {
    U8(FourCC("ntsy")),       Str(FourCC("crtc")),
    Str(FourCC("crsn")),      U32(FourCC("sqid")),
    I32(FourCC("sqtm")),      U32(FourCC("scen"), 0xFFFFFFFFu),
    U8(FourCC("insc")),       Str(FourCC("cras")),
    U32(FourCC("autm")),      U32(FourCC("audr")),
    U32(FourCC("msfd"), 256), U8(FourCC("bumt")),
    U8(FourCC("cpmd")),       U8(FourCC("fdmt")),
    U8(FourCC("mdcg")),       Array(FourCC("aptg"), kRecI32),
};
constexpr RecFieldDesc kDtst[] = {
    Str(FourCC("crsn")),
    U32(FourCC("crtm")),
    U32(FourCC("crdr")),
};
constexpr RecFieldDesc kUnvs[] = {
    U32(FourCC("univ")),
    U32(FourCC("host")),
    U8(FourCC("hstx")),
    Array(FourCC("stat"), kRecU8),
};
constexpr RecFieldDesc kDrcStat[] = {
    List(FourCC("unvs"), kFamDrc, kKindUnvs),
    U8(FourCC("rdrp")),
};
constexpr RecFieldDesc kSsta[] = {
    U8(FourCC("stat")),
    U8(FourCC("flrd")),
    I32(FourCC("sqtm")),
    I32(FourCC("sqtt")),
    I32(FourCC("sqet")),
    Str(FourCC("cflp")),
    Child(FourCC("uvst"), kFamDrc, kKindDrcStat),
};
constexpr RecFieldDesc kPram[] = {
    Str(kTagPramKey, "", kRecTransient),
    Str(kTagPramValue),
    Child(FourCC("prms"), kFamUnd, kKindPrms, kRecTransient | kRecOptional),
};
constexpr RecFieldDesc kPrms[] = {
    List(FourCC("prms"), kFamUnd, kKindPram),
};
constexpr RecFieldDesc kPrmt[] = {
    U32(FourCC("cols")),
    List(FourCC("elms"), kFamUnd, kKindPrms),
    U32(0),
    U32(0),
    U32(0, 0, kRecTransient),
    U32(0),
    U8(0, 0, kRecTransient),
};
constexpr RecFieldDesc kMedInfo[] = {
    U32(FourCC("dura")),
};
constexpr RecFieldDesc kMdif[] = {
    U8(FourCC("kind")), Str(FourCC("name")),     U32(FourCC("dura")),
    U8(FourCC("stat")), U8(0, 0, kRecTransient), Str(0, "", kRecTransient),
};
constexpr RecFieldDesc kMdis[] = {
    U32(FourCC("sern")),
    List(FourCC("meds"), kFamKvs, kKindMdif),
};
constexpr RecFieldDesc kDevc[] = {
    U32(0),
    U32(0),
    U32(0),
    U8(0, 0, kRecTransient),
};
constexpr RecFieldDesc kKvss[] = {
    List(0, kFamKvs, kKindDevc),
    Child(0, kFamUnd, kKindPrms),
};

#define KIND(name, family, kind, table)            \
    CRecordSchema name {                           \
        family, kind, u32(std::size(table)), table \
    }

// Members register in declaration order when the object is built.
struct DeviceSchemas {
    KIND(prrc, kFamKvt, kKindPrrc, kPrrc);
    KIND(prpc, kFamKvt, kKindPrpc, kPrpc);
    KIND(prdr, kFamKvt, kKindPrdr, kPrdr);
    KIND(prmc, kFamKvt, kKindPrmc, kPrmc);
    KIND(prds, kFamKvt, kKindPrds, kPrds);
    KIND(dvst, kFamKvt, kKindDvst, kDvst);
    KIND(dvcm, kFamKvt, kKindDvcm, kDvcm);
    KIND(dtcm, kFamKvt, kKindDtcm, kDtcm);
    KIND(dvss, kFamKvt, kKindDvss, kDvss);
    KIND(dtst, kFamKvt, kKindDtst, kDtst);
    KIND(unvs, kFamDrc, kKindUnvs, kUnvs);
    KIND(drcStat, kFamDrc, kKindDrcStat, kDrcStat);
    KIND(ssta, kFamKvt, kKindSsta, kSsta);
    KIND(pram, kFamUnd, kKindPram, kPram);
    KIND(prms, kFamUnd, kKindPrms, kPrms);
    KIND(prmt, kFamUnd, kKindPrmt, kPrmt);
    KIND(medInfo, kFamKvt, kKindMdif, kMedInfo);
    KIND(mdif, kFamKvs, kKindMdif, kMdif);
    KIND(mdis, kFamKvs, kKindMdis, kMdis);
    KIND(devc, kFamKvs, kKindDevc, kDevc);
    KIND(kvss, kFamKvs, kKindKvss, kKvss);
};

#undef KIND

DeviceSchemas& Schemas() {
    static DeviceSchemas s;
    return s;
}

[[maybe_unused]] const bool sRegistered = (RegisterAllRecordKinds(), true);

}  // namespace

void RegisterDeviceKinds() {
    (void)Schemas();
}

CRecord* NewDeviceSettingsRecord() {
    return CRecord::New(&Schemas().dvst);
}
CRecord* NewDeviceCommandRecord() {
    return CRecord::New(&Schemas().dvcm);
}
CRecord* NewDeviceStateRecord() {
    return CRecord::New(&Schemas().dvss);
}
CRecord* NewDeviceStatusRecord() {
    return CRecord::New(&Schemas().ssta);
}
CRecord* NewDevStatRecord() {
    return CRecord::New(&Schemas().drcStat);
}
CRecord* NewMedInfoRecord() {
    return CRecord::New(&Schemas().medInfo);
}
CRecord* NewMediaList() {
    return CRecord::New(&Schemas().mdis);
}
CRecord* NewParamNodeRecord() {
    return CRecord::New(&Schemas().prms);
}

void SetCommandAuxTrigger(CRecord* command, u32 a, u32 b) {
    if (!command || command->Schema()->Family() != kFamKvt || command->Kind() != kKindDvcm) return;
    LString text;
    ULongToStr(&text, a);
    LString second;
    ULongToStr(&second, b);
    std::string joined = text.CStr();
    joined += ' ';
    joined += second.CStr();
    SetCommandOneShotText(command, DvcmF::aptg, LString(std::string_view(joined)));
}

i32 DeviceStateGetTrigger(const CRecord* state, i32 index) {
    if (!state || state->Schema()->Family() != kFamKvt || state->Kind() != kKindDvss) return -1;
    if (index < 0 || u32(index) >= state->GetArrayCount(DvssF::aptg)) return -1;
    return static_cast<const i32*>(state->GetArrayData(DvssF::aptg))[index];
}

void SetParamTableHook(CRecordSchema::Hook hook) {
    CRecordSchema& s = Schemas().prmt;
    CRecordSchema::Register(&s, kFamUnd, kKindPrmt, u32(std::size(kPrmt)), kPrmt, hook);
}
