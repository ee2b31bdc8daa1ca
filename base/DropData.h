#pragma once
// The source side of drops and pastes: a drag or a pasteboard offering typed
// items, and the reader that fetches and keeps their bytes. No Qt here: the Qt
// layer supplies sources over its drags and clipboard.

#include <memory>
#include <vector>

#include "base/LRef.h"
#include "base/LScrap.h"

// A drag or pasteboard offering items. Starts with one count held by its creator.
class CDropSource : public LRefObj {
public:
    // The bytes of the item with this index among the items of the type; false
    // when the source offers no such item.
    virtual bool FetchItem(const LScrapType& type, u32 index, std::vector<u8>* out) = 0;
    virtual bool HasType(const LScrapType& type) {
        (void)type;
        return false;
    }
    // The application file path ("file:///...") of the dropped file with this
    // index; false past the last one or for an item that is no local file.
    virtual bool GetFileUrl(u32 index, LString* out) {
        (void)index;
        (void)out;
        return false;
    }

protected:
    CDropSource() : LRefObj(1) {}
};

class CDropDataReader {
public:
    // Binds the reader to the source (retained; null reads as offering nothing).
    explicit CDropDataReader(CDropSource* source) : fSource(source) {
        if (fSource) fSource->Retain();
    }
    virtual ~CDropDataReader() {
        fItems.clear();
        if (fSource) fSource->Release();
    }
    CDropDataReader(const CDropDataReader&) = delete;
    CDropDataReader& operator=(const CDropDataReader&) = delete;

    // Fetches the item once and keeps its bytes until the reader goes; false with
    // null data and size 0 when the source does not offer it.
    bool GetData(const LScrapType& type, u32 index, const void** data, u32* size) {
        *data = nullptr;
        *size = 0;
        for (const std::unique_ptr<Item>& it : fItems) {
            if (it->index == index && it->code == type.code && it->name == type.name) {
                *data = it->bytes.data();
                *size = u32(it->bytes.size());
                return true;
            }
        }
        if (!fSource) return false;
        std::unique_ptr<Item> it(new Item{type.name, type.code, index, {}});
        if (!fSource->FetchItem(type, index, &it->bytes) || it->bytes.size() > 0xFFFFFFFFu)
            return false;
        *data = it->bytes.data();
        *size = u32(it->bytes.size());
        fItems.push_back(std::move(it));
        return true;
    }

private:
    struct Item {
        LString name;
        u32 code;
        u32 index;
        std::vector<u8> bytes;
    };
    CDropSource* fSource;
    std::vector<std::unique_ptr<Item>> fItems;
};
