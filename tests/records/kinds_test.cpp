#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "RecTestUtil.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/RecordKinds.h"
#include "records/ShowKinds.h"

namespace {

using Bytes = std::vector<u8>;
using rt::ReadInto;
using rt::ReadRec;
using rt::WriteRec;

// The kinds as the tables give them, written out by hand. One entry per field:
//   tag:type[=default]   untagged fields have tag "-"; tags shorter than four
//   characters are padded with blanks.
// Types: i i32, u u32, b u8, fN f32 with N digits, s string, ai/au/ab/af/as arrays,
//   c/FAM/KIND child, l/FAM/KIND list ("*" = set at run time); "!N" gives the flags.
struct ExpectedKind {
    const char* family;
    const char* kind;
    const char* fields;
};

const ExpectedKind kExpected[] = {
    // sequence settings
    {"YKVT", "SQST",
     "ussc:b ustc:b tgmk:u extg:b sqfm:b dmct:b dfsq:c/YKVT/SQNC sqcs:l/YKVT/SQNC schd:c/YKVT/SCHD "
     "sntg:c/YKVT/SNTG axps:c/YKVT/APLS nsqs:c/YNST/SSET"},
    {"YKVT", "SQNC", "sqid:u sqnm:s rept:b scns:l/YKVT/SCEN auss:l/YKVT/SCEN ctau:c/YKVT/SNCT!5"},
    {"YKVT", "SCEN", "sntm:i snnm:s ctdr:c/YKVT/SNCT ctau:c/YKVT/SNCT"},
    {"YKVT", "SNCT", "flnm:s sttm:i entm:i lpmd:b fdtm:u volm:u=256 rate:f5=1"},
    {"YKVT", "SNTG", "tgmd:b anuv:u bsch:u=1 mdch:b mdct:b mdnt:b=48 sgch:b"},
    {"YKVT", "SCEX", "sqid:u tmdr:u syof:i symd:b"},
    {"YKVT", "APLS", "plys:l/YKVT/APLY"},
    {"YKVT", "APLY", "name:s trgs:l/YKVT/APTG"},
    {"YKVT", "APTG", "name:s sqid:u valu:i sntg:c/YKVT/SNTG"},
    // play settings
    {"YKVT", "PLYS",
     "btrs:u=1 btcs:u=1 vsst:b pwdw:u vsmf:b bgmq:u vsbl:b plat:c/YKVT/PLAT rows:l/YKVT/PLRW "
     "blys:l/YKVT/BTLY uifs:c/YKVT/KVUI!4"},
    {"YKVT", "PLAT", "staf:u=10 sqid:u rtsc:b scnd:c/YKVT/SCEN!4"},
    {"YKVT", "PLRW", "cels:l/YKVT/PLCL"},
    {"YKVT", "PLCL", "sqid:u bttl:s syof:i symd:b scnd:c/YKVT/SCEN!4"},
    {"YKVT", "BTLY", "name:s btrs:u=1 btcs:u=1 rows:l/YKVT/PLRW uifs:c/YKVT/KVUI!4"},
    {"YKVT", "JNPR", "sqid:u snst:u snls:u"},
    {"YKVT", "MGPR", "srcs:l/YKVT/MGSC"},
    {"YKVT", "MGSC", "flnm:s sttm:i entm:i volm:u=256 rate:f5=1"},
    {"YKVT", "UVAS", "uvas:l/YKVT/UVAD"},
    {"YKVT", "UVAD", "univ:u flws:u ipad:s"},
    // device settings and its children
    {"YKVT", "DVST",
     "csad:u csmk:u rtra:u dnsa:u tmzn:i admd:b usdh:b usuc:b ntsl:s fnmd:b uicy:u sddl:b saco:b "
     "ckrt:f7=0 "
     "ntit:b=24 aidl:u=100 saus:u=10 bkup:b buma:u axad:u axmk:u uvas:c/YKVT/UVAS prrc:c/YKVT/PRRC "
     "prpc:c/YKVT/PRPC prdr:c/YKVT/PRDR prmc:c/YKVT/PRMC prds:c/YKVT/PRDS"},
    {"YKVT", "PRRC", "rcct:b anun:u chrc:u chpl:u rcsb:b"},
    {"YKVT", "PRPC", "mfct:b anun:u chmf:u=1 svmf:b svbt:b atbt:b msmt:b"},
    {"YKVT", "PRDR", "univ:u usrc:b uspl:b"},
    {"YKVT", "PRMC", "ccst:u=20 rcsv:b sndv:c/YUND/PRMS"},
    {"YKVT", "PRDS", "bsnd:b brcv:b"},
    {"YKVT", "DVCM",
     "srtc:s plcl:s plsn:s sedm:i=-1 sisc:i=-1 rcct:i rclc:i=-1 rcpf:s paus:i=-1 plcr:b psau:i=-1 "
     "pcau:b "
     "pltm:i=-1 frfl:b aptg:s stps:b"},
    {"YKVT", "DTCM", "paus:i=-1 plcr:b"},
    {"YKVT", "DVSS",
     "ntsy:b crtc:s crsn:s sqid:u sqtm:i scen:u=4294967295 insc:b cras:s autm:u audr:u msfd:u=256 "
     "bumt:b "
     "cpmd:b fdmt:b mdcg:b aptg:ai"},
    {"YKVT", "DTST", "crsn:s crtm:u crdr:u"},
    {"YKVT", "SSTA", "stat:b flrd:b sqtm:i sqtt:i sqet:i cflp:s uvst:c/YDRC/STAT"},
    {"YDRC", "STAT", "unvs:l/YDRC/UNVS rdrp:b"},
    {"YDRC", "UNVS", "univ:u host:u hstx:b stat:ab"},
    {"YUND", "PRMS", "prms:l/YUND/PRAM"},
    {"YUND", "PRAM", "i:s!1 v:s prms:c/YUND/PRMS!5"},
    {"YUND", "PRMT", "cols:u elms:l/YUND/PRMS -:u -:u -:u!1 -:u -:b!1"},
    {"YKVT", "MDIF", "dura:u"},
    {"YKVS", "MDIS", "sern:u meds:l/YKVS/MDIF"},
    {"YKVS", "MDIF", "kind:b name:s dura:u stat:b -:b!1 -:s!1"},
    {"YKVS", "KVSS", "-:l/YKVS/DEVC -:c/YUND/PRMS"},
    {"YKVS", "DEVC", "-:u -:u -:u -:b!1"},
    // NSQ
    {"YNST", "SSET", "seqs:l/YNST/SSEQ"},
    {"YNST", "SSEQ", "sqid:u!1 name:s loop:b trks:l/YNST/STRK"},
    {"YNST", "STRK", "name:s scns:l/YNST/SSCN"},
    {"YNST", "SSCN", "time:u prms:c/YNST/*!6"},
    {"YNST", "PSEQ", "sqid:u"},
    {"YNST", "PDMX", "file:s rngf:u rngt:u loop:b fdtm:u volm:u=256 rate:f5=1"},
    {"YNST", "PAUD", "file:s rngf:u rngt:u loop:b fdtm:u volm:u=256"},
    {"YNST", "PVID", "file:s rngf:u rngt:u loop:b fdtm:u volm:u=256"},
    {"YNST", "STAT", "time:u sqid:u"},
    {"YNST", "EDTS", "tmsc:f2=1 vwtm:f2=0 grid:f2=1"},
    {"YNST", "SLNT", "-:b -:u!1 -:u!1"},
    // device screen
    {"YKVT", "KVUI", "panl:c/YKVT/UFRM fnts:c/YKVT/UFNS"},
    {"YKVT", "UFRM", "plac:ai pans:l/YKVT/UFRM!2"},
    {"YKVT", "UBTN", "titl:s fnid:b plac:ai prms:c/YUND/PRMS"},
    {"YKVT", "UFNS", "fnts:l/YKVT/UFNT"},
    {"YKVT", "UFNT", "acnt:u ucps:au finf:ab gimg:ab"},
    // schedule
    {"YKVT", "SCHD", "flts:l/YKVT/SCEV"},
    {"YKVT", "SCEV",
     "name:s fcpy:s fcpm:s fcpd:s fcpw:s fcph:s fcpn:s fcps:s prds:l/YKVT/SCEP axud:c/*/*!6"},
    {"YKVT", "SCEP", "rang:b strt:au endp:au"},
    // preferences
    {"YKVS", "PREF",
     "lstf:s dldr:s plst:s ntif:s mnck:s snmn:b mnpl:ai!1 usnm:b docs:l/YKVS/PRDC!1 "
     "devc:c/YKVS/PRDV!1 "
     "ctlr:c/YKVS/PRCT!1 blko:c/YUND/PRMS!1 dtst:c/YUND/PRMS!1 misc:c/YUND/PRMS!1 "
     "vwpf:c/YUND/PRMS!1 "
     "mnky:c/YUND/PRMT!1 mdis:l/YKVS/MDIS -:u"},
    {"YKVS", "PRDC", "lsto:b!1 fspc:s wplc:ai!1 -:b!1"},
    {"YKVS", "PRDV", "iaal:b!1 iasn:u!1=1000 wplc:ai!1"},
    {"YKVS", "PRCT", "prms:c/YUND/PRMS!1"},
    {"YDMX", "PREF", "mntr:c/YDMX/PFMN"},
    {"YDMX", "PFMN", "vsvl:b=1 vsvl:b=1"},
};

u32 Code(const std::string& s) {
    std::string p = s;
    p.resize(4, ' ');
    return (u32(u8(p[0])) << 24) | (u32(u8(p[1])) << 16) | (u32(u8(p[2])) << 8) | u32(u8(p[3]));
}

struct FieldSpec {
    std::string tag;
    std::string type;  // i u b f s a c l
    u8 digits = 0;
    char elem = 0;
    std::string family, kind;
    u8 flags = 0;
    std::string def;
};

std::vector<FieldSpec> Parse(const char* text) {
    std::vector<FieldSpec> out;
    std::istringstream in(text);
    std::string item;
    while (in >> item) {
        FieldSpec f;
        const size_t colon = item.find(':');
        f.tag = item.substr(0, colon);
        std::string rest = item.substr(colon + 1);
        const size_t eq = rest.find('=');
        if (eq != std::string::npos) {
            f.def = rest.substr(eq + 1);
            rest = rest.substr(0, eq);
        }
        const size_t bang = rest.find('!');
        if (bang != std::string::npos) {
            f.flags = u8(std::stoi(rest.substr(bang + 1)));
            rest = rest.substr(0, bang);
        }
        f.type = rest.substr(0, 1);
        if (f.type == "f") f.digits = u8(std::stoi(rest.substr(1)));
        if (f.type == "a") f.elem = rest[1];
        if (f.type == "c" || f.type == "l") {
            const size_t s1 = rest.find('/'), s2 = rest.find('/', s1 + 1);
            f.family = rest.substr(s1 + 1, s2 - s1 - 1);
            f.kind = rest.substr(s2 + 1);
        }
        out.push_back(f);
    }
    return out;
}

std::string CodeText(u32 c) {
    return {char(c >> 24), char(c >> 16), char(c >> 8), char(c)};
}

u8 TypeCode(const FieldSpec& f) {
    static const std::map<std::string, u8> m = {{"i", 0}, {"u", 1}, {"b", 2}, {"f", 3},
                                                {"s", 4}, {"a", 5}, {"c", 6}, {"l", 7}};
    return m.at(f.type);
}

u8 ElemCode(char e) {
    switch (e) {
        case 'i':
            return 0;
        case 'u':
            return 1;
        case 'b':
            return 2;
        case 'f':
            return 3;
        default:
            return 4;
    }
}

class RecordKinds : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterAllRecordKinds(); }
};

