#include "records/ShowKinds.h"

#include <iterator>

namespace {

using namespace RecField;

constexpr RecFieldDesc kSnct[] = {
    Str(FourCC("flnm")), I32(FourCC("sttm")),      I32(FourCC("entm")),          U8(FourCC("lpmd")),
    U32(FourCC("fdtm")), U32(FourCC("volm"), 256), F32(FourCC("rate"), 1.0f, 5),
};
constexpr RecFieldDesc kScen[] = {
    I32(FourCC("sntm")),
    Str(FourCC("snnm")),
    Child(FourCC("ctdr"), kFamKvt, kKindSnct),
    Child(FourCC("ctau"), kFamKvt, kKindSnct),
};
constexpr RecFieldDesc kSqnc[] = {
    U32(FourCC("sqid")),
    Str(FourCC("sqnm")),
    U8(FourCC("rept")),
    List(FourCC("scns"), kFamKvt, kKindScen),
    List(FourCC("auss"), kFamKvt, kKindScen),
    Child(FourCC("ctau"), kFamKvt, kKindSnct, kRecTransient | kRecOptional),
};
constexpr RecFieldDesc kSntg[] = {
    U8(FourCC("tgmd")), U32(FourCC("anuv")),    U32(FourCC("bsch"), 1), U8(FourCC("mdch")),
    U8(FourCC("mdct")), U8(FourCC("mdnt"), 48), U8(FourCC("sgch")),
};
constexpr RecFieldDesc kScex[] = {
    U32(FourCC("sqid")),
    U32(FourCC("tmdr")),
    I32(FourCC("syof")),
    U8(FourCC("symd")),
};
constexpr RecFieldDesc kSqst[] = {
    U8(FourCC("ussc")),
    U8(FourCC("ustc")),
    U32(FourCC("tgmk")),
    U8(FourCC("extg")),
    U8(FourCC("sqfm")),
    U8(FourCC("dmct")),
    Child(FourCC("dfsq"), kFamKvt, kKindSqnc),
    List(FourCC("sqcs"), kFamKvt, kKindSqnc),
    Child(FourCC("schd"), kFamKvt, FourCC("SCHD")),
    Child(FourCC("sntg"), kFamKvt, kKindSntg),
    Child(FourCC("axps"), kFamKvt, kKindApls),
    Child(FourCC("nsqs"), kFamNsq, FourCC("SSET")),
};
constexpr RecFieldDesc kAptg[] = {
    Str(FourCC("name")),
    U32(FourCC("sqid")),
    I32(FourCC("valu")),
    Child(FourCC("sntg"), kFamKvt, kKindSntg),
};
constexpr RecFieldDesc kAply[] = {
    Str(FourCC("name")),
    List(FourCC("trgs"), kFamKvt, kKindAptg),
};
constexpr RecFieldDesc kApls[] = {
    List(FourCC("plys"), kFamKvt, kKindAply),
};

constexpr RecFieldDesc kPlcl[] = {
    U32(FourCC("sqid")),
    Str(FourCC("bttl")),
    I32(FourCC("syof")),
    U8(FourCC("symd")),
    Child(FourCC("scnd"), kFamKvt, kKindScen, kRecOptional),
};
constexpr RecFieldDesc kPlrw[] = {
    List(FourCC("cels"), kFamKvt, kKindPlcl),
};
constexpr RecFieldDesc kBtly[] = {
    Str(FourCC("name")),
    U32(FourCC("btrs"), 1),
    U32(FourCC("btcs"), 1),
    List(FourCC("rows"), kFamKvt, kKindPlrw),
    Child(FourCC("uifs"), kFamKvt, FourCC("KVUI"), kRecOptional),
};
constexpr RecFieldDesc kPlat[] = {
    U32(FourCC("staf"), 10),
    U32(FourCC("sqid")),
    U8(FourCC("rtsc")),
    Child(FourCC("scnd"), kFamKvt, kKindScen, kRecOptional),
};
constexpr RecFieldDesc kPlys[] = {
    U32(FourCC("btrs"), 1),
    U32(FourCC("btcs"), 1),
    U8(FourCC("vsst")),
    U32(FourCC("pwdw")),
    U8(FourCC("vsmf")),
    U32(FourCC("bgmq")),
    U8(FourCC("vsbl")),
    Child(FourCC("plat"), kFamKvt, kKindPlat),
    List(FourCC("rows"), kFamKvt, kKindPlrw),
    List(FourCC("blys"), kFamKvt, kKindBtly),
    Child(FourCC("uifs"), kFamKvt, FourCC("KVUI"), kRecOptional),
};

constexpr RecFieldDesc kMgsc[] = {
    Str(FourCC("flnm")),      I32(FourCC("sttm")),          I32(FourCC("entm")),
    U32(FourCC("volm"), 256), F32(FourCC("rate"), 1.0f, 5),
};
constexpr RecFieldDesc kMgpr[] = {
    List(FourCC("srcs"), kFamKvt, kKindMgsc),
};
constexpr RecFieldDesc kUvad[] = {
    U32(FourCC("univ")),
    U32(FourCC("flws")),
    Str(FourCC("ipad")),
};
constexpr RecFieldDesc kUvas[] = {
    List(FourCC("uvas"), kFamKvt, kKindUvad),
};
constexpr RecFieldDesc kJnpr[] = {
    U32(FourCC("sqid")),
    U32(FourCC("snst")),
    U32(FourCC("snls")),
};

#define KIND(name, kind, table)                     \
    CRecordSchema name {                            \
        kFamKvt, kind, u32(std::size(table)), table \
    }

// Members register in declaration order when the object is built.
struct ShowSchemas {
    KIND(snct, kKindSnct, kSnct);
    KIND(scen, kKindScen, kScen);
    KIND(sqnc, kKindSqnc, kSqnc);
    KIND(sntg, kKindSntg, kSntg);
    KIND(scex, kKindScex, kScex);
    KIND(sqst, kKindSqst, kSqst);
    KIND(aptg, kKindAptg, kAptg);
    KIND(aply, kKindAply, kAply);
    KIND(apls, kKindApls, kApls);
    KIND(plcl, kKindPlcl, kPlcl);
    KIND(plrw, kKindPlrw, kPlrw);
    KIND(btly, kKindBtly, kBtly);
    KIND(plat, kKindPlat, kPlat);
    KIND(plys, kKindPlys, kPlys);
    KIND(mgsc, kKindMgsc, kMgsc);
    KIND(mgpr, kKindMgpr, kMgpr);
    KIND(uvad, kKindUvad, kUvad);
    KIND(uvas, kKindUvas, kUvas);
    KIND(jnpr, kKindJnpr, kJnpr);
};

#undef KIND

ShowSchemas& Schemas() {
    static ShowSchemas s;
    return s;
}

// Registering every group from here also links every group into the program.
[[maybe_unused]] const bool sRegistered = (RegisterAllRecordKinds(), true);

}  // namespace

void RegisterShowKinds() {
    (void)Schemas();
}

CRecord* NewSeqSettingsRecord() {
    return CRecord::New(&Schemas().sqst);
}
CRecord* NewSceneRecord() {
    return CRecord::New(&Schemas().scen);
}
CRecord* NewPlaySetRecord() {
    return CRecord::New(&Schemas().plys);
}
CRecord* NewMergeSourceRecord() {
    return CRecord::New(&Schemas().mgsc);
}
CRecord* NewMergeParamRecord() {
    return CRecord::New(&Schemas().mgpr);
}
CRecord* NewJoinParamRecord() {
    return CRecord::New(&Schemas().jnpr);
}
