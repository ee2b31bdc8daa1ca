#include "editors/nsq/NSqSceneOps.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "editors/PlayHooks.h"
#include "editors/nsq/CNSqKinds.h"
#include "editors/nsq/CNSqTimeScale.h"
#include "records/CChunkFile.h"
#include "records/CUndoStrm.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/NsqSets.h"
#include "records/PrefNodes.h"
#include "records/RecordKinds.h"
#include "records/ScrapTypeNames.h"

namespace {

std::unique_ptr<CUndoStrm> OpenStep(LHandler* owner) {
    if (!owner) return nullptr;
    return std::unique_ptr<CUndoStrm>(
        CUndoStrm::Open(owner, nullptr, nullptr, "", CUndoStrm::kModeRecord, CUndoStrm::kMergeNew));
}

CRecord* TrackAt(const CRecord* seq, u32 i) {
    return seq && i < seq->GetListCount(SseqF::trks) ? seq->GetListItem(SseqF::trks, i) : nullptr;
}

u32 Count(const CRecord* track) {
    return track->GetListCount(StrkF::scns);
}

CRecord* SceneAt(const CRecord* track, u32 i) {
    return track->GetListItem(StrkF::scns, i);
}

u32 TimeOf(const CRecord* scene) {
    return scene->GetU32(SscnF::time);
}

u32 RoundTime(CNSqTimeScale& scale, u32 ms) {
    return scale.Kinds() ? scale.Kinds()->RoundTime(ms) : ms;
}

}  // namespace

// ---- the scrap

LScrapData* NSqMakeSceneScrap(CNSqTimeScale& scale, u32 anchorTrack, u32 anchorMs) {
    CNSqScnSel& sel = scale.Selection();
    const CRecord* seq = sel.Sequence();
    if (!seq || sel.Count() == 0) return nullptr;
    const CRecordSchema* ps = CRecordSchema::Find(kFamUnd, kKindPrms);
    std::unique_ptr<CRecord, void (*)(CRecord*)> params(ps ? CRecord::New(ps) : nullptr,
                                                        CRecord::Destroy);
    if (!params) return nullptr;
    NodeSetIntC(params.get(), "trk", i32(anchorTrack));
    NodeSetIntC(params.get(), "tim", i32(anchorMs));

    LDataBuf buf;
    CChunkFile file;
    file.OpenWrite(kNSqScrapFirst, kNSqScrapSecond, buf);
    u32 written = 0;
    for (u32 i = 0; i < sel.Count(); ++i) {
        u32 t, s;
        sel.GetAt(i, &t, &s);
        const CRecord* track = TrackAt(seq, t);
        if (!track || s >= Count(track)) continue;
        file.WriteRecord(SceneAt(track, s));
        NodeSetIntC(params.get(), std::to_string(written++).c_str(), i32(t));
    }
    file.WriteRecord(params.get());
    file.Close();
    if (file.WriteFailed()) return nullptr;
    auto* data = new LScrapData;
    if (!data->AddItem(ScrapTypeOf(kScrapNsqScenes), buf.Data(), file.WrittenSize(), 0)) {
        data->Release();
        return nullptr;
    }
    return data;
}

CNSqScnScrap::CNSqScnScrap(CDropSource* source) {
    CDropDataReader reader(source);
    const void* bytes = nullptr;
    u32 size = 0;
    if (!reader.GetData(ScrapTypeOf(kScrapNsqScenes), 0, &bytes, &size)) return;
    CChunkFile file;
    if (!file.OpenRead(bytes, size) || file.FirstCode() != kNSqScrapFirst ||
        file.SecondCode() != kNSqScrapSecond)
        return;
    CRecord* params = nullptr;
    while (CRecord* r = file.ReadRecord()) {
        if (r->Family() == kFamUnd && r->Kind() == kKindPrms && !params) {
            params = r;
        } else if (r->Family() == kFamNsq && r->Kind() == kKindSscn) {
            fScenes.push_back(r);
        } else {
            // A foreign record keeps its place, so the track numbers stay paired.
            if (r->Family() == kFamNsq) fScenes.push_back(nullptr);
            CRecord::Destroy(r);
        }
    }
    if (!params) return;
    fTrack = u32(NodeGetIntOr(params, "trk", 0));
    fTime = u32(NodeGetIntOr(params, "tim", 0));
    for (size_t i = 0; i < fScenes.size(); ++i)
        fTracks.push_back(u32(NodeGetIntOr(params, std::to_string(i).c_str(), 0)));
    CRecord::Destroy(params);
}

CNSqScnScrap::~CNSqScnScrap() {
    for (size_t i = fNext; i < fScenes.size(); ++i)
        if (fScenes[i]) CRecord::Destroy(fScenes[i]);
}

CRecord* CNSqScnScrap::Next(u32* track) {
    while (fNext < fScenes.size()) {
        const size_t i = fNext++;
        if (!fScenes[i]) continue;
        *track = i < fTracks.size() ? fTracks[i] : 0;
        return std::exchange(fScenes[i], nullptr);
    }
    return nullptr;
}

// ---- delete and drop

void NSqDeleteSelectedScenes(LHandler* undoOwner, CNSqScnSel& sel) {
    auto step = OpenStep(undoOwner);
    for (u32 i = sel.Count(); i-- > 0;) {
        if (i >= sel.Count()) continue;
        u32 t, s;
        sel.GetAt(i, &t, &s);
        if (CRecord* track = TrackAt(sel.Sequence(), t)) NSqTrkRemoveScene(track, undoOwner, s);
    }
}