TEST_F(RecordKinds, EveryKindMatchesItsTable) {
    std::set<std::pair<u32, u32>> expectedCodes;
    for (const ExpectedKind& k : kExpected) {
        const std::string name = std::string(k.family) + "/" + k.kind;
        SCOPED_TRACE(name);
        expectedCodes.insert({Code(k.family), Code(k.kind)});
        const CRecordSchema* s = CRecordSchema::Find(Code(k.family), Code(k.kind));
        ASSERT_NE(s, nullptr);
        const std::vector<FieldSpec> fields = Parse(k.fields);
        ASSERT_EQ(s->Count(), fields.size());
        CRecord* r = CRecord::New(s);
        ASSERT_NE(r, nullptr);
        for (u32 i = 0; i < fields.size(); ++i) {
            const FieldSpec& f = fields[i];
            const RecFieldDesc& d = s->Field(i);
            SCOPED_TRACE("field " + std::to_string(i) + " " + f.tag);
            EXPECT_EQ(d.tag, f.tag == "-" ? 0u : Code(f.tag));
            EXPECT_EQ(d.type, TypeCode(f));
            EXPECT_EQ(d.flags, f.flags);
            const u8 f8 = u8(i);
            switch (d.type) {
                case kRecI32:
                    EXPECT_EQ(d.def.i32Value, f.def.empty() ? 0 : std::stoi(f.def));
                    EXPECT_EQ(r->GetI32(f8), d.def.i32Value);
                    break;
                case kRecU32:
                    EXPECT_EQ(d.def.u32Value, f.def.empty() ? 0u : u32(std::stoul(f.def)));
                    EXPECT_EQ(r->GetU32(f8), d.def.u32Value);
                    break;
                case kRecU8:
                    EXPECT_EQ(d.def.u8Value, f.def.empty() ? 0 : std::stoi(f.def));
                    EXPECT_EQ(r->GetU8(f8), d.def.u8Value);
                    break;
                case kRecF32:
                    EXPECT_EQ(d.digits, f.digits);
                    EXPECT_EQ(d.def.f32Value, std::stof(f.def));
                    EXPECT_EQ(r->GetF32(f8), d.def.f32Value);
                    break;
                case kRecString:
                    ASSERT_NE(d.def.text, nullptr);
                    EXPECT_STREQ(d.def.text, "");
                    EXPECT_STREQ(r->GetString(f8).CStr(), "");
                    break;
                case kRecArray:
                    EXPECT_EQ(d.elemType, ElemCode(f.elem));
                    EXPECT_EQ(r->GetArrayCount(f8), 0u);
                    break;
                case kRecChild:
                case kRecList:
                    if (f.family != "*") {
                        EXPECT_EQ(d.def.rec.family, Code(f.family));
                    }
                    if (f.kind != "*") {
                        EXPECT_EQ(d.def.rec.kind, Code(f.kind));
                    }
                    if (d.type == kRecList) {
                        EXPECT_EQ(r->GetListCount(f8), 0u);
                    } else if (f.flags & 4) {
                        EXPECT_EQ(r->GetChild(f8), nullptr);
                    } else {
                        ASSERT_NE(r->GetChild(f8), nullptr);
                        EXPECT_EQ(r->GetChild(f8)->Family(), Code(f.family));
                        EXPECT_EQ(r->GetChild(f8)->Kind(), Code(f.kind));
                    }
                    break;
            }
        }
        CRecord::Destroy(r);
    }
    // The registration list names exactly these kinds, once each.
    u32 n = 0;
    const RecKindCode* all = AllRecordKinds(&n);
    std::set<std::pair<u32, u32>> registered;
    for (u32 i = 0; i < n; ++i) EXPECT_TRUE(registered.insert({all[i].family, all[i].kind}).second);
    EXPECT_EQ(registered, expectedCodes);
    EXPECT_EQ(n, std::size(kExpected));
}

