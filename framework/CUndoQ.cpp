#include "framework/CUndoQ.h"

#include <algorithm>
#include <cstring>

#include "base/CBufFileStrm.h"
#include "base/FileOps.h"
#include "base/Paths.h"
#include "base/TextFormat.h"
#include "framework/LMenu.h"

namespace {

// Record layout: u32 length, 4 reserved, u64 replay context, u64 replay function,
// u8 final, 7 reserved, the name as zero, bytes, zero; the body; u32 length again.
// Host byte order: the file never outlives the process that wrote it.
constexpr u32 kHeaderSize = 32;
constexpr u32 kContextAt = 8;
constexpr u32 kReplayAt = 16;
constexpr u32 kFinalAt = 24;
constexpr u32 kTrailerSize = 4;
constexpr u32 kMinRecord = kHeaderSize + 2 + kTrailerSize;
// Transactions nest a few levels deep; anything deeper is not ours.
constexpr u32 kMaxNesting = 32;

constexpr u32 kStrListType = FourCC("CST#");
enum : u32 { kTitleUndo = 0, kTitleRedo = 1, kTitleUndoNamed = 2, kTitleRedoNamed = 3 };

u64 FnWord(CUndoStrm::ReplayFn fn) {
    return reinterpret_cast<u64>(fn);
}

}  // namespace

// One transaction writing into the log, or one record's body being read for a replay.
// A transaction continuing the previous step reads that step's body from its own
// cursor, before its writes replace it.
class CUndoLogStrm final : public CUndoStrm, public LHandler {
public:
    // A transaction on behalf of handler; it records once a queue attaches it.
    explicit CUndoLogStrm(LHandler* handler) : LHandler(handler) {}
    // The body [lo, hi) of a record, read from its start (redo) or its end (undo).
    CUndoLogStrm(CUndoQ* q, u64 lo, u64 hi, bool atEnd)
        : fQ(q), fReading(1), fLo(lo), fHi(hi), fRPos(atEnd ? hi : lo) {}
    ~CUndoLogStrm() override {
        // The step of a compound transaction closes inside it.
        delete fInner;
        if (fQ && !fReading) fQ->Close(this);
    }

    void WriteU8(u8 v) override { WriteBytes(&v, 1); }
    void WriteU32(u32 v) override { WriteBytes(&v, 4); }
    void WriteU64(u64 v) override { WriteBytes(&v, 8); }
    void WriteBytes(const void* bytes, u32 n) override {
        if (fInner)
            fInner->WriteBytes(bytes, n);
        else if (fQ && !fReading)
            fQ->Write(bytes, n);
    }
    void WriteText(const char* text, u32 n) override {
        WriteU8(0);
        WriteBytes(text, n);
        WriteU8(0);
    }

    bool ReadU8(u8* v) override { return ReadBytes(v, 1); }
    bool ReadU32(u32* v) override { return ReadBytes(v, 4); }
    bool ReadU64(u64* v) override { return ReadBytes(v, 8); }
    bool ReadBytes(void* bytes, u32 n) override {
        if (fInner) return fInner->ReadBytes(bytes, n);
        u64* pos;
        u64 hi;
        if (!Cursor(&pos, &hi)) return false;
        if (*pos > hi || hi - *pos < n || !fQ->ReadAt(*pos, bytes, n)) return Fail();
        *pos += n;
        return true;
    }
    bool ReadText(LString* out) override {
        if (fInner) return fInner->ReadText(out);
        u64* pos;
        u64 hi;
        u8 z;
        if (!Cursor(&pos, &hi) || !ReadU8(&z)) return false;
        u64 zero;
        if (z != 0 || !fQ->FindZero(*pos, hi, true, &zero)) return Fail();
        if (!ReadString(*pos, zero, out)) return false;
        *pos = zero + 1;
        return true;
    }

    bool ReadBackU8(u8* v) override { return ReadBackBytes(v, 1); }
    bool ReadBackU32(u32* v) override { return ReadBackBytes(v, 4); }
    bool ReadBackU64(u64* v) override { return ReadBackBytes(v, 8); }
    bool ReadBackBytes(void* bytes, u32 n) override {
        if (!fReading) return false;
        if (fRPos < fLo || fRPos - fLo < n || !fQ->ReadAt(fRPos - n, bytes, n)) return Fail();
        fRPos -= n;
        return true;
    }
    bool ReadBackText(LString* out) override {
        u8 z;
        if (!ReadBackU8(&z)) return false;
        u64 zero;
        if (z != 0 || !fQ->FindZero(fLo, fRPos, false, &zero)) return Fail();
        if (!ReadString(zero + 1, fRPos, out)) return false;
        fRPos = zero;
        return true;
    }

