#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/DmxFrame.h"
#include "base/LArray.h"
#include "base/LCallbackList.h"
#include "base/LHandle.h"
#include "base/LList.h"
#include "base/LScrap.h"

namespace {

std::vector<u32> Contents(const LArray& a) {
    const u32* p = a.DataAs<u32>();
    return std::vector<u32>(p, p + a.Count());
}

TEST(LArrayTest, InsertNSetRangeSetAllCopyFrom) {
    LArray a(sizeof(u32));
    const u32 init[] = {1, 2, 3};
    ASSERT_TRUE(a.SetAll(init, 3));
    const u32 more[] = {7, 8};
    ASSERT_TRUE(a.InsertN(1, more, 2));
    EXPECT_EQ(Contents(a), (std::vector<u32>{1, 7, 8, 2, 3}));
    ASSERT_TRUE(a.SetRange(4, more, 2));  // overlaps the end
    EXPECT_EQ(Contents(a), (std::vector<u32>{1, 7, 8, 2, 7, 8}));
    ASSERT_TRUE(a.SetRange(0, more, 1));
    EXPECT_EQ(a.Count(), 6u);

    LArray b(sizeof(u32));
    ASSERT_TRUE(b.CopyFrom(a));
    EXPECT_EQ(Contents(b), Contents(a));
    LArray bytes(1);
    EXPECT_FALSE(bytes.CopyFrom(a));  // element sizes differ
    EXPECT_EQ(bytes.Count(), 0u);
}

TEST(LArrayTest, CountsThatWouldWrapAreRefused) {
    LArray a(1);
    const u8 b = 1;
    ASSERT_TRUE(a.SetRange(0, &b, 1));
    EXPECT_FALSE(a.SetRange(0xFFFFFFF0u, &b, 0x20));
    EXPECT_FALSE(a.InsertN(0, nullptr, 0xFFFFFFFFu));
    EXPECT_EQ(a.Count(), 1u);
    EXPECT_EQ(a.DataAs<u8>()[0], 1);
}

TEST(LHandleTest, ResizeReserveDetach) {
    LDataBuf buf;
    ASSERT_TRUE(buf.Reserve(10, 6, true));
    EXPECT_EQ(buf.Capacity(), 16u);
    std::memcpy(buf.Data(), "abcdefghij", 10);
    ASSERT_TRUE(buf.Resize(40, true));
    EXPECT_EQ(std::memcmp(buf.Data(), "abcdefghij", 10), 0);
    ASSERT_TRUE(buf.Reserve(20, 100, true));  // enough room already
    EXPECT_EQ(buf.Capacity(), 40u);
    ASSERT_TRUE(buf.Resize(0, true));
    EXPECT_EQ(buf.Data(), nullptr);
    EXPECT_EQ(buf.Capacity(), 0u);

    ASSERT_TRUE(buf.Assign("xyz", 3));
    void* block = buf.Handle().Detach();
    EXPECT_EQ(buf.Capacity(), 0u);
    EXPECT_EQ(buf.Data(), nullptr);
    EXPECT_EQ(std::memcmp(block, "xyz", 3), 0);
    std::free(block);
}

struct Node : LLink {
    explicit Node(int v, int* deleted = nullptr) : value(v), deletedCount(deleted) {}
    ~Node() override {
        if (deletedCount) ++*deletedCount;
    }
    int value;
    int* deletedCount;
};

std::vector<int> Values(const LList& l) {
    std::vector<int> out;
    for (LLink* n = l.Head(); !n->IsEnd(); n = n->Next())
        out.push_back(static_cast<Node*>(n)->value);
    return out;
}

TEST(LListTest, PushPopInsertRemove) {
    Node a(1), b(2), c(3), d(4), stranger(9);  // nodes outlive the lists that link them
    LList l;
    EXPECT_TRUE(l.IsEmpty());
    EXPECT_EQ(l.Nth(0), nullptr);
    EXPECT_EQ(l.PopFront(), nullptr);
    EXPECT_EQ(l.PopBack(), nullptr);

    l.PushBack(&b);
    EXPECT_EQ(l.PopBack(), &b);  // one node: empties, tail is the list again
    EXPECT_TRUE(l.IsEmpty());
    EXPECT_EQ(l.Tail(), nullptr);
    EXPECT_FALSE(b.IsLinked());

    l.PushBack(&b);
    l.PushFront(&a);
    l.InsertAfter(&c, &b);  // after the tail: the tail follows
    EXPECT_EQ(l.Tail(), &c);
    l.PushBack(&a);  // already linked: left alone
    l.InsertAfter(&d, nullptr);
    EXPECT_EQ(Values(l), (std::vector<int>{4, 1, 2, 3}));
    EXPECT_EQ(l.Nth(2), &b);
    EXPECT_EQ(l.Nth(4), nullptr);

    EXPECT_TRUE(l.Remove(&c));  // the tail
    EXPECT_EQ(l.Tail(), &b);
    EXPECT_FALSE(l.Remove(&c));
    EXPECT_FALSE(l.Remove(nullptr));
    LList other;
    other.PushBack(&stranger);
    EXPECT_FALSE(l.Remove(&stranger));  // linked, but in another list
    EXPECT_EQ(l.RemoveNext(&a), &b);
    EXPECT_EQ(l.Tail(), &a);
    l.PushBack(&c);
    EXPECT_EQ(Values(l), (std::vector<int>{4, 1, 3}));
}

TEST(LListTest, SpliceDeleteAllAndDestructor) {
    int deleted = 0;
    LList src, dest;
    dest.PushBack(new Node(1, &deleted));
    src.PushBack(new Node(2, &deleted));
    src.PushBack(new Node(3, &deleted));
    src.SpliceTo(dest);
    EXPECT_TRUE(src.IsEmpty());
    EXPECT_EQ(Values(dest), (std::vector<int>{1, 2, 3}));
    dest.PushBack(new Node(4, &deleted));  // the tail moved along
    EXPECT_EQ(Values(dest), (std::vector<int>{1, 2, 3, 4}));
    dest.DeleteAll();
    EXPECT_EQ(deleted, 4);
    EXPECT_TRUE(dest.IsEmpty());

    Node kept(5);
    {
        LList scoped;
        scoped.PushBack(&kept);
    }
    EXPECT_FALSE(kept.IsLinked());  // unlinked, not deleted
}

// A callback that records its call and may change the list it is called from.
struct Listener {
    LCallbackList* list = nullptr;
    std::vector<int>* log = nullptr;
    int id = 0;
    Listener* removeOnCall = nullptr;
    Listener* addOnCall = nullptr;
    int handled = 0;

