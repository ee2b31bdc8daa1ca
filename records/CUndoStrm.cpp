#include "records/CUndoStrm.h"

namespace {
CUndoStrm::OpenFn gOpener = nullptr;
}

CUndoStrm::OpenFn CUndoStrm::SetOpener(OpenFn opener) {
    OpenFn old = gOpener;
    gOpener = opener;
    return old;
}

CUndoStrm* CUndoStrm::Open(LHandler* handler, void* replayContext, ReplayFn replay,
                           const char* name, u32 mode, u32 merge) {
    if (!gOpener || !handler) return nullptr;
    return gOpener(handler, replayContext, replay, name ? name : "", mode, merge);
}

void CUndoStrm::ReplayGroup(void*, CUndoStrm* strm, bool redo) {
    while (strm->ReplayNested(redo)) {
    }
}

void CUndoStrm::ReplayCompound(void*, CUndoStrm* strm, bool redo) {
    if (strm->ReplayNested(redo)) strm->ReplayNested(redo);
}
