#include "editors/nsq/CNSqKinds.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/Resources.h"
#include "editors/DeviceHooks.h"
#include "editors/nsq/CNSqSceneFrames.h"
#include "framework/StdDialogs.h"
#include "records/DeviceKinds.h"
#include "records/MediaIndex.h"
#include "records/NsqPrefKinds.h"
#include "records/NsqSets.h"
#include "records/RecordKinds.h"

namespace {
constexpr u8 kMediaDurationKnown = 2;
}

u32 CNSqKinds::KindForCommand(const char* command) const {
    return StrEqual(command, "cAddSeq") ? kKindPseq : 0;
}

u32 CNSqKinds::KindAt(u32 index) const {
    return index == 0 ? kKindPseq : 0;
}

CNSqModelPane* CNSqKinds::NewParamFrame(LPane* parent, u32 kind) {
    auto* ctx = dynamic_cast<CNSqDevCtx*>(this);
    return kind == kKindPseq && ctx ? new CNSqTSpecPup(parent, ctx) : nullptr;
}

void CNSqKinds::DescribeScene(const CRecord*, CNSqSceneInfo*) const {}

i32 CNSqKinds::TrackOfChange(const CRecord*, const CRecordNote*) const {
    return -1;
}

u32 CNSqKinds::RoundTime(u32 ms) const {
    const u64 r = TimeResolution() ? TimeResolution() : 1;
    const u64 t = u64(ms) + r / 2;
    const u64 rounded = t - t % r;
    return rounded > 0xFFFFFFFFu ? u32(0xFFFFFFFFu - 0xFFFFFFFFu % r) : u32(rounded);
}

double NSqUsableRate(double rate) {
    return std::isfinite(rate) && rate > 0 ? rate : 1.0;
}

u32 NSqClipLength(u32 from, u32 to, bool loop, const CRecord* mediaIndex, const LString& file,
                  double rate) {
    if (to > from) return loop ? kNSqOpenEnded : to - from;
    const CRecord* m = mediaIndex ? FindMediaFile(mediaIndex, file.CStr()) : nullptr;
    if (!m || m->GetU8(MdifF::stat) != kMediaDurationKnown) return 0;
    const u32 duration = m->GetU32(MdifF::dura);
    const double rest = duration > from ? double(duration - from) : 0.0;
    const double length = std::trunc(rest / NSqUsableRate(rate));
    return length >= double(kNSqLongestClip) ? kNSqLongestClip : u32(length);
}

bool NSqClipPosition(const CNSqClip& clip, u32 playing, u32 time, const u32* duration, u32* out) {
    if (playing != clip.sequence || time < clip.sceneTime || time >= clip.next) return false;
    const double e = std::trunc((time - clip.sceneTime) * NSqUsableRate(clip.rate));
    const u64 elapsed = e >= double(kNSqLongestClip) ? kNSqLongestClip : u64(e);
    u64 pos;
    if (clip.to <= clip.from) {
        pos = clip.from + elapsed;
        if (duration && pos >= *duration) pos = *duration;
    } else if (clip.loop) {
        pos = clip.from + elapsed % (clip.to - clip.from);
    } else {
        pos = clip.from + std::min<u64>(elapsed, clip.to - clip.from);
    }
    *out = pos > 0xFFFFFFFFu ? 0xFFFFFFFFu : u32(pos);
    return true;
}

LString NSqClockText(u32 ms) {
    const u64 s = (u64(ms) + 500) / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", unsigned(s / 3600), unsigned(s / 60 % 60),
                  unsigned(s % 60));
    return LString(text);
}

// ---- the device context

CNSqDevCtx::CNSqDevCtx(CRecord* sequenceSet, MPlayDevice* device, const LString* labels)
    : CRecordDoc(NewNsqStatRecord()),
      fSet(sequenceSet),
      fDevice(device),
      fMediaIndex(device ? device->MediaIndex() : nullptr) {
    // Kept while this editor shows lengths from it, never trimmed away.
    HoldMediaIndex(fMediaIndex);
    if (labels) {
        for (u32 i = 0; i < 5; ++i) fLabels[i] = labels[i];
    } else {
        LResId id{0, "NSQUCTXKVT"};
        LStrListRes res(&id, nullptr, kTextsResType);
        for (u32 i = 0; i < 5; ++i) res.GetItem(&fLabels[i], i);
    }
    CopyPlayingSequence();
    if (fDevice && fDevice->StateDoc()) fDevice->StateDoc()->AddListener(this, OnDeviceState);
}