    bool Continues() const override { return fInner ? fInner->Continues() : fContinued != 0; }

    bool ReplayNested(bool redo) override {
        if (!fReading || (redo ? fRPos >= fHi : fRPos <= fLo)) return false;
        CUndoQ::Rec r;
        if (!(redo ? fQ->CheckRecord(fRPos, fHi, 0, &r) : fQ->CheckRecordBefore(fRPos, fLo, &r))) {
            fRPos = redo ? fHi : fLo;
            return Fail();
        }
        CUndoLogStrm body(fQ, r.bodyStart, r.bodyEnd, !redo);
        reinterpret_cast<CUndoStrm::ReplayFn>(r.replay)(reinterpret_cast<void*>(r.context), &body,
                                                        redo);
        fRPos = redo ? r.at + r.length : r.at;
        return true;
    }

    // The record setters' opener: a compound transaction (mode 2) is a plain one around
    // one step with the given replay function, which receives the writes.
    static CUndoStrm* Open(LHandler* handler, void* context, ReplayFn replay, const char* name,
                           u32 mode, u32 merge) {
        if (mode != kModeCompound) return OpenOne(handler, context, replay, name, mode, merge);
        CUndoLogStrm* outer = OpenOne(handler, nullptr, nullptr, name, kModeRecord, kMergeNew);
        if (outer) outer->fInner = OpenOne(handler, context, replay, name, kModeRecord, merge);
        return outer;
    }

private:
    friend class CUndoQ;

    static CUndoLogStrm* OpenOne(LHandler* handler, void* context, ReplayFn replay,
                                 const char* name, u32 mode, u32 merge) {
        CUndoLogStrm* s = new CUndoLogStrm(handler);
        LHandler::Send(CUndoStrm_Find, s, handler);
        if (s->fQ && !s->fQ->Begin(s, context, replay, name, mode, merge)) s->fQ = nullptr;
        if (s->fQ) return s;
        delete s;
        return nullptr;
    }

    // Where reads go: a replayed body, or the kept body of a continued step.
    bool Cursor(u64** pos, u64* hi) {
        if (fReading) {
            *pos = &fRPos;
            *hi = fHi;
            return true;
        }
        if (fContinued && fQ) {
            *pos = &fKeptPos;
            *hi = fKeptEnd;
            return true;
        }
        return false;
    }
    bool ReadString(u64 from, u64 to, LString* out) {
        if (to - from > 0xFFFFFFF0u) return Fail();
        std::vector<char> text(size_t(to - from));
        if (!text.empty() && !fQ->ReadAt(from, text.data(), u32(text.size()))) return Fail();
        *out = LString(text.data(), u32(text.size()));
        return true;
    }
    // A replay reading past its record means the log cannot be trusted; the kept body of a
    // continued step that does not hold what its writer looks for is merely not kept.
    bool Fail() {
        if (fReading) fQ->fReadFailed = 1;
        return false;
    }

    CUndoQ* fQ = nullptr;
    CUndoLogStrm* fInner = nullptr;  // the step inside a compound transaction
    u8 fReading = 0;
    u8 fNested = 0;     // another transaction was open when this one attached
    u8 fContinued = 0;  // this one continues the previous step
    u64 fRecStart = 0;
    u64 fKeptPos = 0;  // a continued step: the previous body, read before it is replaced
    u64 fKeptEnd = 0;
    u64 fLo = 0;
    u64 fHi = 0;
    u64 fRPos = 0;
};

// ---------------------------------------------------------------- the queue

CUndoQ::CUndoQ(LHandler* parent, u32 sizeLimit) : LHandler(parent), fLimit(sizeLimit) {
    LResId id{0, "CUNDOQ"};
    LStrListRes::Open(&fTexts, &id, nullptr, kStrListType);
    OpenLog();
    Remember(CUndoStrm::ReplayGroup);
    Remember(CUndoStrm::ReplayCompound);
    CUndoStrm::SetOpener(CUndoLogStrm::Open);
}

CUndoQ::~CUndoQ() {
    CloseLog();
}

void CUndoQ::OpenLog() {
    fFile = new CTempFile("undo", nullptr);
    if (fFile->Failed()) {
        CloseLog();
        return;
    }
    fStrm = new CBufFileStrm(fFile->Path(), CStrm::kModeWrite);
    if (fStrm->Error()) CloseLog();
}

