#pragma once
// Operations on local files named by application file paths. Each operation object
// keeps a small status instead of failing loudly:
//   0 done, 1 failed for another reason, 2 the place is missing or the name unusable,
//   3 the name is taken or an existing object is of the other kind.

#include <dirent.h>
#include <sys/stat.h>

#include "base/LArray.h"
#include "base/LString.h"

class LStrListRes;

enum : u32 {
    kFileDone = 0,
    kFileFailed = 1,
    kFileNoPlace = 2,
    kFileTaken = 3,
};

class CFileObj {
public:
    enum : u32 {
        kModeAcceptExisting = 0,  // an existing object of the same kind is fine
        kModeFailIfTaken = 1,     // status 3 when the name is taken
        kModeNumber = 2,          // number the name until it is free
    };

    CFileObj() = default;
    virtual ~CFileObj() = default;

    // The file is created empty; permissions are masked by the umask.
    void CreateUniqueFile(const LString& wanted, u32 mode, u32 permissions = 0666);
    void CreateUniqueFolder(const LString& wanted, u32 mode);

    u32 Status() const { return fStatus; }
    const LString& Path() const { return fPath; }

private:
    void Create(const LString& wanted, u32 mode, bool folder, u32 permissions);

    u32 fStatus = kFileFailed;
    LString fPath;
};

class CFileRename {
public:
    virtual ~CFileRename() = default;
    // Never replaces an existing object: a taken name gives status 3, or with retry
    // the first free numbered name.
    void Rename(const LString& path, const char* newLeaf, bool retry);

    u32 Status() const { return fStatus; }
    const LString& Path() const { return fPath; }

private:
    u32 fStatus = kFileFailed;
    LString fPath;
};

class CFileDelete {
public:
    virtual ~CFileDelete() = default;
    // Folders are never deleted here (status 1).
    void Delete(const LString& path);
    u32 Status() const { return fStatus; }

private:
    u32 fStatus = kFileFailed;
};

// A file at a path that can be deleted with its holder.
class CFileHolder {
public:
    // path = folder (null: the temporary-items folder) joined with name.
    CFileHolder(const char* name, const LString* folder);
    virtual ~CFileHolder();
    CFileHolder(const CFileHolder&) = delete;
    CFileHolder& operator=(const CFileHolder&) = delete;

    bool Failed() const { return fError != 0; }
    bool DeletesOnDestruction() const { return fDeleteOnDestruction != 0; }
    void SetDeleteOnDestruction(bool on) { fDeleteOnDestruction = on ? 1 : 0; }
    const LString& Path() const { return fPath; }

protected:
    u32 fError = 0;
    u32 fDeleteOnDestruction = 0;
    LString fPath;
};

// A new, private (0600) file named name + the millisecond tick + the writer's tag
// (as for a safe replace, before the extension), deleted with the object.
class CTempFile : public CFileHolder {
public:
    CTempFile(const char* name, const LString* folder);
};

// Replaces a file so that a crash leaves either the old or the new file at the target.
class CSafeReplace {
public:
    enum : u32 { kErrNone = 0, kErrCreate = 1, kErrExchange = 2 };
    virtual ~CSafeReplace();
    CSafeReplace(const CSafeReplace&) = delete;
    CSafeReplace& operator=(const CSafeReplace&) = delete;

    bool IsActive() const { return fActive != 0; }
    u32 Error() const { return fError; }
    const LString& TargetPath() const { return fTarget; }
    // The file the caller writes.
    const LString& NewPath() const { return fNewPath; }

protected:
    CSafeReplace() = default;
    u32 fActive = 0;
    u32 fError = kErrNone;
    LString fTarget;
    LString fNewPath;
};

// The new file is a hidden temporary beside the target whose name carries the
// writing process ("." + target leaf + ".kvtmp-<pid>-<start>-<host>-<n>"), also for
// a target that does not exist yet. Making one removes such temporaries of
// processes that are gone from the folder (once per folder and run).
class CSafeReplaceFs : public CSafeReplace {
public:
    explicit CSafeReplaceFs(const LString& target);
    // Syncs the new file and renames it over the target in one step; error 2 (the
    // target untouched, the new file still there for the destructor) when either fails.
    void Commit();
};

// Removes from the folder the temporaries of safe replaces and temporary files
// whose writing process is gone (never those of running processes, of another
// machine, or other people's files).
void RemoveDeadTemporaries(const LString& folder);

// Lists a folder one level deep, or looks at one path.
class CFileEnumerator {
public:
    enum : u32 { kReady = 0, kUnreachable = 3 };
    CFileEnumerator() = default;
    virtual ~CFileEnumerator();
    CFileEnumerator(const CFileEnumerator&) = delete;
    CFileEnumerator& operator=(const CFileEnumerator&) = delete;

    void Open(const LString& path, bool listContents);
    // Moves to the next item of a listing; false at the end.
    bool Next();
    u32 Status() const { return fStatus; }
    bool HasItem() const { return fHasItem; }
    bool IsDirectory() const;
    bool IsRegularFile() const;
    // Application file path of the current item.
    const LString& ItemPath() const { return fItemPath; }

private:
    void Close();
    bool TakeItem();

    u32 fStatus = kUnreachable;
    DIR* fDir = nullptr;
    bool fHasItem = false;
    bool fHasStat = false;
    struct stat fStat {};
    LString fFolder;
    LString fItemPath;
};

class CPathEnumerator : public CFileEnumerator {
public:
    CPathEnumerator(const LString& path, bool listContents);

private:
    u32 fListContents;
    LString fPath;
};

// The well-known folders, as application file paths.
class LSpecialFolders {
public:
    enum Folder : u32 {
        kDesktop,
        kTempItems,
        kSystem,
        kApplications,
        kUser,
        kDocuments,
        kAppSupport,
        kTrash,
        kCount
    };
    // A folder that cannot be found keeps the reference path (default: the temporary folder).
    explicit LSpecialFolders(const LString* reference = nullptr);
    ~LSpecialFolders();
    LSpecialFolders(const LSpecialFolders&) = delete;
    LSpecialFolders& operator=(const LSpecialFolders&) = delete;

    const LString& Get(Folder f) const { return fFolders[f]; }
    // The application's instance (the first one made), or null.
    static LSpecialFolders* Instance();
    // The temporary-items folder of the instance, or a fresh look-up without one.
    static LString& TempItemsFolder(LString* out);

private:
    LString fFolders[kCount];
};

// The version of the application: the one the build was stamped with (none yet).
class CBundleInfo {
public:
    explicit CBundleInfo(const LString& path);
    LString& GetVersion(LString* out) const;

private:
    LString fVersion;
};

class CFileTypeList {
public:
    explicit CFileTypeList(const LStrListRes& list);
    virtual ~CFileTypeList();
    CFileTypeList(const CFileTypeList&) = delete;
    CFileTypeList& operator=(const CFileTypeList&) = delete;

    u32 Count() const { return fEntries.Count(); }
    LString& GetName(LString* out, u32 index) const;
    LString& GetPattern(LString* out, u32 index) const;
    u32 GetType(u32 index) const;
    u32 GetCreator(u32 index) const;

private:
    struct Entry {
        LString name;
        LString pattern;
        u32 type;
        u32 creator;
    };
    const Entry* At(u32 index) const;
    LArray fEntries{sizeof(Entry*)};
};
