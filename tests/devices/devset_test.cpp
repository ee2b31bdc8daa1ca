#include <gtest/gtest.h>

#include <vector>

#include "devices/CKvsDevSet.h"
#include "records/DeviceKinds.h"

namespace {

struct Seen {
    std::vector<CRecordNote> notes;
    static void Listen(void* self, CRecordNote* note) {
        static_cast<Seen*>(self)->notes.push_back(*note);
    }
};

std::vector<u32> Serials(const CKvsDevSet& set) {
    std::vector<u32> out;
    for (u32 i = 0; i < set.Count(); ++i) out.push_back(set.At(i)->GetU32(DevcF::serial));
    return out;
}

TEST(DevSet, KeepsDevicesSortedAndFindsBySerial) {
    CKvsDevSet set;
    ASSERT_NE(set.Root(), nullptr);
    EXPECT_EQ(set.Root()->Family(), kFamKvs);
    EXPECT_EQ(set.Root()->Kind(), kKindKvss);
    EXPECT_EQ(set.Find(5), nullptr);
    EXPECT_EQ(set.UpperBound(5), 0u);

    for (u16 s : {300, 7, 65535, 42, 1}) ASSERT_NE(set.Add(s), nullptr);
    EXPECT_EQ(Serials(set), (std::vector<u32>{1, 7, 42, 300, 65535}));
    EXPECT_EQ(set.UpperBound(0), 0u);
    EXPECT_EQ(set.UpperBound(7), 2u);
    EXPECT_EQ(set.UpperBound(8), 2u);
    EXPECT_EQ(set.UpperBound(65535), 5u);
    for (u16 s : {1, 7, 42, 300, 65535}) {
        CRecord* d = set.Find(s);
        ASSERT_NE(d, nullptr) << s;
        EXPECT_EQ(d->GetU32(DevcF::serial), s);
        EXPECT_EQ(d->Kind(), kKindDevc);
    }
    EXPECT_EQ(set.Find(8), nullptr);
    EXPECT_EQ(set.Find(0), nullptr);
}

TEST(DevSet, EqualSerialsStayInArrivalOrder) {
    CKvsDevSet set;
    CRecord* a = set.Add(10);
    set.Add(20);
    CRecord* b = set.Add(10);
    ASSERT_EQ(set.Count(), 3u);
    EXPECT_EQ(set.At(0), a);
    EXPECT_EQ(set.At(1), b);
    // The later one is the one found: it sits just before the upper bound.
    EXPECT_EQ(set.Find(10), b);
}

TEST(DevSet, ComparesOnlyTheLow16BitsOfTheStoredSerial) {
    CKvsDevSet set;
    CRecord* d = set.Add(305);
    d->SetU32(nullptr, DevcF::serial, 0x10000u + 305);
    EXPECT_EQ(set.Find(305), d);
}

TEST(DevSet, RemovesOnlyDevicesStillMarkedNotSeen) {
    CKvsDevSet set;
    for (u16 s : {1, 2, 3, 4, 5}) set.Add(s);
    set.MarkAllNotSeen();
    for (u32 i = 0; i < set.Count(); ++i) EXPECT_EQ(set.At(i)->GetU8(DevcF::notSeen), 1);
    set.Find(2)->SetU8(nullptr, DevcF::notSeen, 0);
    set.Find(5)->SetU8(nullptr, DevcF::notSeen, 0);
    set.RemoveNotSeen();
    EXPECT_EQ(Serials(set), (std::vector<u32>{2, 5}));
    set.RemoveNotSeen();
    EXPECT_EQ(Serials(set), (std::vector<u32>{2, 5}));
}

TEST(DevSet, ChangesReachTheListenersOfTheSet) {
    CKvsDevSet set;
    Seen seen;
    MDevSetLink& link = set;
    link.AddChangeListener(&seen, Seen::Listen);
    CRecord* d = set.Add(305);
    d->SetU32(nullptr, DevcF::address, 0x7F000001u);
    bool sawInsert = false, sawAddress = false;
    for (const CRecordNote& n : seen.notes) {
        if (n.kind == CRecordNote::kInserted && n.record == set.Root()) sawInsert = true;
        if (n.kind == CRecordNote::kChanged && n.record == d && n.field == DevcF::address)
            sawAddress = true;
    }
    EXPECT_TRUE(sawInsert);
    EXPECT_TRUE(sawAddress);
    // Storing the same address again is no change.
    const size_t before = seen.notes.size();
    d->SetU32(nullptr, DevcF::address, 0x7F000001u);
    EXPECT_EQ(seen.notes.size(), before);
    link.RemoveChangeListener(&seen, Seen::Listen);
    d->SetU32(nullptr, DevcF::address, 0x7F000002u);
    EXPECT_EQ(seen.notes.size(), before);
    EXPECT_EQ(link.FindDevice(305), d);
}

}  // namespace