void CUndoQ::CloseLog() {
    delete fStrm;
    fStrm = nullptr;
    delete fFile;
    fFile = nullptr;
}

void CUndoQ::Empty() {
    fPos = fStart = fEnd = 0;
    fFinal = 0;
    fBroken = 0;
    fTitlesValid = 0;
    if (fStrm && fStrm->Error()) {
        CloseLog();
        OpenLog();
    }
}

bool CUndoQ::CanUndo() const {
    return fStrm && !fBusy && !fReplaying && fPos != fStart;
}

bool CUndoQ::CanRedo() const {
    return fStrm && !fBusy && !fReplaying && fPos != fEnd;
}

// ---------------------------------------------------------------- file access

bool CUndoQ::ReadAt(u64 at, void* bytes, u32 n) {
    if (!fStrm) return false;
    if (fStrm->Position() != at) fStrm->SetPosition(at);
    u64 got = n;
    fStrm->Read(bytes, &got);
    return got == n && fStrm->Error() == CStrm::kErrNone;
}

void CUndoQ::WriteRaw(u64 at, const void* bytes, u32 n) {
    if (!fStrm) return;
    if (fStrm->Position() != at) fStrm->SetPosition(at);
    fStrm->Write(bytes, n);
}

void CUndoQ::Write(const void* bytes, u32 n) {
    if (!fStrm || fBroken || !n) return;
    // Also a continued step: its body may be longer than the one it replaces.
    Evict(n);
    WriteRaw(fPos, bytes, n);
    fPos += n;
}

// After a wrap the oldest steps lie ahead of the position: drop those the write would touch.
void CUndoQ::Evict(u64 n) {
    while (fStart > fTopStart && fStart <= fPos + n) {
        u32 length = 0, trailer = 0;
        if (fStart + kMinRecord > fWrap || !ReadAt(fStart, &length, 4) || length < kMinRecord ||
            length > fWrap - fStart || !ReadAt(fStart + length - kTrailerSize, &trailer, 4) ||
            trailer != length) {
            // What lies there is no record: keep only the steps being written.
            fStart = fTopStart;
            return;
        }
        fStart += length;
        if (fStart >= fWrap) fStart = 0;
    }
}

void CUndoQ::Wrap() {
    // Steps from an earlier wrap lie past the new wrap point, where no undo reaches them.
    if (fStart > fPos) fStart = 0;
    fWrap = fPos;
    fPos = 0;
    if (fStart != 0) return;
    Rec first;
    if (CheckRecord(0, fWrap, 0, &first)) {
        fStart = first.at + first.length;
        if (fStart >= fWrap) fStart = 0;
    }
}

bool CUndoQ::FindZero(u64 from, u64 to, bool forwards, u64* at) {
    u8 chunk[256];
    while (from < to) {
        const u32 n = u32(std::min<u64>(sizeof chunk, to - from));
        const u64 base = forwards ? from : to - n;
        if (!ReadAt(base, chunk, n)) return false;
        if (forwards) {
            if (const void* z = std::memchr(chunk, 0, n)) {
                *at = base + u64(static_cast<const u8*>(z) - chunk);
                return true;
            }
            from += n;
        } else {
            for (u32 i = n; i-- > 0;)
                if (chunk[i] == 0) {
                    *at = base + i;
                    return true;
                }
            to -= n;
        }
    }
    return false;
}

// ---------------------------------------------------------------- records

void CUndoQ::Remember(CUndoStrm::ReplayFn fn) {
    if (!Knows(FnWord(fn))) fKnown.push_back(fn);
}

bool CUndoQ::Knows(u64 replay) const {
    for (CUndoStrm::ReplayFn fn : fKnown)
        if (FnWord(fn) == replay) return true;
    return false;
}

bool CUndoQ::CheckRecord(u64 at, u64 bound, u32 depth, Rec* out) {
    u8 h[kHeaderSize + 1];
    if (at > bound || bound - at < kMinRecord || !ReadAt(at, h, sizeof h)) return false;
    u32 length, trailer;
    std::memcpy(&length, h, 4);
    if (length < kMinRecord || length > bound - at ||
        !ReadAt(at + length - kTrailerSize, &trailer, 4) || trailer != length || h[kHeaderSize])
        return false;
    Rec r;
    r.at = at;
    r.length = length;
    std::memcpy(&r.context, h + kContextAt, 8);
    std::memcpy(&r.replay, h + kReplayAt, 8);
    r.final = h[kFinalAt];
    r.bodyEnd = at + length - kTrailerSize;
    u64 nameEnd;
    if (!Knows(r.replay) || !FindZero(at + kHeaderSize + 1, r.bodyEnd, true, &nameEnd))
        return false;
    r.bodyStart = nameEnd + 1;
    if (r.replay == FnWord(CUndoStrm::ReplayGroup) ||
        r.replay == FnWord(CUndoStrm::ReplayCompound)) {
        if (depth >= kMaxNesting) return false;
        for (u64 p = r.bodyStart; p < r.bodyEnd;) {
            Rec inner;
            if (!CheckRecord(p, r.bodyEnd, depth + 1, &inner)) return false;
            p += inner.length;
        }
    } else if (!r.context) {
        return false;
    }
    *out = r;
    return true;
}

