#include "base/Resources.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

extern const u8 kAppResArchive[];
extern const u32 kAppResArchiveSize;

namespace {

constexpr u8 kStateLocked = 0x80;

struct Archive {
    std::vector<u8> owned;  // empty for the compiled-in archive
    std::vector<std::unique_ptr<LResRecord>> records;
};

struct Files {
    std::map<u32, std::unique_ptr<Archive>> open;
    u32 nextRef = 2;
    u32 current = 0;
};

u32 BigEndian(const u8* p, u32 n) {
    u32 v = 0;
    for (u32 i = 0; i < n; i++) v = v << 8 | p[i];
    return v;
}

// Indexes an archive, checking every length against the bytes present.
bool IndexArchive(const u8* data, u32 size, Archive* a) {
    if (size < 8 || std::memcmp(data, "KVRA", 4) != 0) return false;
    u32 count = BigEndian(data + 4, 4);
    u64 pos = 8;
    for (u32 i = 0; i < count; i++) {
        if (pos + 10 > size) return false;
        auto r = std::make_unique<LResRecord>();
        r->type = BigEndian(data + pos, 4);
        r->number = BigEndian(data + pos + 4, 4);
        u32 nameLen = BigEndian(data + pos + 8, 2);
        pos += 10;
        if (pos + nameLen + 4 > size) return false;
        r->name = LString(reinterpret_cast<const char*>(data + pos), nameLen);
        pos += nameLen;
        r->size = BigEndian(data + pos, 4);
        pos += 4;
        if (pos + r->size > size) return false;
        r->data = data + pos;
        r->state = 0;
        pos += r->size;
        a->records.push_back(std::move(r));
    }
    return true;
}

Files& TheFiles() {
    static Files* files = [] {
        auto* f = new Files;
        // Reference 0: the system file, which holds nothing here.
        f->open[0] = std::make_unique<Archive>();
        auto app = std::make_unique<Archive>();
        if (!IndexArchive(kAppResArchive, kAppResArchiveSize, app.get())) app->records.clear();
        f->open[1] = std::move(app);
        f->current = 1;
        return f;
    }();
    return *files;
}

Archive* CurrentArchive() {
    Files& f = TheFiles();
    auto it = f.open.find(f.current);
    return it == f.open.end() ? nullptr : it->second.get();
}

LResSource* gDefaultChain = nullptr;

}  // namespace

// ---- Resource files ----

u32 OpenResArchive(const void* bytes, u32 size) {
    auto a = std::make_unique<Archive>();
    a->owned.assign(static_cast<const u8*>(bytes), static_cast<const u8*>(bytes) + size);
    if (!IndexArchive(a->owned.data(), size, a.get())) return 0;
    Files& f = TheFiles();
    u32 ref = f.nextRef++;
    f.open[ref] = std::move(a);
    return ref;
}

void CloseResArchive(u32 fileRef) {
    if (fileRef < 2) return;
    Files& f = TheFiles();
    f.open.erase(fileRef);
    if (f.current == fileRef) f.current = 1;
}

u32 AppResFileRef() {
    TheFiles();
    return 1;
}

u32 CurResFile() {
    return TheFiles().current;
}

void UseResFile(u32 fileRef) {
    Files& f = TheFiles();
    if (f.open.count(fileRef)) f.current = fileRef;
}

LResHandle Get1Resource(u32 type, u32 number) {
    Archive* a = CurrentArchive();
    if (!a) return nullptr;
    for (auto& r : a->records)
        if (r->type == type && r->name.IsEmpty() && r->number == number) return r.get();
    return nullptr;
}

LResHandle Get1NamedResource(u32 type, const char* name) {
    Archive* a = CurrentArchive();
    if (!a || !name) return nullptr;
    u32 len = StrLen(name);
    if (len > 255) len = 255;
    for (auto& r : a->records)
        if (r->type == type && r->name.Length() == len &&
            std::memcmp(r->name.CStr(), name, len) == 0)
            return r.get();
    return nullptr;
}

