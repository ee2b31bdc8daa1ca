#include "platform/qt/QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

#include "base/LScrap.h"
#include "base/Paths.h"

namespace {

const char kFourccPrefix[] = "application/x-fourcc-";

QString FromL(const LString& s) {
    return QString::fromUtf8(s.CStr(), qsizetype(s.Length()));
}

QClipboard* Clipboard() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance())
               ? QGuiApplication::clipboard()
               : nullptr;
}

bool Fetch(const QMimeData* mime, const LScrapType& type, u32 index, std::vector<u8>* out) {
    out->clear();
    const QString format = MimeFormatOf(type);
    if (!mime || index != 0 || !mime->hasFormat(format)) return false;
    const QByteArray bytes = mime->data(format);
    out->assign(bytes.constBegin(), bytes.constEnd());
    return true;
}

}  // namespace

QString MimeFormatOf(const LScrapType& type) {
    if (!type.name.IsEmpty()) return FromL(type.name);
    return QLatin1String(kFourccPrefix) + FromL(PasteboardTypeText(type));
}

void WriteItemsToMime(const LScrapData& data, QMimeData* mime) {
    if (!mime->hasFormat(QStringLiteral("public.data")))
        mime->setData(QStringLiteral("public.data"), QByteArray());
    for (const LLink* l = data.Items().Head(); !l->IsEnd(); l = l->Next()) {
        const auto* item = static_cast<const LScrapItem*>(l);
        const QByteArray bytes(reinterpret_cast<const char*>(item->fData), qsizetype(item->fSize));
        mime->setData(MimeFormatOf(LScrapType{item->fTypeName, item->fTypeCode}), bytes);
    }
}

// ---------------------------------------------------------------- general pasteboard

bool QtPasteboard::HasText() {
    QClipboard* cb = Clipboard();
    const QMimeData* mime = cb ? cb->mimeData() : nullptr;
    return mime && mime->hasText();
}

void QtPasteboard::WriteText(const LString& text) {
    if (QClipboard* cb = Clipboard()) cb->setText(FromL(text));
}

void QtPasteboard::WriteItems(const LScrapData& data) {
    QClipboard* cb = Clipboard();
    if (!cb) return;
    auto* mime = new QMimeData;
    WriteItemsToMime(data, mime);
    cb->setMimeData(mime);
}

bool QtPasteboard::HasType(const LString& typeName) {
    QClipboard* cb = Clipboard();
    const QMimeData* mime = cb ? cb->mimeData() : nullptr;
    return mime && mime->hasFormat(MimeFormatOf(LScrapType{typeName, 0}));
}

bool QtPasteboard::FetchItem(const LScrapType& type, u32 index, std::vector<u8>* out) {
    QClipboard* cb = Clipboard();
    return Fetch(cb ? cb->mimeData() : nullptr, type, index, out);
}

void QtPasteboard::AddItems(void* pasteboard, const LScrapData& data) {
    if (pasteboard) WriteItemsToMime(data, static_cast<QMimeData*>(pasteboard));
}

// ---------------------------------------------------------------- drop sources

bool CMimeDropSource::FetchItem(const LScrapType& type, u32 index, std::vector<u8>* out) {
    return Fetch(fMime.data(), type, index, out);
}

bool CMimeDropSource::HasType(const LScrapType& type) {
    return fMime && fMime->hasFormat(MimeFormatOf(type));
}

bool CMimeDropSource::GetFileUrl(u32 index, LString* out) {
    *out = LString();
    if (!fMime) return false;
    const QList<QUrl> urls = fMime->urls();
    if (index >= u32(urls.size()) || !urls[qsizetype(index)].isLocalFile()) return false;
    const QByteArray local = urls[qsizetype(index)].toLocalFile().toUtf8();
    PosixPathToFileUrl(out, LString(std::string_view(local.constData(), size_t(local.size()))));
    return !out->IsEmpty();
}
