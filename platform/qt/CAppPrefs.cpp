#include "platform/qt/CAppPrefs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <cerrno>

#include "base/FileOps.h"
#include "base/Paths.h"
#include "records/PrefNodes.h"

namespace {

const char kPrefsKey[] = "prefs";

// A hand-edited file may nest without end: what lies deeper is not loaded.
void LoadDict(CPrefNode& store, CPrefNode::Handle handle, const QVariantMap& dict, u32 depth) {
    for (auto it = dict.cbegin(); it != dict.cend(); ++it) {
        const QByteArray key = it.key().toUtf8();
        const QVariant& v = it.value();
        switch (v.typeId()) {
            case QMetaType::QVariantMap: {
                if (depth >= kPrefWalkMaxDepth) break;
                CPrefNode::Handle child = store.OpenOrCreateChild(handle, key.constData());
                if (!child) break;
                LoadDict(store, child, v.toMap(), depth + 1);
                store.CloseHandle(child);
                break;
            }
            case QMetaType::QByteArray: {
                const QByteArray b = v.toByteArray();
                store.StoreSetBytes(handle, key.constData(), b.constData(), u32(b.size()));
                break;
            }
            case QMetaType::QString: {
                const QByteArray t = v.toString().toUtf8();
                store.StoreSetString(handle, key.constData(),
                                     LString(std::string_view(t.constData(), size_t(t.size()))));
                break;
            }
            default:
                break;  // not a value of ours
        }
    }
}

class DictBuilder : public CMemPrefStore::Visitor {
public:
    DictBuilder() { fStack.emplace_back(); }
    void Text(const std::string& key, const std::string& text) override {
        Top().insert(Key(key), QString::fromUtf8(text.data(), qsizetype(text.size())));
    }
    void Bytes(const std::string& key, const std::string& bytes) override {
        Top().insert(Key(key), QByteArray(bytes.data(), qsizetype(bytes.size())));
    }
    void BeginChild(const std::string& key) override {
        fKeys.push_back(Key(key));
        fStack.emplace_back();
    }
    void EndChild() override {
        QVariantMap child = std::move(fStack.back());
        fStack.pop_back();
        Top().insert(fKeys.back(), child);
        fKeys.pop_back();
    }
    QVariantMap& Top() { return fStack.back(); }

private:
    static QString Key(const std::string& key) {
        return QString::fromUtf8(key.data(), qsizetype(key.size()));
    }
    std::vector<QVariantMap> fStack;
    std::vector<QString> fKeys;
};

LString UrlOfPath(const QString& path) {
    const QByteArray local = QFile::encodeName(path);
    LString url;
    PosixPathToFileUrl(&url, LString(std::string_view(local.constData(), size_t(local.size()))));
    return url;
}

std::string LocalOf(const LString& url) {
    LString p;
    FileUrlToPosixPath(&p, url);
    return std::string(p.View());
}

// What the file holds, raw; false when it cannot be read.
bool ReadBytes(const QString& path, QByteArray* out) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    *out = f.readAll();
    return f.error() == QFileDevice::NoError;
}

