// Command fields that go out once per write: the same value written twice is
// sent twice, and the stored value is back at its default after each write.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/OneShotFields.h"
#include "records/RecordKinds.h"

namespace {

struct Log {
    static void On(void* self, CRecordNote* n) {
        if (n->kind != CRecordNote::kChanged) return;
        const CRecord* r = n->record;
        static_cast<Log*>(self)->seen.push_back(
            std::to_string(n->field) + "=" +
            (r->Desc(n->field).type == kRecString ? std::string(r->GetString(n->field).CStr())
                                                  : std::to_string(r->GetI32(n->field))));
    }
    std::vector<std::string> seen;
};

TEST(OneShotFields, EachWriteIsSentAndTheDefaultIsBack) {
    RegisterAllRecordKinds();
    struct Case {
        const char* what;
        u8 field;  // 255: field 2 as text
        i32 value;
        std::vector<std::string> seen;
        i32 stored;
    } cases[] = {
        {"play time twice", DvcmF::pltm, 5000, {"12=5000", "12=5000"}, -1},
        {"the default itself is no change", DvcmF::pltm, -1, {}, -1},
        {"edit mode", DvcmF::sedm, 1, {"3=1", "3=1"}, -1},
        {"a text field is no scalar", DvcmF::plsn, 4, {}, 0},
        {"play path twice", 255, 0, {"2=/sqcs/3", "2=/sqcs/3"}, 0},
        {"a field past the end", 200, 7, {}, 0},
    };
    for (const Case& c : cases) {
        CRecordDoc doc(CRecord::New(CRecordSchema::Find(kFamKvt, kKindDvcm)));
        Log log;
        doc.AddListener(&log, Log::On);
        for (int i = 0; i < 2; ++i) {
            if (c.field == 255)
                SetField2Transient(doc.Root(), LString("/sqcs/3"));
            else
                SetCommandOneShot(doc.Root(), c.field, c.value);
        }
        EXPECT_EQ(log.seen, c.seen) << c.what;
        if (c.field == 255) {
            EXPECT_EQ(doc.Root()->GetString(DvcmF::plsn), "") << c.what;
        } else if (c.field < DvcmF::kCount && doc.Root()->Desc(c.field).type == kRecI32) {
            EXPECT_EQ(doc.Root()->GetI32(c.field), c.stored) << c.what;
        }
        doc.RemoveListener(&log, Log::On);
    }
}

}  // namespace
