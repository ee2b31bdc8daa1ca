#pragma once
// Clipboard data: typed item lists, the text item and the application-wide clipboard.
// The pasteboard side belongs to the platform layer (LPasteboardServices).

#include "base/LList.h"
#include "base/LRef.h"
#include "base/LString.h"

class LDataBuf;

// A clipboard type: its name and its four-character code.
struct LScrapType {
    LString name;
    u32 code = 0;
};

class LScrapItem : public LLink {
public:
    LScrapItem() = default;
    ~LScrapItem() override;

    LString fTypeName;
    u32 fTypeCode = 0;
    u8* fData = nullptr;  // new[] block owned by the item
    u32 fSize = 0;
    u32 fFlags = 0;
};

// Starts with one count held by its creator; the release that reaches 0 disposes of it.
class LScrapData : public LRefObj {
public:
    LScrapData() : LRefObj(1) {}
    ~LScrapData() override;

    static void Dispose(LScrapData* data) { delete data; }

    // False when the copy of the bytes cannot be allocated.
    bool AddItem(const LScrapType& type, const void* data, u32 size, u32 flags);
    const LList& Items() const { return fItems; }

    // Adds every item to a drag's pasteboard (null: none); true when every
    // item has flag bit 0 (stays inside the application).
    bool WriteToPasteboard(void* pasteboard) const;
    void CopyToGeneralPasteboard() const;

private:
    LList fItems;
};

// The clipboard's pasteboard reader; bound to no pasteboard it finds nothing.
class LPbScrapReader {
public:
    LPbScrapReader() = default;
    virtual ~LPbScrapReader() = default;
    LPbScrapReader(const LPbScrapReader&) = delete;
    LPbScrapReader& operator=(const LPbScrapReader&) = delete;

    virtual bool HasType(const LString& typeName);
    virtual bool GetData(const LScrapType& type, LDataBuf& out);

    void* fPasteboard = nullptr;
};

// A clipboard item that the application owns and writes to the pasteboard when taken.
class LClipItem {
public:
    LClipItem() = default;
    LClipItem(const LClipItem&) = delete;
    LClipItem& operator=(const LClipItem&) = delete;

    virtual bool IsAvailable() = 0;
    virtual bool ReadFromPasteboard() = 0;
    virtual void WriteToPasteboard() = 0;
    virtual bool AssignFrom(LClipItem& other) = 0;
    virtual ~LClipItem() = default;
    virtual const char* GetTypeName() const = 0;
};

class LTextScrap : public LClipItem {
public:
    LTextScrap() = default;

    bool IsAvailable() override;
    bool ReadFromPasteboard() override { return false; }
    void WriteToPasteboard() override;
    // Shares the other item's text when it is of the same type.
    bool AssignFrom(LClipItem& other) override;
    const char* GetTypeName() const override { return "LTextScrap"; }

    LString fText;
};

class LClipboard {
public:
    LClipboard() = default;
    // Deletes the owned item, then releases the held data.
    ~LClipboard();
    LClipboard(const LClipboard&) = delete;
    LClipboard& operator=(const LClipboard&) = delete;

    // The application's clipboard, or null outside its lifetime.
    static LClipboard* Instance();
    // Start-up names the application's clipboard (null at shutdown).
    static void MakeInstance(LClipboard* clipboard);

    // Owns the item from now on and writes it to the pasteboard; the data list
    // held before is released. Giving the item already owned keeps it.
    void SetOwner(LClipItem* item);
    void Clear();
    // Holds the list (taking over the caller's count) and writes it to the
    // pasteboard; null only empties the clipboard.
    void Put(LScrapData* data);
    // Whether a kind of content could be pasted: the owned item of that type,
    // else whatever the pasteboard offers of it.
    bool CanProvide(LClipItem& kind);
    // Fills the kind from the owned item, else from the pasteboard.
    bool Read(LClipItem& kind);
    bool HasType(const LString& typeName);
    // The pasteboard reader, bound to the general pasteboard.
    LPbScrapReader& GetReader();
    void SetData(LScrapData* data);
    static void ReleaseData(LScrapData* data);

    LClipItem* fOwner = nullptr;
    LScrapData* fData = nullptr;
    LPbScrapReader fReader;
    u32 fLast = 0;
};

// Wakes an idle main loop; nothing needs waking on this platform.
class LIdleWaker {
public:
    LIdleWaker() : fFlag(1) {}
    ~LIdleWaker() { fFlag = 1; }
    void Wake() {}

    u8 fFlag;
};
