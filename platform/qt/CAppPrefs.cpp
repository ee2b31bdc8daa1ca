#include "platform/qt/CAppPrefs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

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

// What is not a dictionary is left out: a writable store replaces it on saving.
QVariantMap ReadPrefs(const QString& path) {
    QSettings settings(path, QSettings::IniFormat);
    const QVariant v = settings.value(kPrefsKey);
    QVariantMap top;
    if (v.typeId() == QMetaType::QVariantMap) top.insert(kPrefsKey, v);
    return top;
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
      fStore(ReadPrefs(fPath), u32(mode)),
      fRoot(&fStore, kPrefsKey) {}

CAppPrefs::~CAppPrefs() {
    if (fWritable) Save();
}

u32 CAppPrefs::Save() {
    if (!fWritable) return kSaveReadOnly;
    QDir().mkpath(QFileInfo(fPath).absolutePath());
    QSettings settings(fPath, QSettings::IniFormat);
    // The file is written to a temporary beside it and renamed over it, so a
    // full disk leaves the old preferences in place.
    settings.setAtomicSyncRequired(true);
    settings.setValue(kPrefsKey, fStore.ToDict().value(kPrefsKey));
    settings.sync();
    switch (settings.status()) {
        case QSettings::NoError:
            return kSaveOk;
        case QSettings::FormatError:
            return kSaveFormat;
        default:
            return kSaveAccess;
    }
}