TEST_F(RecordKinds, RegistrationIsIdempotent) {
    u32 n = 0;
    const RecKindCode* all = AllRecordKinds(&n);
    std::vector<const CRecordSchema*> before;
    for (u32 i = 0; i < n; ++i) before.push_back(CRecordSchema::Find(all[i].family, all[i].kind));
    RegisterAllRecordKinds();
    RegisterShowKinds();
    RegisterDeviceKinds();
    RegisterNsqPrefKinds();
    for (u32 i = 0; i < n; ++i)
        EXPECT_EQ(CRecordSchema::Find(all[i].family, all[i].kind), before[i]);
    // A missing kind still ends the walk: no cycle was made.
    EXPECT_EQ(CRecordSchema::Find(FourCC("YKVT"), FourCC("NONE")), nullptr);
}

TEST_F(RecordKinds, FixedDefaults) {
    CRecord* content = CRecord::New(CRecordSchema::Find(kFamKvt, kKindSnct));
    ASSERT_NE(content, nullptr);
    const Bytes expected = {'Y', 'K', 'V', 'T', 0,   0,   0, 32, 'S', 'N',
                            'C', 'T', 'U', 'D', 'P', 'R', 0, 0,  0,   20,
                            0,                                   // flnm
                            0,   0,   0,   0,   0,   0,   0, 0,  // sttm, entm
                            0,                                   // lpmd
                            0,   0,   0,   0,                    // fdtm
                            0,   0,   1,   0,                    // volm 256
                            '1', 0};                             // rate
    EXPECT_EQ(WriteRec(content), expected);
    CRecord::Destroy(content);

    CRecord* cmd = NewDeviceCommandRecord();
    for (u8 f : {DvcmF::sedm, DvcmF::sisc, DvcmF::rclc, DvcmF::paus, DvcmF::psau, DvcmF::pltm})
        EXPECT_EQ(cmd->GetI32(f), -1) << int(f);
    EXPECT_EQ(cmd->GetI32(DvcmF::rcct), 0);
    CRecord::Destroy(cmd);

    CRecord* state = NewDeviceStateRecord();
    EXPECT_EQ(state->GetU32(DvssF::scen), 0xFFFFFFFFu);
    EXPECT_EQ(state->GetField(DvssF::scen), 0xFFFFFFFFull);  // unsigned: the high half stays clear
    EXPECT_EQ(state->GetU32(DvssF::msfd), 256u);
    CRecord::Destroy(state);

    CRecord* set = NewDeviceSettingsRecord();
    EXPECT_EQ(set->GetChild(DvstF::prpc)->GetU32(PrpcF::chmf), 1u);
    EXPECT_EQ(set->GetChild(DvstF::prmc)->GetU32(PrmcF::ccst), 20u);
    EXPECT_EQ(set->GetChild(DvstF::prmc)->GetChild(PrmcF::sndv)->Kind(), kKindPrms);
    CRecord::Destroy(set);

    // A new sequence-settings tree holds its whole default shape.
    CRecord* seq = NewSeqSettingsRecord();
    EXPECT_EQ(seq->GetChild(SqstF::dfsq)->GetU32(SqncF::sqid), 0u);
    EXPECT_EQ(seq->GetChild(SqstF::dfsq)->GetChild(SqncF::ctau), nullptr);
    EXPECT_EQ(seq->GetChild(SqstF::sntg)->GetU32(SntgF::bsch), 1u);
    EXPECT_EQ(seq->GetChild(SqstF::sntg)->GetU8(SntgF::mdnt), 48);
    EXPECT_EQ(seq->GetChild(SqstF::nsqs)->Family(), kFamNsq);
    CRecord::Destroy(seq);
    CRecord* scene = NewSceneRecord();
    EXPECT_EQ(scene->GetChild(ScenF::ctau)->GetU32(SnctF::volm), 256u);
    EXPECT_EQ(scene->GetChild(ScenF::ctdr)->GetF32(SnctF::rate), 1.0f);
    CRecord::Destroy(scene);
}

