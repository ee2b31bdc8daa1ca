#include <gtest/gtest.h>

#include "RecTestUtil.h"

namespace {

using namespace RecField;
constexpr u32 kFam = FourCC("SCHT");

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
