#pragma once
// The drag object of a window: the platform reports a drag over the window to
// it, and it turns the reports into the five "LDrop_" messages to the pane
// under the pointer and the pane that took the drag. The drop manager counts
// the drop targets of each window and keeps the window's drag object while
// there are any.

#include <vector>

#include "base/DropData.h"
#include "framework/LPane.h"
#include "services/DragServices.h"

inline constexpr const char* LDrop_Sense = "LDrop_Sense";
inline constexpr const char* LDrop_Enter = "LDrop_Enter";
inline constexpr const char* LDrop_Drag = "LDrop_Drag";
inline constexpr const char* LDrop_Leave = "LDrop_Leave";
inline constexpr const char* LDrop_Drop = "LDrop_Drop";

class LDrop : public LHandler {
public:
    explicit LDrop(LNativeWindow window) : fWindow(window) {}
    ~LDrop() override;

    // ---- the platform's side
    // The pointer is at a screen point; the source allows the mask's
    // operations and offers its items through source (retained while the drag
    // lasts; may be null).
    void Move(LPoint screen, u32 sourceMask, bool shift, CDropSource* source);
    // The drag left the window.
    void Exit();
    // The items were dropped: answers the operation performed (0 none).
    u32 Drop();

    // ---- the targets' side
    // Makes the pane the target (leaving the old one), then reports the move to it.
    void TrackTarget(LPane* pane);
    // When the pane is the target: no target, and the pane gets "LDrop_Leave".
    void LeaveTarget(LPane* pane);
    // When the pane is the target: no target, and no message.
    void ForgetTarget(LPane* pane);
    void SetOperation(i32 op);
    bool IsCopyOnly() const;
    bool IsShiftDown() const { return fShift; }
    LPoint ScreenPoint() const { return fPos; }
    LPane* Target() const { return fTarget; }
    CDropSource* Source() const { return fSource; }
    i32 Operation() const { return fOperation; }
    LNativeWindow Window() const { return fWindow; }

    // The drag of a message's source word, when the message is a drag message.
    static LDrop* From(const LMessage& msg) { return static_cast<LDrop*>(msg.source); }

private:
    void SetSource(CDropSource* source);

    LNativeWindow fWindow;
    LPoint fPos;
    u32 fMask = 0;
    bool fShift = false;
    bool fTracked = false;
    i32 fOperation = 0;
    LPane* fTarget = nullptr;
    CDropSource* fSource = nullptr;
};

class LDropMgr {
public:
    static LDropMgr& Instance();

    // Counts one more drop target in the window; the first one makes the
    // window accept drags and gives it its drag object. Null does nothing.
    void AddWindow(LNativeWindow window);
    // One less; at zero the window stops accepting drags and its drag object goes.
    void RemoveWindow(LNativeWindow window);
    // The window's drag object, null when it accepts no drags.
    LDrop* DropFor(LNativeWindow window) const;
    // A target going away: every drag that points at it forgets it, without a
    // message to the dying pane.
    void ForgetTarget(LPane* pane);

private:
    struct Entry {
        LNativeWindow window;
        u32 count;
        LDrop* drop;
    };
    std::vector<Entry> fEntries;
};

// Whether the drag offers the type; whether it carries files.
bool DragHasType(const LDrop* drop, const LScrapType& type);
bool DragHasFiles(const LDrop* drop);

// The files of a drag, as the application's paths to their targets.
class CDragFileReader {
public:
    void Attach(const LDrop* drop) { fDrop = drop; }
    // False past the last file or for an item that is no local file. status
    // (may be null): that of CDropFileRef; a link that cannot be followed
    // keeps its own path.
    bool GetFilePath(u32 index, LString* out, u32* status = nullptr) const;

private:
    const LDrop* fDrop = nullptr;
};

// The highlight frame of a drop pane: a ring inside the region, 2 pixels wide
// and one more for each kind above 0 (at most 4).
struct CDropItem {
    u8 kind = 0;
    LRgn region;

    static void GetFrameRegion(LRgn* out, const CDropItem& item);
    // Fills the ring with pen 4.
    static void Draw(const CDropItem& item, LDrawCtx& ctx);
};