bool CUndoQ::CheckRecordBefore(u64 end, u64 lower, Rec* out) {
    u32 length;
    if (end < lower || end - lower < kMinRecord || !ReadAt(end - kTrailerSize, &length, 4) ||
        length > end - lower)
        return false;
    return CheckRecord(end - length, end, 0, out) && out->length == length;
}

bool CUndoQ::Locate(bool redo, Rec* out) {
    if (redo) {
        // The step after the last one written before a wrap is at 0.
        const u64 at = fPos >= fLimit ? 0 : fPos;
        return CheckRecord(at, at <= fEnd ? fEnd : fWrap, 0, out);
    }
    return CheckRecordBefore(fPos, fStart <= fPos ? fStart : 0, out);
}

bool CUndoQ::RunStep(bool redo) {
    if (!(redo ? CanRedo() : CanUndo())) return false;
    Rec r;
    if (!Locate(redo, &r)) {
        Empty();
        return false;
    }
    fReplaying = 1;
    fReadFailed = 0;
    {
        CUndoLogStrm body(this, r.bodyStart, r.bodyEnd, !redo);
        reinterpret_cast<CUndoStrm::ReplayFn>(r.replay)(reinterpret_cast<void*>(r.context), &body,
                                                        redo);
    }
    fReplaying = 0;
    fTitlesValid = 0;
    if (fReadFailed || fStrm->Error()) {
        Empty();
        return true;
    }
    if (redo)
        fPos = r.at + r.length;
    else
        fPos = r.at == 0 && fStart != 0 ? fWrap : r.at;
    // The step before the position is no longer the last one written: nothing continues it.
    fFinal = 1;
    return true;
}

bool CUndoQ::GetTitle(bool redo, LString* out) {
    Rec r;
    if (!(redo ? CanRedo() : CanUndo())) return false;
    if (!Locate(redo, &r)) {
        Empty();
        return false;
    }
    const u64 nameAt = r.at + kHeaderSize + 1;
    std::vector<char> name(size_t(r.bodyStart - 1 - nameAt) + 1, 0);
    if (name.size() > 1 && !ReadAt(nameAt, name.data(), u32(name.size() - 1))) {
        Empty();
        return false;
    }
    LString templ;
    if (name[0] == 0) {
        LStrListRes::GetSharedItem(out, fTexts, redo ? kTitleRedo : kTitleUndo);
    } else {
        LStrListRes::GetSharedItem(&templ, fTexts, redo ? kTitleRedoNamed : kTitleUndoNamed);
        const char* items[1] = {name.data()};
        FormatTemplate(out, templ.CStr(), 1, items);
    }
    return true;
}

// ---------------------------------------------------------------- transactions

void CUndoQ::Attach(CUndoLogStrm* s) {
    s->fQ = this;
    s->fNested = fBusy;
    fBusy = 1;
    fTitlesValid = 0;
}

bool CUndoQ::Begin(CUndoLogStrm* s, void* context, CUndoStrm::ReplayFn replay, const char* name,
                   u32 mode, u32 merge) {
    if (!replay) replay = CUndoStrm::ReplayGroup;
    if (mode == CUndoStrm::kModeIfNested && !s->fNested) {
        fBusy = 0;
        return false;
    }
    Remember(replay);
    if (merge == CUndoStrm::kMergeContinue && !s->fNested && !fFinal && fPos != fStart) {
        Rec prev;
        if (!Locate(false, &prev)) {
            Empty();
        } else if (prev.context == reinterpret_cast<u64>(context) &&
                   prev.replay == FnWord(replay) && prev.final == 0) {
            // The new body replaces the previous one; the name stays.
            s->fContinued = 1;
            s->fRecStart = prev.at;
            s->fKeptPos = prev.bodyStart;
            s->fKeptEnd = prev.bodyEnd;
            fTopStart = prev.at;
            fPos = prev.bodyStart;
            return true;
        }
    }
    if (merge == CUndoStrm::kMergeFinal) fFinal = 1;
    if (!s->fNested) {
        fFinal = 0;
        if (fPos == fStart)
            fPos = fStart = fEnd = 0;  // nothing to undo: the log starts afresh
        else if (fPos >= fLimit)
            Wrap();
        fTopStart = fPos;
    }
    s->fRecStart = fPos;
    u8 h[kHeaderSize] = {};
    const u64 ctx = reinterpret_cast<u64>(context), fn = FnWord(replay);
    std::memcpy(h + kContextAt, &ctx, 8);
    std::memcpy(h + kReplayAt, &fn, 8);
    Write(h, sizeof h);
    s->WriteText(name, u32(std::strlen(name)));
    return true;
}