CNSqDevCtx::~CNSqDevCtx() {
    if (fDevice && fDevice->StateDoc()) fDevice->StateDoc()->RemoveListener(this, OnDeviceState);
    ReleaseMediaIndex(fMediaIndex);
}

void CNSqDevCtx::CopyPlayingSequence() {
    const CRecord* state = fDevice && fDevice->StateDoc() ? fDevice->StateDoc()->Root() : nullptr;
    if (state && Root()) Root()->SetU32(nullptr, NsqStatF::sqid, state->GetU32(DvssF::sqid));
}

void CNSqDevCtx::OnDeviceState(void* self, CRecordNote* note) {
    if (note->kind == CRecordNote::kChanged && note->field == DvssF::sqid &&
        note->record->Kind() == kKindDvss)
        static_cast<CNSqDevCtx*>(self)->CopyPlayingSequence();
}

u32 CNSqDevCtx::KindForCommand(const char* command) const {
    if (StrEqual(command, "cAddDmx")) return kKindPdmx;
    if (StrEqual(command, "cAddAud")) return kKindPaud;
    if (StrEqual(command, "cAddVid")) return kKindPvid;
    return CNSqKinds::KindForCommand(command);
}

u32 CNSqDevCtx::KindAt(u32 index) const {
    static constexpr u32 kKinds[] = {kKindPseq, kKindPdmx, kKindPaud, kKindPvid};
    return index < 4 ? kKinds[index] : 0;
}

CNSqModelPane* CNSqDevCtx::NewParamFrame(LPane* parent, u32 kind) {
    // Video scenes have nothing to set.
    if (kind == kKindPaud) return new CNSqAudPrmF(parent, this);
    if (kind == kKindPdmx) return new CNSqDmxPrmF(parent, this);
    return CNSqKinds::NewParamFrame(parent, kind);
}

void CNSqDevCtx::DescribeScene(const CRecord* scene, CNSqSceneInfo* out) const {
    *out = CNSqSceneInfo();
    const CRecord* p = scene ? scene->GetChild(SscnF::prms) : nullptr;
    const u32 kind = p && p->Family() == kFamNsq ? p->Kind() : 0;
    if (kind == kKindPaud || kind == kKindPvid || kind == kKindPdmx) {
        StripExtension(&out->name, p->GetString(PdmxF::file).CStr());
        const double rate = kind == kKindPdmx ? p->GetF32(PdmxF::rate) : 1.0;
        out->length = NSqClipLength(p->GetU32(PdmxF::rngf), p->GetU32(PdmxF::rngt),
                                    p->GetU8(PdmxF::loop) != 0, MediaIndex(),
                                    p->GetString(PdmxF::file), rate);
        out->color = kind == kKindPdmx   ? NSqSceneColor::kDmx
                     : kind == kKindPaud ? NSqSceneColor::kAudio
                                         : NSqSceneColor::kVideo;
        out->label = fLabels[kind == kKindPdmx ? 2 : kind == kKindPaud ? 3 : 4];
    } else if (kind == kKindPseq) {
        const u32 id = p->GetU32(PseqF::sqid);
        if (id != 0) {
            // The scene's own set first: the settings may have been read anew since.
            const CRecord* set = fSet;
            for (const CRecord* r = scene; r; r = r->Parent())
                if (r->Family() == kFamNsq && r->Kind() == kKindSset) set = r;
            const CRecord* seq = set ? NSqSetFindSeq(set, id) : nullptr;
            out->name = seq ? seq->GetString(SseqF::name) : LString("?");
        }
        out->color = NSqSceneColor::kSequence;
        out->label = fLabels[1];
        out->length = kNSqOpenEnded;
    } else {
        out->label = fLabels[0];
    }
}

i32 CNSqDevCtx::TrackOfChange(const CRecord* sequence, const CRecordNote* note) const {
    const CRecord* r = note->record;
    if (!sequence || !r || r->Family() != kFamNsq || note->kind != CRecordNote::kChanged) return -1;
    const u8 f = note->field;
    const u32 kind = r->Kind();
    const bool counts = ((kind == kKindPaud || kind == kKindPvid) && f <= 3) ||
                        (kind == kKindPdmx && (f <= 3 || f == PdmxF::rate)) ||
                        (kind == kKindPseq && f == PseqF::sqid);
    if (!counts) return -1;
    const CRecord* scene = r->Parent();
    const CRecord* track = scene ? scene->Parent() : nullptr;
    if (!track || track->Parent() != sequence) return -1;
    return i32(track->GetIndex());
}