TEST_F(RecordKinds, FactoriesMakeTheirKinds) {
    struct F {
        CRecord* (*make)();
        u32 family, kind;
    };
    const F factories[] = {
        {NewSeqSettingsRecord, kFamKvt, kKindSqst},
        {NewSceneRecord, kFamKvt, kKindScen},
        {NewPlaySetRecord, kFamKvt, kKindPlys},
        {NewMergeSourceRecord, kFamKvt, kKindMgsc},
        {NewMergeParamRecord, kFamKvt, kKindMgpr},
        {NewJoinParamRecord, kFamKvt, kKindJnpr},
        {NewDeviceSettingsRecord, kFamKvt, kKindDvst},
        {NewDeviceCommandRecord, kFamKvt, kKindDvcm},
        {NewDeviceStateRecord, kFamKvt, kKindDvss},
        {NewDeviceStatusRecord, kFamKvt, kKindSsta},
        {NewDevStatRecord, kFamDrc, kKindDrcStat},
        {NewMedInfoRecord, kFamKvt, kKindMdif},
        {NewMediaList, kFamKvs, kKindMdis},
        {NewParamNodeRecord, kFamUnd, kKindPrms},
        {NSqNewScene, kFamNsq, kKindSscn},
        {NSqNewTrack, kFamNsq, kKindStrk},
        {NSqNewSeq, kFamNsq, kKindSseq},
        {NewNsqStatRecord, kFamNsq, kKindNsqStat},
        {NewUiLayoutRecord, kFamKvt, kKindKvui},
    };
    for (const F& f : factories) {
        CRecord* r = f.make();
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->Family(), f.family);
        EXPECT_EQ(r->Kind(), f.kind);
        EXPECT_EQ(r->Schema(), CRecordSchema::Find(f.family, f.kind));
        CRecord::Destroy(r);
    }
}

