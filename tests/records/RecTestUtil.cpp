#include "RecTestUtil.h"

#include <cstring>

#include "base/CMemStrm.h"
#include "records/PropRecord.h"

namespace rt {

namespace {

using namespace RecField;

const RecFieldDesc kItemFields[] = {
    U32(FourCC("sqid")),
    Str(FourCC("name"), "item"),
    F32(FourCC("levl"), 0.0f, 2),
    U8(FourCC("flag")),
    Array(FourCC("vals"), kRecI32),
    Array(FourCC("strs"), kRecString),
    Array(FourCC("byts"), kRecU8),
    List(FourCC("subs"), kFam, kItemKind, kRecUntyped | kRecOptional),
};

const RecFieldDesc kRootFields[] = {
    U32(FourCC("vers"), 1),
    Str(FourCC("titl"), "untitled"),
    F32(FourCC("gain"), 0.5f, 3),
    U8(FourCC("mode"), 2),
    I32(FourCC("trns"), -1, kRecTransient),
    U32(0, 9),
    List(FourCC("rows"), kFam, kItemKind),
    Child(FourCC("main"), kFam, kItemKind),
    Child(FourCC("opt "), kFam, kItemKind, kRecOptional),
    Child(FourCC("anyc"), kFam, kItemKind, kRecUntyped | kRecOptional),
    Child(0, kFam, kItemKind),
    Array(FourCC("nums"), kRecU32),
    U32(FourCC("late"), 7),
    List(FourCC("tlst"), kFam, kItemKind, kRecTransient),
};
static_assert(sizeof(kRootFields) / sizeof(kRootFields[0]) == rCount);
static_assert(sizeof(kItemFields) / sizeof(kItemFields[0]) == iCount);

CRecordSchema gItem(kFam, kItemKind, iCount, kItemFields);
CRecordSchema gRoot(kFam, kRootKind, rCount, kRootFields);

// ---------------------------------------------------------------- in-memory undo stream

class MemUndoStrm final : public CUndoStrm {
public:
    // Writing into a step.
    MemUndoStrm(RecordingUndo* owner, RecordingUndo::Step* step)
        : fOwner(owner), fBody(&step->body), fPos(step->body.size()) {}
    // Reading a body for a replay.
    MemUndoStrm(std::vector<u8>* body, bool atEnd) : fBody(body), fPos(atEnd ? body->size() : 0) {}
    ~MemUndoStrm() override {
        if (fOwner) {
            --fOwner->depth;
            fOwner->openSteps.pop_back();
        }
    }

    void WriteU8(u8 v) override { WriteBytes(&v, 1); }
    void WriteU32(u32 v) override { WriteBytes(&v, 4); }
    void WriteU64(u64 v) override { WriteBytes(&v, 8); }
    void WriteBytes(const void* bytes, u32 n) override {
        const u8* b = static_cast<const u8*>(bytes);
        fBody->insert(fBody->end(), b, b + n);
        fPos = fBody->size();
    }
    void WriteText(const char* text, u32 n) override {
        WriteU8(0);
        WriteBytes(text, n);
        WriteU8(0);
    }

    bool ReadBytes(void* out, u32 n) override {
        if (fBody->size() - fPos < n) return false;
        std::memcpy(out, fBody->data() + fPos, n);
        fPos += n;
        return true;
    }
    bool ReadU8(u8* v) override { return ReadBytes(v, 1); }
    bool ReadU32(u32* v) override { return ReadBytes(v, 4); }
    bool ReadU64(u64* v) override { return ReadBytes(v, 8); }
    bool ReadText(LString* out) override {
        u8 z;
        if (!ReadU8(&z) || z != 0) return false;
        const size_t start = fPos;
        while (fPos < fBody->size() && (*fBody)[fPos] != 0) ++fPos;
        if (fPos == fBody->size()) return false;
        *out = LString(reinterpret_cast<const char*>(fBody->data() + start), u32(fPos - start));
        ++fPos;
        return true;
    }