// Writes bytes to the new file of a replace, every write checked.
bool WriteWhole(const LString& url, const QByteArray& bytes) {
    const std::string local = LocalOf(url);
    const int fd = open(local.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = true;
    for (qsizetype done = 0; ok && done < bytes.size();) {
        const ssize_t n = write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else
            ok = false;
    }
    return close(fd) == 0 && ok;
}

// Replaces the file at path with bytes, whole or not at all.
bool ReplaceFile(const QString& path, const QByteArray& bytes) {
    CSafeReplaceFs replace(UrlOfPath(path));
    if (!replace.IsActive() || !WriteWhole(replace.NewPath(), bytes)) return false;
    replace.Commit();
    return replace.Error() == CSafeReplace::kErrNone;
}

// The INI text QSettings reads back as the one dictionary under "prefs": the
// value is QSettings' own "@Variant(...)" form (the variant streamed at version
// 4.0). Bytes other than plain ASCII go as \x escapes; the reader takes every hex
// digit after \x, so a digit that follows one is escaped too.
QByteArray IniText(const QVariantMap& prefs) {
    QByteArray streamed;
    {
        QDataStream s(&streamed, QIODevice::WriteOnly);
        s.setVersion(QDataStream::Qt_4_0);
        s << QVariant(prefs);
    }
    const QByteArray value = QByteArrayLiteral("@Variant(") + streamed + ')';
    QByteArray out = QByteArrayLiteral("[General]\n") + kPrefsKey + '=';
    out.reserve(out.size() + value.size() * 2 + 1);
    static const char hex[] = "0123456789abcdef";
    bool afterEscape = false;
    for (const char c : value) {
        const auto b = static_cast<unsigned char>(c);
        const bool isHex =
            (b >= '0' && b <= '9') || (b >= 'a' && b <= 'f') || (b >= 'A' && b <= 'F');
        const bool plain = b > 0x20 && b < 0x7F && b != '\\' && b != '"' && b != ';' && b != ',' &&
                           b != '=' && !(afterEscape && isHex);
        if (plain) {
            out += c;
            afterEscape = false;
        } else {
            out += "\\x";
            if (b >= 16) out += hex[b >> 4];
            out += hex[b & 15];
            afterEscape = true;
        }
    }
    out += '\n';
    return out;
}

// What is not a dictionary is left out: a writable store replaces it on saving.
// *damaged is set when the file holds something that is not readable preferences.
QVariantMap ReadPrefs(const QString& path, bool* damaged, bool* failed) {
    *damaged = false;
    *failed = false;
    QVariantMap top;
    if (!QFileInfo::exists(path)) return top;
    // QSettings reads what it cannot open as an empty file.
    if (QFile f(path); QFileInfo(path).isDir() || !f.open(QIODevice::ReadOnly)) {
        *failed = true;
        return top;
    }
    QSettings settings(path, QSettings::IniFormat);
    const QVariant v = settings.value(kPrefsKey);
    if (v.typeId() == QMetaType::QVariantMap) {
        top.insert(kPrefsKey, v);
        return top;
    }
    QByteArray bytes;
    *damaged = settings.status() != QSettings::NoError || settings.contains(kPrefsKey) ||
               (ReadBytes(path, &bytes) && !bytes.trimmed().isEmpty());
    return top;
}

// Keeps what could not be read beside the file ("<name>.unreadable", numbered
// when an older, different copy is there); answers the copy's path when one was
// made now, "" when the same bytes were kept before or nothing could be kept.
QString KeepUnreadable(const QString& path) {
    QByteArray bytes;
    if (!ReadBytes(path, &bytes)) return QString();
    for (int n = 1; n < 1000; ++n) {
        const QString copy =
            path + QStringLiteral(".unreadable") + (n == 1 ? QString() : QString::number(n));
        QByteArray old;
        if (QFileInfo::exists(copy)) {
            if (ReadBytes(copy, &old) && old == bytes) return QString();
            continue;
        }
        return ReplaceFile(copy, bytes) ? copy : QString();
    }
    return QString();
}

}  // namespace

// ---------------------------------------------------------------- node

CCFDictPrefNode::CCFDictPrefNode(const QVariantMap& dict, u32 mode) : CMemPrefStore(true) {
    LoadDict(*this, nullptr, dict, 0);
    SetWritable(mode == 1);
}

QVariantMap CCFDictPrefNode::ToDict() const {
    DictBuilder b;
    Walk(b);
    return b.Top();
}

// ---------------------------------------------------------------- store

QString CAppPrefs::PathFor(const LString& appId) {
    QString name = QString::fromUtf8(appId.CStr(), qsizetype(appId.Length()));
    if (name.isEmpty()) name = QCoreApplication::applicationName();
    if (name.isEmpty()) name = QStringLiteral("KEVOruneSet");
    // An id is a name, never a way out of the folder.
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1Char('/') + name + QStringLiteral(".ini");
}

CAppPrefs::CAppPrefs(const LString& appId, i32 mode)
    : fPath(PathFor(appId)),
      fWritable(mode == 1),
      fStore(ReadPrefs(fPath, &fDamaged, &fReadFailed), u32(mode)),
      fRoot(&fStore, kPrefsKey) {
    // Whatever the store held must outlive the next save, which replaces it.
    if (fDamaged) fUnreadableCopy = KeepUnreadable(fPath);
}

CAppPrefs::~CAppPrefs() {
    if (fWritable) Save();
}

u32 CAppPrefs::Save() {
    if (!fWritable) return kSaveReadOnly;
    // Preferences never read cannot be kept aside: the file stays as it is.
    if (fReadFailed) return kSaveAccess;
    QDir().mkpath(QFileInfo(fPath).absolutePath());
    // Not through QSettings: its sync renames a cut-off file over the old one when
    // the disk is full and reports no error. Here every write is checked, and only a
    // complete file that reached the disk replaces the old preferences.
    return ReplaceFile(fPath, IniText(fStore.ToDict().value(kPrefsKey).toMap())) ? kSaveOk
                                                                                 : kSaveAccess;
}