// ---------------------------------------------------------------- round trips

struct Filler {
    std::mt19937 rng{2024};
    u32 rotate = 0;

    LString Text() {
        static const char kChars[] = "abcXYZ 09_-\n\t\xC3\xA9";
        std::string s;
        const u32 n = rng() % 10;
        for (u32 i = 0; i < n; ++i) s += kChars[rng() % (sizeof(kChars) - 1)];
        return LString(std::string_view(s));
    }

    const CRecordSchema* ItemSchema(const CRecord* r, u8 f) {
        const RecFieldDesc& d = r->Desc(f);
        if (!d.IsUntyped()) return CRecordSchema::Find(d.def.rec.family, d.def.rec.kind);
        // Kinds chosen at run time: every kind the field is meant to hold.
        if (r->Kind() == kKindSscn) {
            static const u32 items[] = {kKindPseq, kKindPdmx, kKindPaud, kKindPvid};
            return CRecordSchema::Find(kFamNsq, items[rotate++ % 4]);
        }
        if (r->Kind() == kKindScev) return CRecordSchema::Find(kFamKvt, kKindScex);
        if (r->Kind() == kKindUfrm)
            return CRecordSchema::Find(kFamKvt, rotate++ % 2 ? kKindUbtn : kKindUfrm);
        return nullptr;
    }

