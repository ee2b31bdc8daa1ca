#include "base/LScrap.h"

#include <cstring>
#include <new>
#include <vector>

#include "base/LHandle.h"
#include "base/LPasteboardServices.h"

namespace {

// Without a platform there is no pasteboard: it never holds anything.
class HeadlessPasteboard final : public LPasteboardServices {
public:
    bool HasText() override { return false; }
    void WriteText(const LString&) override {}
    void WriteItems(const LScrapData&) override {}
    bool HasType(const LString&) override { return false; }
    bool FetchItem(const LScrapType&, u32, std::vector<u8>*) override { return false; }
};

HeadlessPasteboard sHeadlessPasteboard;
LPasteboardServices* sPasteboard = nullptr;

// What a reader bound to the general pasteboard holds in its pasteboard word.
u8 sGeneralPasteboard;

LClipboard* sClipboard = nullptr;

}  // namespace

void InstallPasteboardServices(LPasteboardServices* services) {
    sPasteboard = services;
}
LPasteboardServices& PasteboardServices() {
    return sPasteboard ? *sPasteboard : sHeadlessPasteboard;
}

LScrapItem::~LScrapItem() {
    delete[] fData;
}

LScrapData::~LScrapData() {
    while (LLink* item = fItems.PopFront()) delete item;
}

bool LScrapData::AddItem(const LScrapType& type, const void* data, u32 size, u32 flags) {
    LScrapItem* item = new (std::nothrow) LScrapItem;
    if (!item) return false;
    if (size) {
        item->fData = new (std::nothrow) u8[size];
        if (!item->fData) {
            delete item;
            return false;
        }
        if (data)
            std::memcpy(item->fData, data, size);
        else
            std::memset(item->fData, 0, size);
    }
    item->fTypeName = type.name;
    item->fTypeCode = type.code;
    item->fSize = size;
    item->fFlags = flags;
    fItems.PushBack(item);
    return true;
}

LString PasteboardTypeText(const LScrapType& type) {
    if (!type.name.IsEmpty()) return type.name;
    char text[4];
    u32 n = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char((type.code >> shift) & 0xFF);
        if (c == 0) break;
        if (c == ' ' && n == 0) continue;
        text[n++] = c;
    }
    while (n > 0 && text[n - 1] == ' ') --n;
    return LString(std::string_view(text, n));
}

// True when every item stays inside the application: a drag of them then
// offers nothing to other applications.
bool LScrapData::WriteToPasteboard(void* pasteboard) const {
    bool local = true;
    for (const LLink* l = fItems.Head(); !l->IsEnd(); l = l->Next())
        if (!(static_cast<const LScrapItem*>(l)->fFlags & 1)) local = false;
    if (pasteboard) PasteboardServices().AddItems(pasteboard, *this);
    return local;
}
void LScrapData::CopyToGeneralPasteboard() const {
    PasteboardServices().WriteItems(*this);
}

bool LPbScrapReader::HasType(const LString& typeName) {
    return fPasteboard && PasteboardServices().HasType(typeName);
}
bool LPbScrapReader::GetData(const LScrapType& type, LDataBuf& out) {
    if (!fPasteboard) return false;
    std::vector<u8> bytes;
    if (!PasteboardServices().FetchItem(type, 0, &bytes) || bytes.size() > 0xFFFFFFFFu)
        return false;
    return out.Assign(bytes.data(), u32(bytes.size()));
}

bool LTextScrap::IsAvailable() {
    return PasteboardServices().HasText();
}
void LTextScrap::WriteToPasteboard() {
    if (!fText.IsEmpty()) PasteboardServices().WriteText(fText);
}

bool LTextScrap::AssignFrom(LClipItem& other) {
    if (!StrEqual(GetTypeName(), other.GetTypeName())) return false;
    fText = static_cast<LTextScrap&>(other).fText;
    return true;
}

LClipboard::~LClipboard() {
    if (sClipboard == this) sClipboard = nullptr;
    delete fOwner;
    fOwner = nullptr;
    ReleaseData(fData);
    fData = nullptr;
}

LClipboard* LClipboard::Instance() {
    return sClipboard;
}
void LClipboard::MakeInstance(LClipboard* clipboard) {
    sClipboard = clipboard;
}

void LClipboard::SetOwner(LClipItem* item) {
    // Handing over the item already owned must not delete it under the caller.
    if (item != fOwner) {
        delete fOwner;
        fOwner = item;
    }
    ReleaseData(fData);
    fData = nullptr;
    if (fOwner) fOwner->WriteToPasteboard();
}

void LClipboard::Clear() {
    delete fOwner;
    fOwner = nullptr;
    ReleaseData(fData);
    fData = nullptr;
}

void LClipboard::Put(LScrapData* data) {
    delete fOwner;
    fOwner = nullptr;
    if (data) data->CopyToGeneralPasteboard();
    ReleaseData(fData);
    fData = data;
}

bool LClipboard::CanProvide(LClipItem& kind) {
    if (fOwner) return StrEqual(fOwner->GetTypeName(), kind.GetTypeName());
    return kind.IsAvailable();
}

bool LClipboard::Read(LClipItem& kind) {
    if (fOwner) return kind.AssignFrom(*fOwner);
    return kind.ReadFromPasteboard();
}

bool LClipboard::HasType(const LString& typeName) {
    return GetReader().HasType(typeName);
}

LPbScrapReader& LClipboard::GetReader() {
    fReader.fPasteboard = &sGeneralPasteboard;
    return fReader;
}

void LClipboard::SetData(LScrapData* data) {
    if (data) data->Retain();
    ReleaseData(fData);
    fData = data;
}

void LClipboard::ReleaseData(LScrapData* data) {
    if (data) data->Release();
}
