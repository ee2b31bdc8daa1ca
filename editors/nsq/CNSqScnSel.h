#pragma once
// The selected scenes of the edited NSQ sequence. Listeners of Doc() hear each
// selection and deselection as a change of field 0 of its 'YNST'/'SLNT' root:
// kind (1 selected, 2 deselected), then the track and scene index in fields 1
// and 2. The kind is back to 0 after each notice, so equal notices follow.

#include <vector>

#include "records/CRecordDoc.h"

class CNSqScnSel {
public:
    enum : u8 { kAtRest = 0, kSelected = 1, kDeselected = 2 };

    CNSqScnSel();
    ~CNSqScnSel();
    CNSqScnSel(const CNSqScnSel&) = delete;
    CNSqScnSel& operator=(const CNSqScnSel&) = delete;

    void SetSequence(CRecord* sequence);
    CRecord* Sequence() const { return fSeq; }
    CRecordDoc& Doc() { return fDoc; }

    u32 Count() const { return u32(fScenes.size()); }
    // Where the i-th selected scene is now.
    void GetAt(u32 i, u32* track, u32* scene) const;
    CRecord* SceneAt(u32 i) const { return fScenes[i]; }
    bool IsSelected(const CRecord* scene) const;
    void SetSelected(u32 track, u32 scene, bool select);
    void SelectOnly(u32 track, u32 scene);
    void DeselectAll();

private:
    void Notify(u8 kind, u32 track, u32 scene);
    void Drop(CRecord* scene, u32 track, u32 index);
    static void OnSequenceChange(void* self, CRecordNote* note);

    CRecord* fSeq = nullptr;
    CRecordDoc fDoc;
    // Kept in address order, so membership is a binary search.
    std::vector<CRecord*> fScenes;
};