    // Fills every field the record chunk carries; the rest keeps its default.
    void Fill(CRecord* r, u32 depth) {
        bool positional = true;
        for (u32 i = 0; i < r->FieldCount(); ++i) {
            const u8 f = u8(i);
            const RecFieldDesc& d = r->Desc(f);
            if (!d.IsTagged()) continue;
            if (d.type >= kRecArray) positional = false;
            if (d.type < kRecArray && !positional) continue;
            switch (d.type) {
                case kRecI32:
                case kRecU32:
                    r->SetU32(nullptr, f, rng());
                    break;
                case kRecU8:
                    r->SetU8(nullptr, f, u8(rng()));
                    break;
                case kRecF32:
                    r->SetF32(nullptr, f, 0, f32(i32(rng() % 4001) - 2000) / 4.0f);
                    break;
                case kRecString:
                    r->SetString(nullptr, f, Text());
                    break;
                case kRecArray: {
                    const u32 n = 1 + rng() % 6;
                    std::vector<u32> words(n);
                    std::vector<u8> bytes(n);
                    for (u32 k = 0; k < n; ++k) words[k] = rng(), bytes[k] = u8(rng());
                    if (d.elemType == kRecU8)
                        r->SetArray(nullptr, f, bytes.data(), n);
                    else
                        r->SetArray(nullptr, f, words.data(), n);
                    break;
                }
                case kRecChild: {
                    if (depth >= 6) break;
                    if (!r->GetChild(f)) {
                        const CRecordSchema* s = ItemSchema(r, f);
                        ASSERT_NE(s, nullptr);
                        CRecord::Destroy(r->ReplaceChild(nullptr, f, CRecord::New(s)));
                    }
                    Fill(r->GetChild(f), depth + 1);
                    break;
                }
                case kRecList: {
                    if (depth >= 4) break;
                    const u32 n = 1 + rng() % 2;
                    for (u32 k = 0; k < n; ++k) {
                        const CRecordSchema* s = ItemSchema(r, f);
                        ASSERT_NE(s, nullptr);
                        CRecord* item = CRecord::New(s);
                        Fill(item, depth + 1);
                        ASSERT_TRUE(r->InsertItem(nullptr, f, k, item));
                    }
                    break;
                }
            }
        }
    }
};

TEST_F(RecordKinds, EveryKindSurvivesTheRecordChunk) {
    u32 n = 0;
    const RecKindCode* all = AllRecordKinds(&n);
    Filler filler;
    for (u32 i = 0; i < n; ++i) {
        const CRecordSchema* s = CRecordSchema::Find(all[i].family, all[i].kind);
        ASSERT_NE(s, nullptr);
        SCOPED_TRACE(CodeText(all[i].family) + "/" + CodeText(all[i].kind));
        std::string why;

        // Defaults
        CRecord* plain = CRecord::New(s);
        CRecord* back = ReadRec(WriteRec(plain));
        ASSERT_TRUE(rt::Equal(plain, back, &why)) << why;
        CRecord::Destroy(back);

        // Filled, nested children and lists included
        CRecord* full = CRecord::New(s);
        filler.Fill(full, 0);
        const Bytes b = WriteRec(full);
        bool tagged = false;
        for (u32 k = 0; k < s->Count(); ++k) tagged |= s->Field(k).IsTagged();
        if (tagged) {
            EXPECT_NE(b, WriteRec(plain));
        }
        back = ReadRec(b);
        ASSERT_TRUE(rt::Equal(full, back, &why)) << why;
        EXPECT_EQ(WriteRec(back), b);
        // Merged into a default record
        ASSERT_TRUE(ReadInto(b, plain));
        ASSERT_TRUE(rt::Equal(full, plain, &why)) << why;
        // and back to defaults by a default chunk
        CRecord* fresh = CRecord::New(s);
        ASSERT_TRUE(ReadInto(WriteRec(fresh), plain));
        ASSERT_TRUE(rt::Equal(fresh, plain, &why)) << why;

        CRecord::Destroy(fresh);
        CRecord::Destroy(back);
        CRecord::Destroy(full);
        CRecord::Destroy(plain);
    }
}

TEST_F(RecordKinds, ScalarsAfterTheFirstListOrArrayStayOutOfTheChunk) {
    CRecord* pref = CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref));
    pref->SetU8(nullptr, PrefF::snmn, 1);
    pref->SetU8(nullptr, PrefF::usnm, 1);
    CRecord* back = ReadRec(WriteRec(pref));
    EXPECT_EQ(back->GetU8(PrefF::snmn), 1);
    EXPECT_EQ(back->GetU8(PrefF::usnm), 0);
    CRecord::Destroy(back);
    CRecord::Destroy(pref);

    CRecord* stat = NewDevStatRecord();
    stat->SetU8(nullptr, DrcStatF::rdrp, 1);
    back = ReadRec(WriteRec(stat));
    EXPECT_EQ(back->GetU8(DrcStatF::rdrp), 0);
    CRecord::Destroy(back);
    CRecord::Destroy(stat);
}

