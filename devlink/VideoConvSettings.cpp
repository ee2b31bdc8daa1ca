#include "devlink/AudioConvJob.h"

#include "records/AppPrefsDoc.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"

void VideoConvSettings::Load() {
    *this = VideoConvSettings();
    CRecordDoc* doc = AppPrefsDoc();
    const CRecord* prefs = doc ? doc->Root() : nullptr;
    if (!prefs || prefs->Family() != kFamKvs || prefs->Kind() != kKindPref) return;
    const CRecord* node = NodeGetSubNode(prefs->GetChild(PrefF::misc), "vcnvsetn");
    if (!node) return;
    switch (NodeGetIntOr(node, "lwrreso", 1)) {
        case 0:
            width = 1280;
            height = 1024;
            break;
        case 2:
            width = 4096;
            height = 2160;
            break;
        default:
            break;
    }
    quality = u32(NodeGetIntOr(node, "qty", 1));
}