    bool ReadBackBytes(void* out, u32 n) override {
        if (fPos < n) return false;
        fPos -= n;
        std::memcpy(out, fBody->data() + fPos, n);
        return true;
    }
    bool ReadBackU8(u8* v) override { return ReadBackBytes(v, 1); }
    bool ReadBackU32(u32* v) override { return ReadBackBytes(v, 4); }
    bool ReadBackU64(u64* v) override { return ReadBackBytes(v, 8); }
    bool ReadBackText(LString* out) override {
        u8 z;
        if (!ReadBackU8(&z) || z != 0) return false;
        const size_t end = fPos;
        while (fPos > 0 && (*fBody)[fPos - 1] != 0) --fPos;
        if (fPos == 0) return false;
        *out = LString(reinterpret_cast<const char*>(fBody->data() + fPos), u32(end - fPos));
        --fPos;
        return true;
    }

private:
    RecordingUndo* fOwner = nullptr;
    std::vector<u8>* fBody;
    size_t fPos;
};

RecordingUndo* gActive = nullptr;

CUndoStrm* OpenRecording(LHandler*, void* context, CUndoStrm::ReplayFn replay, const char*,
                         u32 mode, u32 merge) {
    RecordingUndo* u = gActive;
    const bool nested = u->depth > 0;
    if (mode == CUndoStrm::kModeIfNested && !nested) {
        u->opens.push_back({context, replay, mode, merge, false});
        return nullptr;
    }
    u->opens.push_back({context, replay, mode, merge, true});
    RecordingUndo::Step* step;
    if (!nested && merge == CUndoStrm::kMergeContinue && !u->steps.empty() &&
        u->steps.back().context == context && u->steps.back().replay == replay &&
        !u->steps.back().final) {
        step = &u->steps.back();
        step->body.clear();
        step->continued = true;
    } else if (nested) {
        u->openSteps.back()->children.emplace_back();
        step = &u->openSteps.back()->children.back();
    } else {
        u->redo.clear();
        u->steps.emplace_back();
        step = &u->steps.back();
    }
    step->context = context;
    step->replay = replay;
    if (merge == CUndoStrm::kMergeFinal) step->final = true;
    ++u->depth;
    u->openSteps.push_back(step);
    return new MemUndoStrm(u, step);
}

void ReplayStep(RecordingUndo::Step& s, bool redo) {
    if (!s.replay) {
        if (redo)
            for (auto& c : s.children) ReplayStep(c, true);
        else
            for (auto it = s.children.rbegin(); it != s.children.rend(); ++it)
                ReplayStep(*it, false);
        return;
    }
    MemUndoStrm strm(&s.body, !redo);
    s.replay(s.context, &strm, redo);
}

}  // namespace

int RecordingUndo::sHandlerTag = 0;

RecordingUndo::RecordingUndo() {
    gActive = this;
    fPrevious = CUndoStrm::SetOpener(OpenRecording);
    CRecord::ClearCoalescing();
}

RecordingUndo::~RecordingUndo() {
    CUndoStrm::SetOpener(fPrevious);
    gActive = nullptr;
}

bool RecordingUndo::Undo() {
    if (steps.empty()) return false;
    Step s = std::move(steps.back());
    steps.pop_back();
    ReplayStep(s, false);
    redo.push_back(std::move(s));
    return true;
}

bool RecordingUndo::Redo() {
    if (redo.empty()) return false;
    Step s = std::move(redo.back());
    redo.pop_back();
    ReplayStep(s, true);
    steps.push_back(std::move(s));
    return true;
}

const CRecordSchema* RootSchema() {
    return &gRoot;
}
const CRecordSchema* ItemSchema() {
    return &gItem;
}

CRecord* NewRoot() {
    return CRecord::New(&gRoot);
}

CRecord* NewItem(u32 sqid) {
    CRecord* r = CRecord::New(&gItem);
    r->SetU32(nullptr, iSqid, sqid);
    return r;
}

bool Equal(const CRecord* a, const CRecord* b, std::string* why) {
    auto fail = [&](const std::string& m) {
        if (why) *why = m;
        return false;
    };
    if (!a || !b) return a == b ? true : fail("null vs record");
    if (a->Schema() != b->Schema()) return fail("schema");
    for (u32 i = 0; i < a->FieldCount(); ++i) {
        const u8 f = u8(i);
        const RecFieldDesc& d = a->Desc(f);
        const std::string at = "field " + std::to_string(i);
        switch (d.type) {
            case kRecString:
                if (!(a->GetString(f) == b->GetString(f))) return fail(at);
                break;
            case kRecF32:
                if (a->GetF32(f) != b->GetF32(f)) return fail(at);
                break;
            case kRecArray: {
                const u32 n = a->GetArrayCount(f);
                if (n != b->GetArrayCount(f)) return fail(at + " count");
                if (d.elemType == kRecString) {
                    for (u32 k = 0; k < n; ++k)
                        if (!(static_cast<const LString*>(a->GetArrayData(f))[k] ==
                              static_cast<const LString*>(b->GetArrayData(f))[k]))
                            return fail(at);
                } else if (n && std::memcmp(a->GetArrayData(f), b->GetArrayData(f),
                                            n * RecElementSize(d.elemType))) {
                    return fail(at);
                }
                break;
            }
            case kRecChild:
                if (!Equal(a->GetChild(f), b->GetChild(f), why)) return false;
                break;
            case kRecList:
                if (a->GetListCount(f) != b->GetListCount(f)) return fail(at + " list count");
                for (u32 k = 0; k < a->GetListCount(f); ++k)
                    if (!Equal(a->GetListItem(f, k), b->GetListItem(f, k), why)) return false;
                break;
            default:
                if (a->GetField(f) != b->GetField(f)) return fail(at);
                break;
        }
    }
    return true;
}

namespace {
LString RandomText(std::mt19937& rng) {
    static const char kChars[] = "abcXYZ 09_-\n\t\xC3\xA9";
    std::string s;
    const u32 n = rng() % 12;
    for (u32 i = 0; i < n; ++i) s += kChars[rng() % (sizeof(kChars) - 1)];
    return LString(std::string_view(s));
}
}  // namespace

CRecord* RandomItem(std::mt19937& rng, u32 depth) {
    CRecord* r = CRecord::New(&gItem);
    r->SetU32(nullptr, iSqid, rng());
    r->SetString(nullptr, iName, RandomText(rng));
    r->SetF32(nullptr, iLevl, 0, f32(double(i32(rng() % 20001) - 10000) / 100.0));
    r->SetU8(nullptr, iFlag, u8(rng()));
    std::vector<i32> vals(rng() % 4);
    for (i32& v : vals) v = i32(rng());
    r->SetArray(nullptr, iVals, vals.data(), u32(vals.size()));
    std::vector<LString> strs(rng() % 3);
    for (LString& s : strs) s = RandomText(rng);
    r->SetArray(nullptr, iStrs, strs.data(), u32(strs.size()));
    std::vector<u8> bytes(rng() % 5);
    for (u8& b : bytes) b = u8(rng());
    r->SetArray(nullptr, iByts, bytes.data(), u32(bytes.size()));
    if (depth > 0) {
        const u32 n = rng() % 3;
        for (u32 k = 0; k < n; ++k) r->InsertItem(nullptr, iSubs, k, RandomItem(rng, depth - 1));
    }
    return r;
}

CRecord* RandomRoot(std::mt19937& rng) {
    CRecord* r = CRecord::New(&gRoot);
    r->SetU32(nullptr, rVers, rng());
    r->SetString(nullptr, rTitl, RandomText(rng));
    r->SetF32(nullptr, rGain, 0, f32(double(rng() % 100000) / 1000.0));
    r->SetU8(nullptr, rMode, u8(rng()));
    r->SetI32(nullptr, rTrns, i32(rng()));
    const u32 rows = rng() % 6;
    for (u32 k = 0; k < rows; ++k) r->InsertItem(nullptr, rRows, k, RandomItem(rng, 2));
    CRecord::Destroy(r->ReplaceChild(nullptr, rMain, RandomItem(rng, 1)));
    if (rng() % 2) CRecord::Destroy(r->ReplaceChild(nullptr, rOpt, RandomItem(rng, 1)));
    if (rng() % 2) CRecord::Destroy(r->ReplaceChild(nullptr, rAny, RandomItem(rng, 1)));
    std::vector<u32> nums(rng() % 5);
    for (u32& v : nums) v = rng();
    r->SetArray(nullptr, rNums, nums.data(), u32(nums.size()));
    return r;
}

std::vector<u8> WriteRec(const CRecord* r) {
    LDataBuf buf;
    u64 end;
    {
        CMemStrm s(buf);
        PropRecord::Write(&s, r);
        end = s.Position();
    }
    return std::vector<u8>(buf.Data(), buf.Data() + end);
}

CRecord* ReadRec(std::vector<u8> b) {
    CMemStrm s(b.data(), u32(b.size()));
    return PropRecord::ReadNew(&s);
}

bool ReadInto(std::vector<u8> b, CRecord* r, bool reset, u64* pos) {
    CMemStrm s(b.data(), u32(b.size()));
    const bool ok = PropRecord::ReadInto(&s, r, reset);
    if (pos) *pos = s.Position();
    return ok;
}

}  // namespace rt
