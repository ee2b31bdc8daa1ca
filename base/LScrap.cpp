#include "base/LScrap.h"

#include <cstring>
#include <new>

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

// The pasteboard belongs to the Qt layer; until it is wired in, nothing is written.
bool LScrapData::WriteToPasteboard(void*) const {
    return false;
}
void LScrapData::CopyToGeneralPasteboard() const {}

bool LPbScrapReader::HasType(const LString&) {
    return false;
}
bool LPbScrapReader::GetData(const LScrapType&, LDataBuf&) {
    return false;
}

bool LTextScrap::IsAvailable() {
    return false;
}
void LTextScrap::WriteToPasteboard() {}

bool LTextScrap::AssignFrom(LClipItem& other) {
    if (!StrEqual(GetTypeName(), other.GetTypeName())) return false;
    fText = static_cast<LTextScrap&>(other).fText;
    return true;
}

LClipboard::~LClipboard() {
    delete fOwner;
    fOwner = nullptr;
    if (fData) fData->Release();
    fData = nullptr;
}