TEST_F(RecordKinds, OptionalChildrenReadBackAbsent) {
    CRecord* cell = CRecord::New(CRecordSchema::Find(kFamKvt, kKindPlcl));
    cell->SetU32(nullptr, PlclF::sqid, 9);
    CRecord* src = CRecord::New(CRecordSchema::Find(kFamKvt, kKindPlcl));
    CRecord::Destroy(src->ReplaceChild(nullptr, PlclF::scnd, NewSceneRecord()));
    ASSERT_TRUE(ReadInto(WriteRec(src), cell));
    ASSERT_NE(cell->GetChild(PlclF::scnd), nullptr);
    // A stored button without its scene drops the one held in memory.
    CRecord::Destroy(src->ReplaceChild(nullptr, PlclF::scnd, nullptr));
    ASSERT_TRUE(ReadInto(WriteRec(src), cell));
    EXPECT_EQ(cell->GetChild(PlclF::scnd), nullptr);
    EXPECT_EQ(cell->GetU32(PlclF::sqid), 0u);
    CRecord::Destroy(src);
    CRecord::Destroy(cell);

    // Any NSQ item kind is accepted in a scene; a typed child of another kind is not.
    CRecord* scn = NSqNewScene();
    CRecord::Destroy(scn->ReplaceChild(nullptr, SscnF::prms, NewNsqStatRecord()));
    CRecord* back = ReadRec(WriteRec(scn));
    ASSERT_NE(back->GetChild(SscnF::prms), nullptr);
    EXPECT_EQ(back->GetChild(SscnF::prms)->Kind(), kKindNsqStat);
    CRecord::Destroy(back);
    CRecord::Destroy(scn);
}

// ---------------------------------------------------------------- operations

TEST_F(RecordKinds, SequenceSetGivesInsertedSequencesFreeIds) {
    CRecordDoc doc(CRecord::New(CRecordSchema::Find(kFamNsq, kKindSset)));
    CRecord* set = doc.Root();
    auto insert = [&](u32 id, u32 at) {
        CRecord* seq = NSqNewSeq();
        seq->SetU32(nullptr, SseqF::sqid, id);
        EXPECT_TRUE(set->InsertItem(nullptr, SsetF::seqs, at, seq));
        return set->GetListItem(SsetF::seqs, at)->GetU32(SseqF::sqid);
    };
    EXPECT_EQ(insert(0, 0), 1u);
    EXPECT_EQ(insert(0, 1), 2u);
    EXPECT_EQ(insert(2, 0), 3u);
    EXPECT_EQ(insert(7, 3), 7u);
    EXPECT_EQ(insert(1, 4), 4u);
    EXPECT_EQ(insert(0xFFFFFFFFu, 5), 0xFFFFFFFFu);
    // Wrapping past the top skips 0 and the taken ids.
    EXPECT_EQ(insert(0xFFFFFFFFu, 6), 5u);
    std::set<u32> ids;
    for (u32 i = 0; i < set->GetListCount(SsetF::seqs); ++i)
        ids.insert(set->GetListItem(SsetF::seqs, i)->GetU32(SseqF::sqid));
    EXPECT_EQ(ids.size(), set->GetListCount(SsetF::seqs));
    EXPECT_EQ(ids.count(0), 0u);
}

struct AptgLog {
    std::vector<std::string> texts;
    static void Fn(void* self, CRecordNote* n) {
        if (n->kind == CRecordNote::kChanged && n->field == DvcmF::aptg)
            static_cast<AptgLog*>(self)->texts.push_back(n->record->GetString(DvcmF::aptg).CStr());
    }
};

TEST_F(RecordKinds, AuxTriggerRequestsCanBeRepeated) {
    CRecordDoc doc(NewDeviceCommandRecord());
    AptgLog log;
    doc.AddListener(&log, AptgLog::Fn);
    SetCommandAuxTrigger(doc.Root(), 3, 4000000000u);
    SetCommandAuxTrigger(doc.Root(), 3, 4000000000u);
    EXPECT_EQ(log.texts, (std::vector<std::string>{"3 4000000000", "3 4000000000"}));
    EXPECT_STREQ(doc.Root()->GetString(DvcmF::aptg).CStr(), "");
    doc.RemoveListener(&log, AptgLog::Fn);
    // Only a command record is touched.
    CRecord* state = NewDeviceStateRecord();
    SetCommandAuxTrigger(state, 1, 2);
    EXPECT_STREQ(state->GetString(DvssF::crsn).CStr(), "");
    CRecord::Destroy(state);
}

