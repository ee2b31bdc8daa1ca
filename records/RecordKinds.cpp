#include "records/RecordKinds.h"

#include <iterator>

#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"
#include "records/ShowKinds.h"

void RegisterAllRecordKinds() {
    RegisterShowKinds();
    RegisterDeviceKinds();
    RegisterNsqPrefKinds();
    // The device contents kinds and the parameter-table hook live with the preference walk.
    RegisterPrefNodeKinds();
}

namespace {
constexpr RecKindCode kAllKinds[] = {
    // show data
    {kFamKvt, kKindSnct},
    {kFamKvt, kKindScen},
    {kFamKvt, kKindSqnc},
    {kFamKvt, kKindSntg},
    {kFamKvt, kKindScex},
    {kFamKvt, kKindSqst},
    {kFamKvt, kKindAptg},
    {kFamKvt, kKindAply},
    {kFamKvt, kKindApls},
    {kFamKvt, kKindPlcl},
    {kFamKvt, kKindPlrw},
    {kFamKvt, kKindBtly},
    {kFamKvt, kKindPlat},
    {kFamKvt, kKindPlys},
    {kFamKvt, kKindMgsc},
    {kFamKvt, kKindMgpr},
    {kFamKvt, kKindUvad},
    {kFamKvt, kKindUvas},
    {kFamKvt, kKindJnpr},
    // device mirrors and parameters
    {kFamKvt, kKindPrrc},
    {kFamKvt, kKindPrpc},
    {kFamKvt, kKindPrdr},
    {kFamKvt, kKindPrmc},
    {kFamKvt, kKindPrds},
    {kFamKvt, kKindDvst},
    {kFamKvt, kKindDvcm},
    {kFamKvt, kKindDtcm},
    {kFamKvt, kKindDvss},
    {kFamKvt, kKindDtst},
    {kFamDrc, kKindUnvs},
    {kFamDrc, kKindDrcStat},
    {kFamKvt, kKindSsta},
    {kFamUnd, kKindPram},
    {kFamUnd, kKindPrms},
    {kFamUnd, kKindPrmt},
    {kFamKvt, kKindMdif},
    {kFamKvs, kKindMdif},
    {kFamKvs, kKindMdis},
    {kFamKvs, kKindDevc},
    {kFamKvs, kKindKvss},
    // NSQ, device screen, schedule, preferences
    {kFamNsq, kKindSset},
    {kFamNsq, kKindSseq},
    {kFamNsq, kKindStrk},
    {kFamNsq, kKindSscn},
    {kFamNsq, kKindPseq},
    {kFamNsq, kKindPdmx},
    {kFamNsq, kKindPaud},
    {kFamNsq, kKindPvid},
    {kFamNsq, kKindNsqStat},
    {kFamNsq, kKindEdts},
    {kFamNsq, kKindSlnt},
    {kFamKvt, kKindKvui},
    {kFamKvt, kKindUfrm},
    {kFamKvt, kKindUbtn},
    {kFamKvt, kKindUfns},
    {kFamKvt, kKindUfnt},
    {kFamKvt, kKindSchd},
    {kFamKvt, kKindScev},
    {kFamKvt, kKindScep},
    {kFamKvs, kKindPref},
    {kFamKvs, kKindPrdc},
    {kFamKvs, kKindPrdv},
    {kFamKvs, kKindPrct},
    {kFamDmx, kKindPref},
    {kFamDmx, kKindPfmn},
};
}  // namespace

const RecKindCode* AllRecordKinds(u32* count) {
    if (count) *count = u32(std::size(kAllKinds));
    return kAllKinds;
}
