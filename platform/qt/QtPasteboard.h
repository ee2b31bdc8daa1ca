#pragma once
// The general pasteboard on QClipboard, and drop sources over a clipboard's or
// a drag's QMimeData. A scrap type travels under its name as the format; a
// type known only by its code under "application/x-fourcc-" + the code's text
// (a bare "TEXT" would meet X11's own targets and be lost on the way).

#include <QMimeData>
#include <QPointer>
#include <QString>

#include "base/DropData.h"
#include "base/LPasteboardServices.h"

// The format of a scrap type.
QString MimeFormatOf(const LScrapType& type);
// The items under their formats, "public.data" always declared; the later of
// two items of one type wins.
void WriteItemsToMime(const LScrapData& data, QMimeData* mime);

class QtPasteboard : public LPasteboardServices {
public:
    bool HasText() override;
    void WriteText(const LString& text) override;
    void WriteItems(const LScrapData& data) override;
    bool HasType(const LString& typeName) override;
    bool FetchItem(const LScrapType& type, u32 index, std::vector<u8>* out) override;
    // pasteboard: a QMimeData.
    void AddItems(void* pasteboard, const LScrapData& data) override;
};

// A drop source over mime data that somebody else owns: data that has gone
// away reads as offering nothing. A format holds one block: only index 0 is
// served.
class CMimeDropSource : public CDropSource {
public:
    explicit CMimeDropSource(const QMimeData* mime) : fMime(const_cast<QMimeData*>(mime)) {}

    bool FetchItem(const LScrapType& type, u32 index, std::vector<u8>* out) override;
    bool HasType(const LScrapType& type) override;
    // Local files only (QMimeData::urls()); other URLs are refused.
    bool GetFileUrl(u32 index, LString* out) override;

private:
    QPointer<QMimeData> fMime;
};
