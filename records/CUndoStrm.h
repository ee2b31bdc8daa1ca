#pragma once
// The undo transaction as the record setters see it: a stream they write their
// values into, together with the function that replays them. The undo queue
// supplies the transactions by installing an opener; without one nothing is recorded.

#include "base/LString.h"

// The handler on whose behalf a change is made (the undo context); defined by the framework.
class LHandler;

class CUndoStrm {
public:
    // Reads the body forwards (redo) or backwards (undo) and applies it.
    using ReplayFn = void (*)(void* replayContext, CUndoStrm* strm, bool redo);
    // The queue's transaction factory. Answers null when nothing is to be recorded
    // (no queue for the handler, mode 1 outside an enclosing transaction, a replay running).
    // A null replay function opens a plain compound transaction: the transactions
    // opened while it is open are its steps.
    using OpenFn = CUndoStrm* (*)(LHandler* handler, void* replayContext, ReplayFn replay,
                                  const char* name, u32 mode, u32 merge);

    enum : u32 {
        kModeRecord = 0,
        kModeIfNested = 1,  // records only inside an enclosing transaction
        kModeCompound = 2,
    };
    enum : u32 {
        kMergeFinal = 0,     // no later step may continue this one
        kMergeNew = 1,       // a new step
        kMergeContinue = 2,  // continue the previous step when it is of the same kind
    };

    virtual ~CUndoStrm() = default;  // closes the transaction

    virtual void WriteU8(u8 v) = 0;
    virtual void WriteU32(u32 v) = 0;
    virtual void WriteU64(u64 v) = 0;
    virtual void WriteBytes(const void* bytes, u32 n) = 0;
    // Stored as zero byte, the bytes, zero byte, so it can be found in both directions.
    virtual void WriteText(const char* text, u32 n) = 0;

    virtual bool ReadU8(u8* v) = 0;
    virtual bool ReadU32(u32* v) = 0;
    virtual bool ReadU64(u64* v) = 0;
    virtual bool ReadBytes(void* bytes, u32 n) = 0;
    virtual bool ReadText(LString* out) = 0;

    // Each reads the value that ends at the current position and moves to its start.
    virtual bool ReadBackU8(u8* v) = 0;
    virtual bool ReadBackU32(u32* v) = 0;
    virtual bool ReadBackU64(u64* v) = 0;
    virtual bool ReadBackBytes(void* bytes, u32 n) = 0;
    virtual bool ReadBackText(LString* out) = 0;

    // True when this transaction continues the previous step (merge 2): its body replaces
    // the previous one. Until the first write, the forward reads answer the previous body
    // from its start, so that a writer can keep the old value recorded before the first
    // merged change.
    virtual bool Continues() const { return false; }
    // While replaying a compound body: replays the next nested step in the reading
    // direction; false when none is left.
    virtual bool ReplayNested(bool redo) {
        (void)redo;
        return false;
    }
    // Replay of a plain compound step: every nested step, in order to redo, in reverse to undo.
    static void ReplayGroup(void* replayContext, CUndoStrm* strm, bool redo);
    // Replay of a step holding one or two nested steps: the first and then the second to
    // redo, the last and then the earlier one to undo.
    static void ReplayCompound(void* replayContext, CUndoStrm* strm, bool redo);

    // Installs the queue's factory; answers the previous one.
    static OpenFn SetOpener(OpenFn opener);
    // Null when no opener is installed or the opener records nothing.
    static CUndoStrm* Open(LHandler* handler, void* replayContext, ReplayFn replay,
                           const char* name, u32 mode, u32 merge);
};
