#pragma once
// Drop targets: the drop pane with its highlight frame, the target record of
// classes that are not panes themselves, and the two auto-scrollers that
// scroll a list while a drag rests near its edge.

#include "framework/LDrop.h"
#include "framework/LTimer.h"

inline constexpr const char* LDropPane_Enter = "LDropPane_Enter";
inline constexpr const char* LDropPane_Drag = "LDropPane_Drag";
inline constexpr const char* LDropPane_Leave = "LDropPane_Leave";
inline constexpr const char* LDropPane_Drop = "LDropPane_Drop";
inline constexpr const char* CScrollHelper_Scroll = "CScrollHelper_Scroll";
inline constexpr const char* CDropScrollHelper_Enter = "CDropScrollHelper_Enter";
inline constexpr const char* CDropScrollHelper_Move = "CDropScrollHelper_Move";
inline constexpr const char* CDropScrollHelper_Drop = "CDropScrollHelper_Drop";
inline constexpr const char* CDropScrollHelper_Leave = "CDropScrollHelper_Leave";
inline constexpr const char* CDropScrollHelper_Scroll = "CDropScrollHelper_Scroll";

// Keeps a drop registration of a pane's window for as long as it lives.
class LDropRegistration {
public:
    explicit LDropRegistration(LPane* pane);
    ~LDropRegistration();
    LDropRegistration(const LDropRegistration&) = delete;
    LDropRegistration& operator=(const LDropRegistration&) = delete;

private:
    LNativeWindow fWindow = nullptr;
};

class LDropPane : public LPane {
public:
    LDropPane(LPane* owner, u8 highlightKind);
    ~LDropPane() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void StateChanged(u32 op) override;
    void BoundsChanged(const LRect& old) override;
    i32 TouchesRgn(const LRgn& region) override;
    void Draw(LDrawCtx& ctx) override;

    // While a drag is over the pane: the operation the owner chose.
    void SetDropOperation(u32 op);
    LDrop* Drag() const { return fDrag; }
    bool IsHighlighted() const { return fHighlighted; }

private:
    void SetHighlight(bool on);
    void MakeDragLeave();

    u8 fHighlighted = 0;
    u8 fKind;
    u32 fOperation = 0;
    LDrop* fDrag = nullptr;
    LDropRegistration fReg;
};

// A pane as drop target, for the classes that serve a pane without being it.
class LDropTarget {
public:
    explicit LDropTarget(LPane* pane);
    virtual ~LDropTarget();
    LDropTarget(const LDropTarget&) = delete;
    LDropTarget& operator=(const LDropTarget&) = delete;

    // Codes of Classify.
    enum : u32 {
        kOther = 0,
        kSensed = 1,  // the pane took the drag
        kEntered = 2,
        kLeft = 3,
        kMoved = 4,
        kDropped = 5,
    };

    u32 Classify(const LMessage& msg);
    void SetOperation(u32 op);
    LDrop* Drag() const { return fDrag; }
    LPane* Pane() const { return fPane; }

private:
    LPane* fPane;
    LDrop* fDrag = nullptr;
    LNativeWindow fWindow = nullptr;
};

// A repeating step in a direction while a point rests in a zone's edge band:
// "CScrollHelper_Scroll" one key-repeat delay after entering the band, one
// delay later, then every key-repeat interval.
class CScrollHelper : public LHandler {
public:
    explicit CScrollHelper(LHandler* parent);

    LMessage HandleMessage(const LMessage& msg) override;
    void Track(LPoint pt, const LRect& zone, i32 marginX, i32 marginY);
    void Stop();

    i32 DirX() const { return fDx; }
    i32 DirY() const { return fDy; }
    u8 Stage() const { return fStage; }

private:
    LTimer fTimer;
    i32 fDx = 0;
    i32 fDy = 0;
    u8 fStage = 0;
};

// The drag messages of a pane turned into its own messages, with
// auto-scrolling inside a zone. The owner calls HandleDrop first thing in its
// HandleMessage.
class CDropScrollHelper : public LHandler {
public:
    explicit CDropScrollHelper(LPane* owner);
    ~CDropScrollHelper() override;

    LMessage HandleMessage(const LMessage& msg) override;
    bool HandleDrop(const LMessage& msg);
    void SetZone(const LRect& zone, u32 marginX, u32 marginY);

    LDrop* Drag() const { return fDrag; }
    const CScrollHelper& Scroller() const { return fScroller; }
    // The drag's position in the owner's coordinates; {0, 0} without a drag.
    LPoint Pointer() const;

private:
    LPane* fOwner;
    LDrop* fDrag = nullptr;
    CScrollHelper fScroller;
    LRect fZone;
    u32 fMarginX = 8;
    u32 fMarginY = 8;
    LDropRegistration fReg;
};