u32 GetHandleSize(LResHandle handle) {
    return handle ? handle->size : 0;
}

void LoadResource(LResHandle) {}

LResHandle GetResourceByIdOrName(LResObject*, u32, u32 type, const LResId* id, u32* size) {
    if (!id) return nullptr;
    LResHandle h = id->name ? Get1NamedResource(type, id->name) : Get1Resource(type, id->number);
    if (size && h) *size = GetHandleSize(h);
    return h;
}

u8 LockResourceHandle(LResHandle handle) {
    if (!handle) return 0;
    LoadResource(handle);
    u8 saved = handle->state;
    handle->state |= kStateLocked;
    return saved;
}

void HSetState(LResHandle handle, u8 state) {
    if (handle) handle->state = state;
}

LHandleLock::LHandleLock(LResHandle handle) {
    if (!handle) return;
    fSavedState = LockResourceHandle(handle);
    fHandle = handle;
    fData = handle->data;
    fSize = GetHandleSize(handle);
}

LHandleLock::~LHandleLock() {
    if (fHandle) HSetState(fHandle, fSavedState);
}

// ---- Sources and the chain ----

void LResChain::AddSource(LResSource* source) {
    if (source) fSources.InsertAt(fSources.Count(), &source);
}

bool LResChain::Load(LResObject& object, const LResId* id) {
    for (u32 i = fSources.Count(); i-- > 0;)
        if ((*static_cast<LResSource**>(fSources.At(i)))->Load(object, id)) return true;
    return false;
}

u32 LResChain::GetLanguage() {
    for (u32 i = fSources.Count(); i-- > 0;) {
        u32 lang = (*static_cast<LResSource**>(fSources.At(i)))->GetLanguage();
        if (lang != kResLangUS) return lang;
    }
    return kResLangUS;
}

bool LResFile::Load(LResObject& object, const LResId* id) {
    u32 saved = CurResFile();
    UseResFile(fRef);
    bool found = CurResFile() == fRef && object.LoadFrom(fRef, id);
    UseResFile(saved);
    return found;
}

LResSource* DefaultResChain() {
    return gDefaultChain;
}
void SetDefaultResChain(LResSource* chain) {
    gDefaultChain = chain;
}

void LoadFromResChain(LResObject& object, const LResId* id, LResSource* source) {
    if (!source) source = gDefaultChain;
    if (source) source->Load(object, id);
}

// ---- Resource objects ----

LResBlock::LResBlock(const LResId* id, LResSource* source, u32 type) : fType(type) {
    LoadFromResChain(*this, id, source);
}

bool LResBlock::LoadFrom(u32 fileRef, const LResId* id) {
    u32 size = 0;
    LResHandle h = GetResourceByIdOrName(this, fileRef, fType, id, &size);
    if (!h) return false;
    LHandleLock lock(h);
    if (fData.Resize(lock.Size(), false) && lock.Size() > 0)
        std::memcpy(fData.Data(), lock.Data(), lock.Size());
    return true;
}

LStrListRes::LStrListRes(const LResId* id, LResSource* source, u32 type) : fType(type) {
    LoadFromResChain(*this, id, source);
}

bool LStrListRes::LoadFrom(u32 fileRef, const LResId* id) {
    u32 size = 0;
    LResHandle h = GetResourceByIdOrName(this, fileRef, fType, id, &size);
    if (!h) return false;
    fHandle = h;
    fCount = size >= 2 ? BigEndian(h->data, 2) : 0;
    fCacheIndex = 0;
    fCacheOffset = 2;
    return true;
}