    LCallbackPair Pair() { return LCallbackPair::Make(this, &Call); }
    static i32 Call(void* object, i32 code, void*) {
        Listener* self = static_cast<Listener*>(object);
        EXPECT_EQ(code, 1);
        self->log->push_back(self->id);
        if (self->removeOnCall) {
            LCallbackPair p = self->removeOnCall->Pair();
            self->list->Remove(&p);
        }
        if (self->addOnCall) {
            LCallbackPair p = self->addOnCall->Pair();
            self->list->AddUnique(&p);
            self->addOnCall = nullptr;
        }
        return self->handled;
    }
};

TEST(LCallbackListTest, RemovalDuringWalk) {
    LCallbackList list;
    std::vector<int> log;
    Listener ls[5];
    for (int i = 0; i < 5; ++i) {
        ls[i].list = &list;
        ls[i].log = &log;
        ls[i].id = i;
        LCallbackPair p = ls[i].Pair();
        list.AddUnique(&p);
    }
    ls[1].removeOnCall = &ls[1];  // itself
    ls[2].removeOnCall = &ls[4];  // one not yet handed out
    ls[3].removeOnCall = &ls[0];  // one already called
    EXPECT_FALSE(list.CallUntilHandled(nullptr));
    EXPECT_EQ(log, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(list.Count(), 2u);  // 2 and 3 remain

    log.clear();
    ls[2].removeOnCall = nullptr;
    ls[3].removeOnCall = nullptr;
    ls[2].addOnCall = &ls[0];  // appended during the walk: reached by it
    EXPECT_FALSE(list.CallUntilHandled(nullptr));
    EXPECT_EQ(log, (std::vector<int>{2, 3, 0}));

    log.clear();
    ls[3].handled = 1;
    EXPECT_TRUE(list.CallUntilHandled(nullptr));
    EXPECT_EQ(log, (std::vector<int>{2, 3}));
}

TEST(LCallbackListTest, IteratorOutlivingItsList) {
    auto* list = new LCallbackList;
    Listener a;
    LCallbackPair pa = a.Pair();
    list->AddUnique(&pa);
    LCallbackIter it(*list);
    delete list;
    LCallbackPair got;
    EXPECT_FALSE(it.Next(&got));
}

TEST(DmxFrameTest, ExtendAndSetCount) {
    DmxFrame f;
    f.owner = 0x5A;
    f.count = 100;
    std::memset(f.slots, 0xEE, sizeof f.slots);
    f.Extend(600);
    EXPECT_EQ(f.count, 513);
    for (u32 i = 100; i < 513; ++i) EXPECT_EQ(f.slots[i], 0) << i;
    EXPECT_EQ(f.slots[99], 0xEE);
    f.Extend(50);
    EXPECT_EQ(f.count, 513);
    std::memset(f.slots, 0xEE, sizeof f.slots);
    f.SetCount(10);
    EXPECT_EQ(f.count, 10);
    EXPECT_EQ(f.slots[9], 0xEE);
    for (u32 i = 10; i < 513; ++i) EXPECT_EQ(f.slots[i], 0) << i;
    f.SetCount(9999);
    EXPECT_EQ(f.count, 513);
    EXPECT_EQ(f.owner, 0x5A);
}

TEST(DmxFrameTest, FrameBufCopyAndCompare) {
    CDmxFrameBuf a, b;
    EXPECT_EQ(a.count, 1u);
    EXPECT_EQ(a.slots[0], 0);
    a.count = 3;
    a.slots[2] = 7;
    a.slots[400] = 9;  // beyond the count
    EXPECT_FALSE(a.Equals(b));
    b = a;
    EXPECT_EQ(b.slots[400], 9);  // all 513 bytes travel
    EXPECT_TRUE(a.Equals(b));
    b.slots[400] = 0;
    EXPECT_TRUE(a.Equals(b));
    b.slots[2] = 0;
    EXPECT_FALSE(a.Equals(b));
}

struct CountingScrap : LTextScrap {
    explicit CountingScrap(int* deleted) : fDeleted(deleted) {}
    ~CountingScrap() override { ++*fDeleted; }
    int* fDeleted;
};

struct OtherScrap : LClipItem {
    bool IsAvailable() override { return false; }
    bool ReadFromPasteboard() override { return false; }
    void WriteToPasteboard() override {}
    bool AssignFrom(LClipItem&) override { return false; }
    const char* GetTypeName() const override { return "OtherScrap"; }
};

TEST(ScrapTest, DataItemsTextAndClipboard) {
    auto* data = new LScrapData;
    EXPECT_EQ(data->RefCount(), 1);
    LScrapType type{LString("org.example.thing"), FourCC("THNG")};
    ASSERT_TRUE(data->AddItem(type, "abc", 3, 1));
    ASSERT_TRUE(data->AddItem(type, nullptr, 0, 0));
    const LScrapItem* first = static_cast<const LScrapItem*>(data->Items().Nth(0));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->fTypeName, "org.example.thing");
    EXPECT_EQ(first->fTypeCode, FourCC("THNG"));
    EXPECT_EQ(first->fSize, 3u);
    EXPECT_EQ(std::memcmp(first->fData, "abc", 3), 0);
    EXPECT_EQ(first->fFlags, 1u);

    LTextScrap text;
    text.fText = LString("kept");
    OtherScrap other;
    EXPECT_FALSE(text.AssignFrom(other));
    EXPECT_EQ(text.fText, "kept");
    LTextScrap source;
    source.fText = LString("copied");
    EXPECT_TRUE(text.AssignFrom(source));
    EXPECT_EQ(text.fText.Rep(), source.fText.Rep());  // shared, not copied
    EXPECT_FALSE(text.ReadFromPasteboard());

    int deleted = 0;
    {
        LClipboard clip;
        clip.fOwner = new CountingScrap(&deleted);
        data->Retain();
        clip.fData = data;
    }
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(data->RefCount(), 1);
    data->Release();
}

}  // namespace
