#pragma once
// The owner of one record tree: marks itself modified on changes of tagged
// fields and hands every change notice to its listeners.

#include "base/LCallbackList.h"
#include "records/CRecord.h"

class CRecordDoc {
public:
    // Listener functions are called as function(object, notice).
    using ListenerFn = void (*)(void* object, CRecordNote* note);

    explicit CRecordDoc(CRecord* root = nullptr);
    // Sends the detach notices of the whole tree, then destroys it.
    virtual ~CRecordDoc();
    CRecordDoc(const CRecordDoc&) = delete;
    CRecordDoc& operator=(const CRecordDoc&) = delete;

    virtual void NotifyListeners(CRecordNote* note);
    // The schema to create for a child or list item read from data. Typed fields get
    // their declared kind whatever the data names.
    virtual const CRecordSchema* ResolveSchema(u32 family, u32 kind, CRecord* parent, u8 field);

    void AddListener(void* object, ListenerFn fn) {
        LCallbackPair p = LCallbackPair::Make(object, fn);
        fListeners.AddUnique(&p);
    }
    void RemoveListener(void* object, ListenerFn fn) {
        LCallbackPair p = LCallbackPair::Make(object, fn);
        fListeners.Remove(&p);
    }

    CRecord* Root() const { return fRoot; }
    bool IsModified() const { return fModified != 0; }
    void SetModified(bool m) { fModified = m ? 1 : 0; }
    u32 ChangeCount() const { return fChangeCount; }
    // Called by the setters for changes of tagged fields reached through tagged fields.
    void MarkChanged() {
        fModified = 1;
        ++fChangeCount;
    }
    LCallbackList& Listeners() { return fListeners; }

protected:
    CRecord* fRoot;
    LCallbackList fListeners;
    u8 fModified = 0;
    u32 fChangeCount = 0;
};
