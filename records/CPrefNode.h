#pragma once
// Preference nodes: a tree of dictionaries opened through their parents, storing
// texts, byte blobs and blank-separated number lists under short text keys.
// Every node hands the store operations to its parent; the root of a tree is a
// store node. CMemPrefStore keeps a store in memory.

#include <string>

#include "base/LString.h"

class CPrefNode {
public:
    using Handle = void*;

    // Opens the child dictionary under key (created when the store is writable and
    // `create` is set). A parent that is not open but has a parent itself leaves
    // the node closed.
    CPrefNode(CPrefNode* parent, const char* key, bool create = true);
    virtual ~CPrefNode();
    CPrefNode(const CPrefNode&) = delete;
    CPrefNode& operator=(const CPrefNode&) = delete;

    bool IsOpen() const { return fHandle != nullptr; }
    Handle GetHandle() const { return fHandle; }
    CPrefNode* Parent() const { return fParent; }

    // ---- store operations (passed to the parent; a root without store answers nothing)
    // 1 when the store is writable.
    virtual u32 Mode();
    // A null parent handle names the store's top level.
    virtual Handle OpenOrCreateChild(Handle parent, const char* key);
    virtual Handle OpenChild(Handle parent, const char* key);
    virtual void CloseHandle(Handle handle);
    // Removes whatever value is under the key, dictionaries included.
    virtual void StoreRemoveValue(Handle handle, const char* key);
    // With a buffer: copies at most *length bytes and sets *length to the bytes
    // copied; without: sets *length to the full length. A missing value or one
    // that is not data gives false and length 0.
    virtual bool StoreGetBytes(Handle handle, const char* key, void* buffer, u32* length);
    virtual bool StoreGetString(Handle handle, const char* key, LString* out);
    virtual void StoreSetBytes(Handle handle, const char* key, const void* bytes, u32 length);
    virtual void StoreSetString(Handle handle, const char* key, const LString& value);

    // ---- node operations (nothing, false, -1 or the default when the node is not open)
    void RemoveValue(const char* key);
    bool GetBytes(const char* key, void* buffer, u32* length);
    bool GetString(const char* key, LString* out);
    void SetBytes(const char* key, const void* bytes, u32 length);
    void SetString(const char* key, const LString& value);
    // Decimal integers separated by blanks within the first line; a fraction after
    // an integer is skipped. Stops at the first word that is no number or after
    // max numbers (out null: counts them all). -1 when not open or the key is missing.
    i32 GetIntArray(const char* key, i32* out, u32 max);
    // The same with floating-point words.
    i32 GetDoubleArray(const char* key, double* out, u32 max);
    // Each value followed by one blank.
    void SetIntArray(const char* key, const i32* values, u32 n);
    void SetDoubleArray(const char* key, const double* values, u32 n);
    i32 GetInt(const char* key, i32 def);
    void SetInt(const char* key, i32 value);

protected:
    // A store node: the root of a tree.
    CPrefNode() = default;

private:
    CPrefNode* fParent = nullptr;
    Handle fHandle = nullptr;
};

// prefix followed by n in decimal: the keys of numbered entries.
LString MakeIndexedKey(const char* prefix, u32 n);

// A store kept in memory: for tests, and the working copy of stores that load
// and save elsewhere.
class CMemPrefStore : public CPrefNode {
public:
    explicit CMemPrefStore(bool writable = true);
    ~CMemPrefStore() override;

    void SetWritable(bool writable) { fWritable = writable; }

    u32 Mode() override { return fWritable ? 1 : 0; }
    Handle OpenOrCreateChild(Handle parent, const char* key) override;
    Handle OpenChild(Handle parent, const char* key) override;
    void CloseHandle(Handle handle) override;
    void StoreRemoveValue(Handle handle, const char* key) override;
    bool StoreGetBytes(Handle handle, const char* key, void* buffer, u32* length) override;
    bool StoreGetString(Handle handle, const char* key, LString* out) override;
    void StoreSetBytes(Handle handle, const char* key, const void* bytes, u32 length) override;
    void StoreSetString(Handle handle, const char* key, const LString& value) override;

    // The whole store as indented text ("key = text", "key : hex", "key {" ... "}"),
    // keys sorted: for tests and diagnostics.
    std::string Dump() const;

    // Visits the store in key order, children between BeginChild and EndChild:
    // how stores that load and save elsewhere copy it out.
    class Visitor {
    public:
        virtual ~Visitor() = default;
        virtual void Text(const std::string& key, const std::string& text) = 0;
        virtual void Bytes(const std::string& key, const std::string& bytes) = 0;
        virtual void BeginChild(const std::string& key) = 0;
        virtual void EndChild() = 0;
    };
    void Walk(Visitor& visitor) const;

    struct Dict;

private:
    Dict* DictOf(Handle handle) const;
    Dict* fRoot;
    bool fWritable;
};
