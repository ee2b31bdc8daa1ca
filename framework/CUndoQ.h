#pragma once
// The undo queue: a handler that keeps every undo step of its owner in one temporary
// file of bounded size, dropping the oldest steps when the file wraps, and answers the
// Undo and Redo menu commands. Edits find it by sending "CUndoStrm_Find" up the
// handler chain from the handler performing them (see records/CUndoStrm.h).

#include <vector>

#include "base/Resources.h"
#include "framework/LHandler.h"
#include "records/CUndoStrm.h"

class CBufFileStrm;
class CTempFile;
class CUndoLogStrm;

inline constexpr const char* CUndoStrm_Find = "CUndoStrm_Find";

class CUndoQ : public LHandler {
public:
    // Installs the record setters' transaction opener.
    CUndoQ(LHandler* parent, u32 sizeLimit);
    ~CUndoQ() override;

    // "LMenuBar_Ready" enables and titles the Undo and Redo items, "LMenuItem_Selected"
    // runs a step, "CUndoStrm_Find" attaches a transaction (none while a step replays).
    LMessage HandleMessage(const LMessage& msg) override;

    // Never while a transaction is open.
    bool CanUndo() const;
    bool CanRedo() const;
    // False when nothing ran.
    bool Undo() { return RunStep(false); }
    bool Redo() { return RunStep(true); }
    // The menu title of the step that Undo or Redo would run ("CUNDOQ" items 0 and 1 for
    // an unnamed step, 2 and 3 with the name); false when there is none.
    bool GetTitle(bool redo, LString* out);

    // The operation cannot be undone: empties the queue found from handler, unless a
    // transaction is already open there or a step is replaying.
    static void ClearFrom(LHandler* handler);
    // Whether a queue up the chain from handler records what it does.
    static bool FoundFrom(LHandler* handler);
    // Whether source is the question FoundFrom sends: a handler that records
    // nothing of what is done below it answers it by consuming it.
    static bool IsProbe(const LHandler* source);

protected:
    // The log as the tests inspect it.
    CBufFileStrm* LogStream() const { return fStrm; }
    u64 LogPosition() const { return fPos; }
    u64 LogEnd() const { return fEnd; }

private:
    friend class CUndoLogStrm;

    // A record of the log that checked out.
    struct Rec {
        u64 at = 0;
        u32 length = 0;
        u64 context = 0;
        u64 replay = 0;
        u8 final = 0;
        u64 bodyStart = 0;  // after the name
        u64 bodyEnd = 0;    // before the trailer
    };

    void OpenLog();
    void CloseLog();
    // Forgets every step; a log with a stream error is replaced by a fresh file.
    void Empty();

    bool ReadAt(u64 at, void* bytes, u32 n);
    void WriteRaw(u64 at, const void* bytes, u32 n);
    // Every write of a transaction: drops the oldest steps in the way, then writes at the position.
    void Write(const void* bytes, u32 n);
    void Evict(u64 n);
    void Wrap();
    bool FindZero(u64 from, u64 to, bool forwards, u64* at);

    // A record at `at` that ends no later than `bound`: lengths, trailer, name and replay
    // function (one used with this queue), and every nested step of a compound record.
    bool CheckRecord(u64 at, u64 bound, u32 depth, Rec* out);
    // The record ending at `end`, no earlier than `lower`.
    bool CheckRecordBefore(u64 end, u64 lower, Rec* out);
    // The step that Undo or Redo would run.
    bool Locate(bool redo, Rec* out);
    bool RunStep(bool redo);

    void Remember(CUndoStrm::ReplayFn fn);
    bool Knows(u64 replay) const;

    // Transactions.
    void Attach(CUndoLogStrm* s);
    bool Begin(CUndoLogStrm* s, void* context, CUndoStrm::ReplayFn replay, const char* name,
               u32 mode, u32 merge);
    void Close(CUndoLogStrm* s);

    LStrListHolder fTexts;
    CTempFile* fFile = nullptr;
    CBufFileStrm* fStrm = nullptr;

    u64 fLimit;
    u64 fPos = 0;       // undoable steps end here, redoable ones follow
    u64 fStart = 0;     // the oldest step kept
    u64 fEnd = 0;       // the end of the newest redoable step
    u64 fWrap = 0;      // where the data ended when writing restarted at 0
    u64 fTopStart = 0;  // the record of the outermost open transaction
    u8 fFinal = 0;
    u8 fBusy = 0;
    u8 fReplaying = 0;
    u8 fBroken = 0;      // an open transaction could not be written or read: drop it
    u8 fReadFailed = 0;  // a replay read outside its record or failed

    LString fUndoTitle;
    LString fRedoTitle;
    u8 fTitlesValid = 0;

    std::vector<CUndoStrm::ReplayFn> fKnown;
};
