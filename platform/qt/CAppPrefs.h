#pragma once
// The application's preferences store: one nested dictionary under the key
// "prefs" of an INI file in the user's configuration folder
// ($XDG_CONFIG_HOME, else ~/.config). The whole dictionary is one value, so
// the record walk's keys stay as they are (QSettings would read "/" in a key as
// a group). The application object reads and writes it through the root node.

#include <QString>
#include <QVariantMap>

#include "base/LString.h"
#include "records/CPrefNode.h"

// The node tree of the store: a memory store loaded from the file's values
// and copied back into a dictionary when saved.
class CCFDictPrefNode : public CMemPrefStore {
public:
    // mode 1 writable, anything else read-only.
    CCFDictPrefNode(const QVariantMap& dict, u32 mode);

    // Byte values become QByteArray, texts QString, child nodes QVariantMap.
    QVariantMap ToDict() const;
};

class CAppPrefs {
public:
    enum : u32 { kSaveOk = 0, kSaveAccess = 1, kSaveReadOnly = 3 };

    // appId names the file (<config folder>/<appId>.ini); empty: the
    // application's name. Mode 1 opens it writable; a missing or malformed
    // "prefs" value reads as an empty store, and a file that holds something
    // unreadable is first copied beside it (UnreadableCopy).
    CAppPrefs(const LString& appId, i32 mode);
    // Saves when writable (a failure there is lost: call Save first to see it).
    ~CAppPrefs();
    CAppPrefs(const CAppPrefs&) = delete;
    CAppPrefs& operator=(const CAppPrefs&) = delete;

    // The "prefs" dictionary, handed to ReadFromPrefNode / WriteToPrefNode;
    // closed (reading nothing) when a read-only store has none.
    CPrefNode& Root() { return fRoot; }
    const CCFDictPrefNode& Store() const { return fStore; }
    bool IsWritable() const { return fWritable; }
    const QString& FilePath() const { return fPath; }

    // Writes the store to the file, which is replaced whole or not at all:
    // kSaveOk, kSaveAccess (the file or its folder cannot be written, the disk is
    // full: the old file stays), or kSaveReadOnly for a store opened read-only.
    u32 Save();

    // The file held something that is not readable preferences.
    bool WasUnreadable() const { return fDamaged; }
    // The file is there but could not be read at all (no permission, a folder
    // in its place): nothing replaces it then, so Save answers kSaveAccess.
    bool ReadFailed() const { return fReadFailed; }
    // Where that was kept when this object made the copy ("<file>.unreadable");
    // empty when the same bytes were kept before (already said) or nothing was.
    const QString& UnreadableCopy() const { return fUnreadableCopy; }

    // The file of an application id.
    static QString PathFor(const LString& appId);

private:
    QString fPath;
    bool fWritable;
    bool fDamaged = false;     // set while fStore is built
    bool fReadFailed = false;  // likewise
    QString fUnreadableCopy;
    CCFDictPrefNode fStore;  // the file's values: "prefs" alone
    CPrefNode fRoot;
};
