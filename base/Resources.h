#pragma once
// Resource lookup: a chain of resource sources searched from the last added to the
// first, resource files, raw blocks and string lists, shared images and the
// resource language.
//
// Resource files are packed archives (tools/respack): the program's own resources
// are compiled in and are the current file at launch; reference number 0 is an
// empty system file.

#include "base/LArray.h"
#include "base/LHandle.h"
#include "base/LRef.h"
#include "base/LString.h"

struct LRect;
struct LDrawEnv;

constexpr u32 kResLangUS = FourCC("US  ");
constexpr u32 kResLangJP = FourCC("JP  ");

// By name when name is non-null, else by number.
struct LResId {
    u32 number = 0;
    const char* name = nullptr;
};

// A resource as found in a file: its bytes stay valid while the file is open.
struct LResRecord {
    u32 type;
    u32 number;
    LString name;
    const u8* data;
    u32 size;
    u8 state;
};
using LResHandle = LResRecord*;

// ---- Resource files ----
// Opens an archive (the bytes are copied); 0 when it is malformed.
u32 OpenResArchive(const void* bytes, u32 size);
void CloseResArchive(u32 fileRef);
// The program's own resources.
u32 AppResFileRef();
u32 CurResFile();
void UseResFile(u32 fileRef);
LResHandle Get1Resource(u32 type, u32 number);
// A name is cut to 255 bytes before the look-up.
LResHandle Get1NamedResource(u32 type, const char* name);
u32 GetHandleSize(LResHandle handle);
// Packed resources are never purged; kept for the handle discipline of callers.
void LoadResource(LResHandle handle);

class LResObject;
// Looks in the current resource file only; the chain does the rest.
LResHandle GetResourceByIdOrName(LResObject* object, u32 fileRef, u32 type, const LResId* id,
                                 u32* size);

u8 LockResourceHandle(LResHandle handle);
void HSetState(LResHandle handle, u8 state);

class LHandleLock {
public:
    explicit LHandleLock(LResHandle handle);
    ~LHandleLock();
    LHandleLock(const LHandleLock&) = delete;
    LHandleLock& operator=(const LHandleLock&) = delete;
    const u8* Data() const { return fData; }
    u32 Size() const { return fSize; }

private:
    u8 fSavedState = 0;
    const u8* fData = nullptr;
    u32 fSize = 0;
    LResHandle fHandle = nullptr;
};

// ---- Sources and the chain ----

// Everything a source can load.
class LResObject {
public:
    virtual bool LoadFrom(u32 fileRef, const LResId* id) = 0;
    virtual ~LResObject() = default;
};

class LResSource {
public:
    virtual ~LResSource() = default;
    // True when this source supplied the resource.
    virtual bool Load(LResObject& object, const LResId* id) = 0;
    virtual u32 GetLanguage() = 0;
};

class LResChain : public LResSource {
public:
    LResChain() : fSources(sizeof(LResSource*)) {}
    void AddSource(LResSource* source);
    bool Load(LResObject& object, const LResId* id) override;
    u32 GetLanguage() override;

private:
    LArray fSources;  // not owned
};

class LResFile : public LResSource {
public:
    explicit LResFile(u32 fileRef) : fRef(fileRef) {}
    bool Load(LResObject& object, const LResId* id) override;
    u32 GetLanguage() override { return kResLangUS; }
    u32 FileRef() const { return fRef; }

private:
    u32 fRef;
};

// The application's default chain (null until start-up sets it; not owned).
LResSource* DefaultResChain();
void SetDefaultResChain(LResSource* chain);
// Calls Load of the given source, or of the default chain when null.
void LoadFromResChain(LResObject& object, const LResId* id, LResSource* source);

// ---- Resource objects ----

class LResBlock : public LResObject {
public:
    LResBlock(const LResId* id, LResSource* source, u32 type);
    bool LoadFrom(u32 fileRef, const LResId* id) override;
    const u8* Data() const { return fData.Data(); }
    u32 Size() const { return fData.Capacity(); }

private:
    u32 fType;
    LDataBuf fData;
};

class LStrListResRef;
using LStrListHolder = TRef<LStrListResRef>;

// A string list: big-endian u16 count, then count zero-terminated strings.
class LStrListRes : public LResObject {
public:
    LStrListRes(const LResId* id, LResSource* source, u32 type);
    LStrListRes(const LStrListRes&) = delete;
    LStrListRes& operator=(const LStrListRes&) = delete;
    bool LoadFrom(u32 fileRef, const LResId* id) override;

    u32 Count() const { return fCount; }
    // Item n, or the empty string past the count or past the resource's bytes.
    LString& GetItem(LString* out, u32 n) const;

    static void Open(LStrListHolder* holder, const LResId* id, LResSource* source, u32 type);
    static LString& GetSharedItem(LString* out, const LStrListHolder& holder, u32 n);
    static u32 Count(const LStrListHolder& holder);

private:
    u32 fCount = 0;
    mutable u32 fCacheIndex = 0;
    mutable u32 fCacheOffset = 0;
    u32 fType;
    LResHandle fHandle = nullptr;
};

class LStrListResRef : public LRefObj {
public:
    LStrListResRef(const LResId* id, LResSource* source, u32 type) : fList(id, source, type) {}
    const LStrListRes& List() const { return fList; }

    static void InitNull(LStrListHolder* holder) { holder->Reset(); }
    static void Assign(LStrListHolder* holder, const LStrListHolder& other) {
        holder->Reset(other.Get());
    }

private:
    LStrListRes fList;
};

// ---- Shared images ----

class LSharedImage : public LRefObj {
public:
    LSharedImage() = default;
    ~LSharedImage() override = default;
    virtual void Update() {}
    virtual bool IsValid() const { return false; }
    virtual bool CanDraw() const { return true; }
    // Width in the high 32 bits, height in the low 32 bits.
    virtual u64 GetSize() const { return 0; }
    // The platform image behind this one (not retained).
    virtual bool GetNativeImage(void** out) const {
        *out = nullptr;
        return false;
    }
    virtual void Draw(LDrawEnv* env, const LRect& rect) {
        (void)env;
        (void)rect;
    }

    static u64 PackSize(u32 width, u32 height) { return u64(width) << 32 | height; }
    // The one empty image, never freed.
    static void InitEmptyRef(TRef<LSharedImage>* ref);
    // The image, or the empty image when it is null or not valid.
    static void InitRef(TRef<LSharedImage>* ref, LSharedImage* image);

protected:
    u32 fAttr1 = 0;
    u32 fAttr2 = 0;
    LRef fMask;
};

// ---- Resource language ----

// The user's first preferred language, from LANGUAGE, LC_ALL, LC_MESSAGES or LANG.
class CPrefLocale {
public:
    CPrefLocale();
    // A locale name such as "ja_JP.UTF-8"; null or empty gives no locale.
    explicit CPrefLocale(const char* localeName);

    bool IsNull() const { return fNull; }
    const LString& Language() const { return fLanguage; }
    // 'JP  ' for Japanese, else 'US  '.
    u32 GetResLanguage() const;
    // 0..4: how well a preferred locale fits a reference locale.
    static u32 Match(const CPrefLocale& preferred, const CPrefLocale& reference);

private:
    void Parse(const char* name);
    bool fNull = true;
    LString fLanguage;
    LString fScript;
};
