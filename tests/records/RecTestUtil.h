#pragma once
// Shared fixtures of the record tests: test kinds, a recording undo system,
// deep comparison and random trees.

#include <random>
#include <string>
#include <vector>

#include "records/CRecord.h"
#include "records/CRecordDoc.h"
#include "records/CUndoStrm.h"

namespace rt {

constexpr u32 kFam = FourCC("TEST");
constexpr u32 kRootKind = FourCC("ROOT");
constexpr u32 kItemKind = FourCC("ITEM");

// Field indexes of 'TEST'/'ROOT'.
enum : u8 {
    rVers,
    rTitl,
    rGain,
    rMode,
    rTrns,
    rScratch,
    rRows,
    rMain,
    rOpt,
    rAny,
    rWork,
    rNums,
    rLate,
    rTlst,
    rCount
};
// Field indexes of 'TEST'/'ITEM'.
enum : u8 { iSqid, iName, iLevl, iFlag, iVals, iStrs, iByts, iSubs, iCount };

const CRecordSchema* RootSchema();
const CRecordSchema* ItemSchema();

CRecord* NewRoot();
CRecord* NewItem(u32 sqid);

bool Equal(const CRecord* a, const CRecord* b, std::string* why = nullptr);

// A random item tree; floats are multiples of 1/100 so they survive their 2 digits.
CRecord* RandomItem(std::mt19937& rng, u32 depth);
// A random root with random items.
CRecord* RandomRoot(std::mt19937& rng);

// A record in its property-list form, and back. ReadRec gives a new record or
// null; ReadInto stores through pos, when given, how far the read went.
std::vector<u8> WriteRec(const CRecord* r);
CRecord* ReadRec(std::vector<u8> b);
bool ReadInto(std::vector<u8> b, CRecord* r, bool reset = false, u64* pos = nullptr);

// Listener collecting notices.
struct NoteLog {
    struct Entry {
        CRecord* record;
        u32 kind;
        u8 field;
        u32 extra;
        u32 index;
        LHandler* context;
    };
    std::vector<Entry> notes;
    static void Fn(void* self, CRecordNote* n) {
        static_cast<NoteLog*>(self)->notes.push_back(
            {n->record, n->kind, n->field, n->extra, n->index, n->context});
    }
    void Attach(CRecordDoc& doc) { doc.AddListener(this, Fn); }
    u32 Count(u32 kind) const {
        u32 c = 0;
        for (const Entry& e : notes) c += e.kind == kind;
        return c;
    }
};

// An undo system that keeps each step in memory and can replay it.
class RecordingUndo {
public:
    struct Open {
        void* context;
        CUndoStrm::ReplayFn replay;
        u32 mode;
        u32 merge;
        bool recorded;
    };
    struct Step {
        void* context = nullptr;
        CUndoStrm::ReplayFn replay = nullptr;
        bool final = false;
        bool continued = false;
        std::vector<u8> body;
        std::vector<Step> children;  // a plain compound step
    };

    RecordingUndo();
    ~RecordingUndo();

    std::vector<Open> opens;
    std::vector<Step> steps;
    u32 depth = 0;
    std::vector<Step*> openSteps;

    // Undoes or redoes the newest/oldest kept step; false when none.
    bool Undo();
    bool Redo();
    std::vector<Step> redo;

    static LHandler* Handler() { return reinterpret_cast<LHandler*>(&sHandlerTag); }

private:
    static int sHandlerTag;
    CUndoStrm::OpenFn fPrevious;
};

}  // namespace rt