LString& LStrListRes::GetItem(LString* out, u32 n) const {
    *out = LString();
    if (n >= fCount || !fHandle) return *out;
    if (fCacheIndex > n) {
        fCacheIndex = 0;
        fCacheOffset = 2;
    }
    LHandleLock lock(fHandle);
    // Every scan stops at the end of the resource, whatever the count claims.
    const u8* data = lock.Data();
    u32 size = lock.Size();
    u32 index = fCacheIndex, offset = fCacheOffset;
    while (index < n && offset < size) {
        const void* zero = std::memchr(data + offset, 0, size - offset);
        offset = zero ? u32(static_cast<const u8*>(zero) - data) + 1 : size;
        index++;
    }
    if (index < n || offset >= size) return *out;
    fCacheIndex = index;
    fCacheOffset = offset;
    const void* zero = std::memchr(data + offset, 0, size - offset);
    u32 end = zero ? u32(static_cast<const u8*>(zero) - data) : size;
    *out = LString(reinterpret_cast<const char*>(data + offset), end - offset);
    return *out;
}

void LStrListRes::Open(LStrListHolder* holder, const LResId* id, LResSource* source, u32 type) {
    holder->Reset(new LStrListResRef(id, source, type));
}

LString& LStrListRes::GetSharedItem(LString* out, const LStrListHolder& holder, u32 n) {
    if (!holder.Get()) {
        *out = LString();
        return *out;
    }
    return holder->List().GetItem(out, n);
}

u32 LStrListRes::Count(const LStrListHolder& holder) {
    return holder.Get() ? holder->List().Count() : 0;
}

// ---- Shared images ----

void LSharedImage::InitEmptyRef(TRef<LSharedImage>* ref) {
    static LSharedImage* empty = [] {
        auto* image = new LSharedImage;
        image->Retain();  // held for the whole process
        return image;
    }();
    ref->Reset(empty);
}

void LSharedImage::InitRef(TRef<LSharedImage>* ref, LSharedImage* image) {
    if (!image || !image->IsValid()) {
        InitEmptyRef(ref);
        return;
    }
    ref->Reset(image);
}

// ---- Resource language ----

CPrefLocale::CPrefLocale() {
    const char* name = nullptr;
    std::string first;
    if (const char* list = getenv("LANGUAGE"); list && *list) {
        // A colon-separated list: its first non-empty entry.
        std::string s(list);
        size_t i = s.find_first_not_of(':');
        if (i != std::string::npos) first = s.substr(i, s.find(':', i) - i);
        if (!first.empty()) name = first.c_str();
    }
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (name) break;
        if (const char* v = getenv(var); v && *v) name = v;
    }
    Parse(name);
}

CPrefLocale::CPrefLocale(const char* localeName) {
    Parse(localeName);
}

void CPrefLocale::Parse(const char* name) {
    fNull = true;
    if (StrIsEmpty(name)) return;
    std::string s(name);
    // language[_territory][.codeset][@modifier]; "C" and "POSIX" name no language.
    std::string modifier;
    if (size_t at = s.find('@'); at != std::string::npos) {
        modifier = s.substr(at + 1);
        s.erase(at);
    }
    if (size_t dot = s.find('.'); dot != std::string::npos) s.erase(dot);
    std::string lang = s.substr(0, s.find_first_of("_-"));
    if (lang.empty() || lang == "C" || lang == "POSIX") return;
    for (char& c : lang)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    fNull = false;
    fLanguage = LString(std::string_view(lang));
    fScript = LString(std::string_view(modifier));
}

u32 CPrefLocale::Match(const CPrefLocale& p, const CPrefLocale& r) {
    bool pHas = !p.fNull, rHas = !r.fNull;
    bool same = (!pHas && !rHas) || (pHas && rHas && p.fLanguage == r.fLanguage);
    if (same) return p.fScript == r.fScript ? 4 : 3;
    return rHas && r.fLanguage == "en" ? 1 : 0;
}

u32 CPrefLocale::GetResLanguage() const {
    if (fNull) return kResLangUS;
    return Match(*this, CPrefLocale("ja_JP")) >= 2 ? kResLangJP : kResLangUS;
}