u32 NSqDropScenes(LHandler* undoOwner, CNSqTimeScale& scale, CNSqScnScrap& scrap, i32 row,
                  double seconds, bool move) {
    CNSqScnSel& sel = scale.Selection();
    CRecord* seq = sel.Sequence();
    if (!seq || row < 0 || u32(row) >= seq->GetListCount(SseqF::trks)) return 0;
    auto step = OpenStep(undoOwner);
    if (move)
        NSqDeleteSelectedScenes(undoOwner, sel);
    else
        sel.DeselectAll();
    const double ms = std::isfinite(seconds) ? std::trunc(seconds * 1000.0) : 0.0;
    const u32 offset = u32(i64(std::clamp(ms, -4294967295.0, 4294967295.0))) - scrap.Time();
    const u32 tracks = seq->GetListCount(SseqF::trks);
    u32 placed = 0;
    u32 from;
    while (CRecord* scene = scrap.Next(&from)) {
        const i64 target = i64(from) - i64(scrap.Track()) + row;
        const u32 t = RoundTime(scale, TimeOf(scene) + offset);
        if (target < 0 || target >= i64(tracks) || t >= kNSqDayMs) {
            CRecord::Destroy(scene);
            continue;
        }
        scene->SetU32(nullptr, SscnF::time, t);
        CRecord* track = TrackAt(seq, u32(target));
        const u32 at = NSqTrkInsertScene(track, undoOwner, scene);
        sel.SetSelected(u32(target), at, true);
        ++placed;
    }
    return placed;
}

// ---- move time

bool NSqEarliestSelected(CNSqScnSel& sel, u32* ms) {
    bool any = false;
    for (u32 i = 0; i < sel.Count(); ++i) {
        u32 t, s;
        sel.GetAt(i, &t, &s);
        const CRecord* track = TrackAt(sel.Sequence(), t);
        if (!track || s >= Count(track)) continue;
        const u32 time = TimeOf(SceneAt(track, s));
        *ms = any ? std::min(*ms, time) : time;
        any = true;
    }
    return any;
}

void NSqMoveScenesTo(LHandler* undoOwner, CNSqTimeScale& scale, u32 newMs, bool followers) {
    CNSqScnSel& sel = scale.Selection();
    u32 earliest;
    if (!NSqEarliestSelected(sel, &earliest) || newMs == earliest) return;
    const i64 delta = i64(newMs) - i64(earliest);
    // Per track, the selected scenes by ascending index.
    std::map<u32, std::vector<CRecord*>> groups;
    for (u32 i = 0; i < sel.Count(); ++i) {
        u32 t, s;
        sel.GetAt(i, &t, &s);
        const CRecord* track = TrackAt(sel.Sequence(), t);
        if (track && s < Count(track)) groups[t].push_back(SceneAt(track, s));
    }
    for (auto& [t, scenes] : groups)
        std::sort(scenes.begin(), scenes.end(),
                  [](const CRecord* a, const CRecord* b) { return a->GetIndex() < b->GetIndex(); });
    auto step = OpenStep(undoOwner);
    auto moved = [&](const CRecord* scene) { return i64(TimeOf(scene)) + delta; };
    for (auto& [t, scenes] : groups) {
        CRecord* track = TrackAt(sel.Sequence(), t);
        if (!track) continue;
        if (!followers) {
            for (CRecord* scene : scenes) {
                const i64 to = moved(scene);
                const u32 at = RoundTime(scale, u32(std::clamp<i64>(to, 0, kNSqDayMs)));
                if (at >= kNSqDayMs) {
                    NSqTrkRemoveScene(track, undoOwner, scene->GetIndex());
                    continue;
                }
                // Taken out to be put in its place, it leaves the selection: it comes back.
                NSqTrkSetSceneTime(track, undoOwner, scene->GetIndex(), at);
                sel.SetSelected(t, scene->GetIndex(), true);
            }
            continue;
        }
        u32 first = scenes.front()->GetIndex();
        if (delta >= 0) {
            for (u32 k = Count(track); k-- > first;) {
                CRecord* scene = SceneAt(track, k);
                const u32 to = RoundTime(scale, u32(moved(scene)));
                if (to < kNSqDayMs)
                    scene->SetU32(undoOwner, SscnF::time, to);
                else
                    NSqTrkRemoveScene(track, undoOwner, k);
            }
        } else {
            // The scenes the first selected one now runs over give way.
            const i64 reach = moved(SceneAt(track, first));
            while (first > 0 && i64(TimeOf(SceneAt(track, first - 1))) >= reach)
                NSqTrkRemoveScene(track, undoOwner, --first);
            for (u32 k = first; k < Count(track); ++k) {
                CRecord* scene = SceneAt(track, k);
                const i64 to = std::max<i64>(0, moved(scene));
                scene->SetU32(undoOwner, SscnF::time, RoundTime(scale, u32(to)));
            }
        }
    }
}

bool NSqMoveSceneTimes(LHandler* undoOwner, LHandler* parent, CRecord* prefsNode,
                       CNSqTimeScale& scale) {
    auto ask = PlayHooks().moveTimeDialog;
    u32 earliest;
    if (!ask || !NSqEarliestSelected(scale.Selection(), &earliest)) return false;
    u32 ms = earliest;
    const i32 kept = prefsNode ? NodeGetIntOr(prefsNode, "mvtmflws", 0) : 0;
    u32 follow = kept < 0 ? 0 : u32(kept);
    if (!ask(parent, &ms, &follow)) return false;
    if (prefsNode) NodeSetInt(prefsNode, nullptr, "mvtmflws", i32(follow));
    if (ms == earliest) return false;
    NSqMoveScenesTo(undoOwner, scale, ms, follow == 0);
    return true;
}