TEST_F(RecordKinds, StateTriggersOutsideTheArrayReadAsMinusOne) {
    CRecord* state = NewDeviceStateRecord();
    EXPECT_EQ(DeviceStateGetTrigger(state, 0), -1);
    const i32 values[] = {5, -2, 7};
    state->SetArray(nullptr, DvssF::aptg, values, 3);
    EXPECT_EQ(DeviceStateGetTrigger(state, 0), 5);
    EXPECT_EQ(DeviceStateGetTrigger(state, 1), -2);
    EXPECT_EQ(DeviceStateGetTrigger(state, 2), 7);
    EXPECT_EQ(DeviceStateGetTrigger(state, 3), -1);
    EXPECT_EQ(DeviceStateGetTrigger(state, -1), -1);
    EXPECT_EQ(DeviceStateGetTrigger(nullptr, 0), -1);
    CRecord::Destroy(state);
}

TEST_F(RecordKinds, TransientFieldsSendNoNotices) {
    rt::NoteLog log;
    CRecordDoc seqDoc(CRecord::New(CRecordSchema::Find(kFamKvt, kKindSqnc)));
    log.Attach(seqDoc);
    CRecord::Destroy(seqDoc.Root()->ReplaceChild(
        nullptr, SqncF::ctau, CRecord::New(CRecordSchema::Find(kFamKvt, kKindSnct))));
    seqDoc.Root()->RemoveChild(nullptr, SqncF::ctau);
    EXPECT_TRUE(log.notes.empty());
    seqDoc.Root()->SetU8(nullptr, SqncF::rept, 1);
    EXPECT_EQ(log.notes.size(), 1u);
    seqDoc.RemoveListener(&log, rt::NoteLog::Fn);

    rt::NoteLog pramLog;
    CRecordDoc node(NewParamNodeRecord());
    pramLog.Attach(node);
    ASSERT_TRUE(node.Root()->InsertItem(nullptr, PrmsF::prms, 0,
                                        CRecord::New(CRecordSchema::Find(kFamUnd, kKindPram))));
    CRecord* entry = node.Root()->GetListItem(PrmsF::prms, 0);
    ASSERT_NE(entry, nullptr);
    pramLog.notes.clear();
    entry->SetString(nullptr, PramF::key, LString("btnfont"));
    EXPECT_TRUE(pramLog.notes.empty());
    EXPECT_TRUE(node.IsModified());  // still a stored change
    entry->SetString(nullptr, PramF::value, LString("12"));
    EXPECT_EQ(pramLog.notes.size(), 1u);
    node.RemoveListener(&pramLog, rt::NoteLog::Fn);
}

i32 CountingHook(u32, void*) {
    return 0;
}

TEST_F(RecordKinds, ParameterTableHookCanBeAttached) {
    const CRecordSchema* s = CRecordSchema::Find(kFamUnd, kKindPrmt);
    ASSERT_NE(s, nullptr);
    SetParamTableHook(CountingHook);
    EXPECT_EQ(CRecordSchema::Find(kFamUnd, kKindPrmt), s);
    EXPECT_EQ(s->GetHook(), &CountingHook);
    EXPECT_EQ(s->Count(), 7u);
    SetParamTableHook(nullptr);
    EXPECT_EQ(s->GetHook(), &CRecordSchema::DefaultHook);
}

TEST_F(RecordKinds, MonitorPreferencesAreOneDocument) {
    CKvsMonPrefRec* prefs = CKvsMonPrefRec::Create();
    ASSERT_NE(prefs, nullptr);
    EXPECT_EQ(CKvsMonPrefRec::Create(), prefs);
    EXPECT_EQ(CKvsMonPrefRec::Get(), prefs);
    CRecord* root = prefs->Root();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->Family(), kFamDmx);
    EXPECT_EQ(root->Kind(), kKindPref);
    EXPECT_EQ(root->GetOwner(), prefs);
    const CRecord* mon = root->GetChild(DmxPrefF::mntr);
    ASSERT_NE(mon, nullptr);
    EXPECT_EQ(mon->GetU8(PfmnF::vsvl0), 1);
    EXPECT_EQ(mon->GetU8(PfmnF::vsvl1), 1);
    CKvsMonPrefRec::Dispose();
    EXPECT_EQ(CKvsMonPrefRec::Get(), nullptr);
}

}  // namespace