void CUndoQ::Close(CUndoLogStrm* s) {
    const u64 length = fPos + kTrailerSize - s->fRecStart;
    if (length > 0xFFFFFFFFu) fBroken = 1;
    const u32 len = u32(length);
    Write(&len, 4);
    fEnd = fPos;
    if (!fBroken) {
        WriteRaw(s->fRecStart, &len, 4);
        WriteRaw(s->fRecStart + kFinalAt, &fFinal, 1);
    }
    fBusy = s->fNested;
    if (!fBusy && (fBroken || !fStrm || fStrm->Error())) Empty();
}

void CUndoQ::ClearFrom(LHandler* handler) {
    CUndoLogStrm s(handler);
    LHandler::Send(CUndoStrm_Find, &s, handler);
    CUndoQ* q = s.fQ;
    if (!q) return;
    s.fQ = nullptr;  // nothing was written: nothing to close
    if (!s.fNested) q->Empty();
    q->fBusy = s.fNested;
}

namespace {
// Asks the chain for a queue without opening a transaction: a queue answers
// every "CUndoStrm_Find" and attaches only a real transaction.
struct CUndoQProbe : LHandler {
    // Back at the probe: nobody took it.
    LMessage HandleMessage(const LMessage&) override { return LMessage(); }
    bool fFound = false;
};
}  // namespace

bool CUndoQ::IsProbe(const LHandler* source) {
    return dynamic_cast<const CUndoQProbe*>(source) != nullptr;
}

bool CUndoQ::FoundFrom(LHandler* handler) {
    if (!handler) return false;
    CUndoQProbe probe;
    LHandler::Send(CUndoStrm_Find, &probe, handler);
    return probe.fFound;
}

// ---------------------------------------------------------------- messages

LMessage CUndoQ::HandleMessage(const LMessage& msg) {
    if (msg.Is(CUndoStrm_Find)) {
        // A replay records nothing: redo after undo must find the same step.
        auto* s = dynamic_cast<CUndoLogStrm*>(msg.source);
        if (s && !s->fQ && !fReplaying && fStrm) Attach(s);
        if (auto* probe = dynamic_cast<CUndoQProbe*>(msg.source)) probe->fFound = true;
        return LMessage();
    }
    if (msg.Is(LMenuBar_Ready)) {
        if (auto* bar = dynamic_cast<LMenuBar*>(msg.source)) {
            if (!fTitlesValid) {
                if (!GetTitle(false, &fUndoTitle)) fUndoTitle.Release();
                if (!GetTitle(true, &fRedoTitle)) fRedoTitle.Release();
                fTitlesValid = 1;
            }
            if (CanUndo()) bar->EnableCommand(LStdCmd_Undo, fUndoTitle);
            if (CanRedo()) bar->EnableCommand(LStdCmd_Redo, fRedoTitle);
            // The first history up the chain is the window's whole history: a
            // window with one of its own (the universe addresses under the
            // control window) must not offer the steps of the window it came from.
            bar->SettleCommand(LStdCmd_Undo);
            bar->SettleCommand(LStdCmd_Redo);
        }
    } else if (msg.Is(LMenuItem_Selected)) {
        auto* item = dynamic_cast<LMenuItem*>(msg.source);
        const bool undo = item && item->HasCommand(LStdCmd_Undo);
        const bool redo = item && item->HasCommand(LStdCmd_Redo);
        if (undo && CanUndo()) {
            Undo();
        } else if (redo && CanRedo()) {
            Redo();
        }
        // Nothing left here is nothing to do: the step of another window's
        // history further up is not this window's to take back.
        if (undo || redo) return LMessage();
    }
    return LHandler::HandleMessage(msg);
}
