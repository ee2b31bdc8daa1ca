#include <gtest/gtest.h>

#include "RecTestUtil.h"

namespace {

using namespace RecField;
constexpr u32 kFam = FourCC("SCHT");

TEST(RecordSchema, LaterRegistrationShadowsUntilUnregistered) {
    const u32 kind = FourCC("SHAD");
    EXPECT_EQ(CRecordSchema::Find(kFam, kind), nullptr);
    const RecFieldDesc one[] = {U32(FourCC("aaaa"), 1)};
    const RecFieldDesc two[] = {U32(FourCC("aaaa"), 2), U8(FourCC("bbbb"))};
    CRecordSchema first(kFam, kind, 1, one);
    EXPECT_EQ(CRecordSchema::Find(kFam, kind), &first);
    {
        CRecordSchema second(kFam, kind, 2, two);
        EXPECT_EQ(CRecordSchema::Find(kFam, kind), &second);
        CRecord* r = CRecord::New(CRecordSchema::Find(kFam, kind));
        EXPECT_EQ(r->GetU32(0), 2u);
        CRecord::Destroy(r);
    }
    EXPECT_EQ(CRecordSchema::Find(kFam, kind), &first);
    // Another kind of the same family and another family of the same kind are not matches.
    EXPECT_EQ(CRecordSchema::Find(kFam, FourCC("SHAE")), nullptr);
    EXPECT_EQ(CRecordSchema::Find(FourCC("SCHU"), kind), nullptr);

    // Unregistering twice, or a schema never registered, changes nothing.
    first.Unregister();
    first.Unregister();
    CRecordSchema never;
    never.Unregister();
    EXPECT_EQ(CRecordSchema::Find(kFam, kind), nullptr);
    EXPECT_EQ(CRecordSchema::Find(rt::kFam, rt::kRootKind), rt::RootSchema());
}

TEST(RecordSchema, DescriptorWordsDecode) {
    const RecFieldDesc d1542 =
        FromWord(FourCC("chld"), 1542, 0, 0, {.rec = {kFam, FourCC("XXXX")}});
    EXPECT_EQ(d1542.type, kRecChild);
    EXPECT_TRUE(d1542.IsUntyped());
    EXPECT_TRUE(d1542.IsOptional());
    EXPECT_FALSE(d1542.IsTransient());
    EXPECT_EQ(d1542.TypeWord(), 1542);

    const RecFieldDesc d262 = FromWord(FourCC("chld"), 262, 0, 0, {.raw = 0});
    EXPECT_EQ(d262.type, kRecChild);
    EXPECT_TRUE(d262.IsTransient());
    EXPECT_FALSE(d262.IsUntyped());
    EXPECT_FALSE(d262.IsOptional());

    const RecFieldDesc d1286 = FromWord(FourCC("chld"), 1286, 0, 0, {.raw = 0});
    EXPECT_TRUE(d1286.IsTransient() && d1286.IsOptional() && !d1286.IsUntyped());

    const RecFieldDesc d1799 = FromWord(FourCC("list"), 1799, 0, 0, {.raw = 0});
    EXPECT_EQ(d1799.type, kRecList);
    EXPECT_TRUE(d1799.IsTransient() && d1799.IsUntyped() && d1799.IsOptional());

    // The default's family and kind sit in bytes 8-11 and 12-15.
    const u8* bytes = reinterpret_cast<const u8*>(&d1542);
    u32 fam;
    std::memcpy(&fam, bytes + 8, 4);
    EXPECT_EQ(fam, kFam);
}

int gHookCalls = 0;
i32 CountingHook(u32 op, void*) {
    if (op == CRecordSchema::kHookDefaults) ++gHookCalls;
    return 0;
}
i32 RefusingHook(u32 op, void*) {
    return op == CRecordSchema::kHookDefaults ? 1 : 0;
}

TEST(RecordSchema, CreationFailuresLeakNothing) {
    // A child kind that nobody registered: the record cannot be made (the sanitizer
    // build reports any leak of the fields built before the failure).
    const RecFieldDesc fields[] = {
        Str(FourCC("name"), "something long enough not to be inline"),
        Array(FourCC("arr "), kRecU32),
        List(FourCC("list"), rt::kFam, rt::kItemKind),
        Child(FourCC("good"), rt::kFam, rt::kItemKind),
        Child(FourCC("miss"), kFam, FourCC("NONE")),
    };
    CRecordSchema broken(kFam, FourCC("BRKN"), 5, fields);
    EXPECT_EQ(CRecord::New(&broken), nullptr);

    // The same missing kind as an optional child is fine: nothing is created for it.
    const RecFieldDesc optional[] = {Child(FourCC("miss"), kFam, FourCC("NONE"), kRecOptional)};
    CRecordSchema opt(kFam, FourCC("OPTL"), 1, optional);
    CRecord* r = CRecord::New(&opt);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetChild(0), nullptr);
    CRecord::Destroy(r);

    // An invalid array element type fails too.
    const RecFieldDesc badArray[] = {U32(FourCC("aaaa")), Array(FourCC("bad "), 9)};
    CRecordSchema bad(kFam, FourCC("BADA"), 2, badArray);
    EXPECT_EQ(CRecord::New(&bad), nullptr);

    // A refusing hook destroys the built record.
    CRecordSchema refusing(kFam, FourCC("REFU"), 5, fields, RefusingHook);
    const RecFieldDesc okFields[] = {Str(FourCC("name"), "a text that needs the heap, surely")};
    CRecordSchema refusing2(kFam, FourCC("REF2"), 1, okFields, RefusingHook);
    EXPECT_EQ(CRecord::New(&refusing2), nullptr);

    // A kind without fields is valid and its hook still runs.
    CRecordSchema empty(kFam, FourCC("EMPT"), 0, nullptr, CountingHook);
    gHookCalls = 0;
    CRecord* e = CRecord::New(&empty);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(gHookCalls, 1);
    e->ResetToDefaults();
    EXPECT_EQ(gHookCalls, 2);
    CRecord::Destroy(e);
}

}  // namespace
