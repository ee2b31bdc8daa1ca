// The per-device request queue and the record channels in front of it, against
// the simulated device on loopback, on the virtual clock.

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "base/Resources.h"
#include "devlink/CDevRequestQueue.h"
#include "editors/PlayBtnGrid.h"
#include "framework/CUndoQ.h"
#include "records/DeviceKinds.h"
#include "records/LRecPath.h"
#include "records/OneShotFields.h"
#include "records/CUndoStrm.h"
#include "records/Sequences.h"
#include "records/ShowKinds.h"
#include "tests/devlink/DeviceTestUtil.h"

using namespace devtest;

namespace {

using Status = std::vector<u32>;

struct Done {
    Status status = {9, 9, 9};
    u32 calls = 0;
    bool hadData = false;
    std::string data;
    CReqQueue* queue = nullptr;  // when set: was it idle at the first completion?
    bool idleAtCompletion = false;

    static void Fn(void* self, CStrm* strm, const u32* status) {
        auto* d = static_cast<Done*>(self);
        if (d->calls++ == 0 && d->queue) d->idleAtCompletion = d->queue->IsIdle();
        d->status.assign(status, status + 3);
        d->hadData = strm != nullptr;
        if (auto* m = static_cast<CMemStrm*>(strm)) d->data.assign(m->Data(), m->Data() + m->End());
    }
};

class Queue : public DeviceLinkTest {
protected:
    void Enqueue(CReqQueue& q, Done& d, const char* path = "/.cmd/udseqset/") {
        q.Enqueue(&d, Done::Fn, path, 0, nullptr, nullptr, 0);
    }
    bool Wait(const std::function<bool()>& pred) { return fLoop.RunUntil(pred); }
};

TEST_F(Queue, RequestsRunOneAtATimeAndCarryTheSerial) {
    AddDevice(305, 1);
    CReqQueue q(&fSet, 305);
    Done d[3];
    for (Done& x : d) {
        x.queue = &q;
        q.Enqueue(&x, Done::Fn, "/.cmd/udseqset/", 0, new CGrowMemStrm, nullptr, 0);
    }
    EXPECT_EQ(q.PendingCount(), 2u);
    ASSERT_TRUE(Wait([&] { return d[2].calls && q.IsIdle(); }));
    for (Done& x : d) {
        EXPECT_EQ(x.calls, 1u);
        EXPECT_EQ(x.status, (Status{0, 0, 0}));
        EXPECT_FALSE(x.data.empty());
        // The completion comes from the peer, while its own transfer is still in flight.
        EXPECT_FALSE(x.idleAtCompletion);
    }
    u32 requests = 0;
    for (const std::string& l : LogOf("pkt")) {
        if (Field(l, "dir") != "in" || Field(l, "op") != "RRQ") continue;
        ++requests;
        EXPECT_EQ(Field(l, "opt.serno"), "305") << l;
    }
    EXPECT_EQ(requests, 3u);
}

TEST_F(Queue, StatusWordsForErrorNoAnswerAndAddressChange) {
    CRecord* dev = AddDevice(305, 1);
    CReqQueue q(&fSet, 305);
    Done err, none, moved, next;
    Enqueue(q, err, "/sdc/missing-file");  // the device answers ERROR 1
    ASSERT_TRUE(Wait([&] { return err.calls == 1; }));
    EXPECT_EQ(err.status, (Status{0, 3, 1}));
    EXPECT_FALSE(err.hadData);

    dev->SetU32(nullptr, DevcF::address, DeviceIp(200));  // nobody there
    Enqueue(q, none);
    fLoop.Advance(11000);
    EXPECT_EQ(none.status, (Status{2, 0, 0}));

    // The device moves while a request is in flight: that request ends (2, 2, 0)
    // and the next one is asked at the new address.
    Enqueue(q, moved);
    Enqueue(q, next);
    dev->SetU32(nullptr, DevcF::address, DeviceIp(1));
    EXPECT_EQ(moved.status, (Status{2, 2, 0}));
    ASSERT_TRUE(Wait([&] { return next.calls == 1; }));
    EXPECT_EQ(next.status, (Status{0, 0, 0}));
    fLoop.Advance(60000);
    EXPECT_EQ(moved.calls, 1u);
}

TEST_F(Queue, RequestsOfAnAbsentDeviceWaitUntilTheNextEnqueue) {
    AddDevice(306, 2, false);
    CReqQueue q(&fSet, 306);
    Done a, b;
    Enqueue(q, a);
    fSet.Add(306)->SetU32(nullptr, DevcF::address, DeviceIp(2));
    fLoop.Advance(60000);
    EXPECT_EQ(a.calls, 0u);
    EXPECT_TRUE(q.IsIdle());
    Enqueue(q, b);
    ASSERT_TRUE(Wait([&] { return a.calls && b.calls; }));
    EXPECT_EQ(a.status, (Status{0, 0, 0}));
}

TEST_F(Queue, QueueOfNoDeviceCompletesAtOnceWithNothing) {
    CReqQueue q(&fSet, 0);
    Done a;
    q.Enqueue(&a, Done::Fn, "/.cmd/udseqset/", 1, new CGrowMemStrm, nullptr, 0);
    EXPECT_EQ(a.status, (Status{0, 0, 0}));
    EXPECT_TRUE(a.hadData && a.data.empty() && q.IsIdle());
}

TEST_F(Queue, CancellingTheRequestInFlightStartsTheNextClients) {
    CRecord* dev = AddDevice(305, 1);
    CReqQueue q(&fSet, 305);
    dev->SetU32(nullptr, DevcF::address, DeviceIp(201));  // nobody: the first request hangs
    Done a, b;
    Enqueue(q, a);
    Enqueue(q, b);
    Enqueue(q, a);
    EXPECT_NE(q.CurrentStatus(), 0u);
    // Edited without a change notice: only the next request goes to the right place.
    dev->Slots()[DevcF::address] = DeviceIp(1);
    q.CancelAll(&a, Done::Fn);
    EXPECT_EQ(q.PendingCount(), 0u);
    EXPECT_FALSE(q.IsIdle()) << "b's request must start at once";
    ASSERT_TRUE(Wait([&] { return b.calls && q.IsIdle(); }));
    EXPECT_EQ(b.status, (Status{0, 0, 0}));
    EXPECT_EQ(a.calls, 0u);
}

TEST_F(Queue, WritesCarryTheirDataAndPerm) {
    AddDevice(305, 1);
    CReqQueue q(&fSet, 305);
    auto* body = new CGrowMemStrm;
    body->Write("hello device", 12);
    body->SetPosition(0);
    Done w, r;
    const u32 perm = 420;
    q.Enqueue(&w, Done::Fn, "/sdc/hello.txt", 1, body, &perm, 0);
    Enqueue(q, r, "/sdc/hello.txt");
    ASSERT_TRUE(Wait([&] { return r.calls == 1; }));
    EXPECT_EQ(w.status, (Status{0, 0, 0}));
    EXPECT_EQ(r.data, "hello device");
    bool sawPerm = false;
    for (const std::string& l : LogOf("pkt"))
        if (Field(l, "op") == "WRQ" && Field(l, "dir") == "in")
            sawPerm = Field(l, "opt.perm") == "420";
    EXPECT_TRUE(sawPerm);
}

// Fields of the sequence settings used here.
constexpr u8 kUssc = 0;  // u8
constexpr u8 kTgmk = 2;  // u32
constexpr u8 kSqfm = 4;  // u8

class Channel : public DeviceLinkTest {
protected:
    void SetUp() override {
        DeviceLinkTest::SetUp();
        if (HasFatalFailure()) return;
        RegisterAllRecordKinds();
        AddDevice(305, 1);
        fQueue = std::make_unique<CReqQueue>(&fSet, 305);
        fDoc = std::make_unique<CRecordDoc>(CRecord::New(CRecordSchema::Find(kFamKvt, kKindSqst)));
        ASSERT_NE(fDoc->Root(), nullptr);
    }
    void TearDown() override {
        fChannel.reset();
        fQueue.reset();
        DeviceLinkTest::TearDown();
    }
    CDevRequestQueue& Open(void* context = nullptr) {
        fChannel = std::make_unique<CDevRequestQueue>(fQueue.get(), fDoc->Root(), "/.cmd/udseqset",
                                                      context ? context : this, Applied);
        return *fChannel;
    }
    static void Applied(void* self) {
        auto* t = static_cast<Channel*>(self);
        ++t->fApplied;
        if (t->fOnApplied) t->fOnApplied();
    }
    CRecord* Rec() { return fDoc->Root(); }
    void DeviceSet(const char* field, const char* value) {
        const std::string a = fSim.Cmd(std::string("chan-set serno=305 path=/.cmd/udseqset/") +
                                       field + " value=" + value);
        ASSERT_EQ(a.rfind("ok", 0), 0u) << a;
    }
    // (path, value) of every write the device took, in order.
    std::vector<std::pair<std::string, std::string>> Writes() {
        std::vector<std::pair<std::string, std::string>> out;
        for (const std::string& l : LogOf("chan"))
            if (Field(l, "op") == "write") out.emplace_back(Field(l, "path"), Field(l, "value"));
        return out;
    }
    u32 WholeReads() {
        u32 n = 0;
        for (const std::string& l : LogOf("pkt"))
            n += Field(l, "dir") == "in" && Field(l, "op") == "RRQ" &&
                 Field(l, "path") == "/.cmd/udseqset/";
        return n;
    }
    // Runs until nothing is left to do, moving the clock to the next timer only
    // while nothing is in flight (the channel waits for its retry).
    bool Settle() {
        for (int i = 0; i < 20; ++i) {
            if (!fLoop.RunUntil([&] { return fQueue->IsIdle(); })) return false;
            if (!fLoop.AdvanceToNext()) return !fChannel->IsBusy();
        }
        return false;
    }
    // Runs the loop one step at a time until a request is in flight: its answer
    // is not handled yet.
    bool InFlight() {
        while (fQueue->IsIdle())
            if (!fLoop.RunOne()) return false;
        return true;
    }

    u32 fApplied = 0;
    std::function<void()> fOnApplied;
    std::unique_ptr<CReqQueue> fQueue;
    std::unique_ptr<CRecordDoc> fDoc;
    std::unique_ptr<CDevRequestQueue> fChannel;
};

using Write = std::pair<std::string, std::string>;

TEST_F(Channel, WholeReadDecodesQuietlyAndRefreshReadsAgain) {
    DeviceSet("tgmk", "77");
    DeviceSet("sqfm", "3");
    CDevRequestQueue& ch = Open();
    fLoop.Advance(60000);
    EXPECT_EQ(WholeReads(), 0u) << "nothing is read before Refresh";
    ch.Refresh();
    ch.Refresh();  // merged with the waiting one, or sent after it: never more than two
    ASSERT_TRUE(Settle());
    EXPECT_GE(fApplied, 1u);
    EXPECT_EQ(Rec()->GetU32(kTgmk), 77u);
    EXPECT_EQ(Rec()->GetU8(kSqfm), 3);
    EXPECT_FALSE(fDoc->IsModified());
    EXPECT_LE(WholeReads(), 2u);
    DeviceSet("tgmk", "78");
    fDoc->SetModified(true);
    ch.Refresh();
    ASSERT_TRUE(Settle());
    EXPECT_EQ(Rec()->GetU32(kTgmk), 78u);
    EXPECT_TRUE(fDoc->IsModified()) << "a modified document stays modified";
    EXPECT_TRUE(Writes().empty()) << "applying the device's record must send nothing back";
    // A setting changed while the record is on its way: the device's old value
    // does not replace the user's, which then reaches the device.
    ch.Refresh();
    ASSERT_TRUE(InFlight());
    Rec()->SetU32(nullptr, kTgmk, 42);
    ASSERT_TRUE(Settle());
    EXPECT_EQ(Rec()->GetU32(kTgmk), 42u);
    EXPECT_EQ(Writes(), (std::vector<Write>{{"/.cmd/udseqset/tgmk", "42"}}));
}

TEST_F(Channel, QuickChangesMergeOnlyWithTheLastWaitingWrite) {
    Open();
    Rec()->SetU32(nullptr, kTgmk, 100);
    ASSERT_TRUE(InFlight());
    for (u32 v = 1; v <= 5; ++v) Rec()->SetU32(nullptr, kTgmk, v);
    Rec()->SetU8(nullptr, kSqfm, 2);
    Rec()->SetU32(nullptr, kTgmk, 12);
    ASSERT_TRUE(Settle());
    EXPECT_EQ(Writes(), (std::vector<Write>{{"/.cmd/udseqset/tgmk", "100"},
                                            {"/.cmd/udseqset/tgmk", "5"},
                                            {"/.cmd/udseqset/sqfm", "2"},
                                            {"/.cmd/udseqset/tgmk", "12"}}));
}

// Changes of a list while its write waits fold into that write, however they
// come: at its end, in its middle, inside an item, or from a listener heard
// before the channel. Each write carries the value as it stood at its last
// change (the sizes of a full write at each change, folded into the last one
// waiting), and the device ends with the record as it is here.
TEST_F(Channel, ListChangesWhileTheirWriteWaits) {
    struct Expected {
        CRecord* root = nullptr;
        bool on = false;
        std::vector<Write> writes;  // path, size
        static void Fn(void* self, CRecordNote* n) {
            auto* e = static_cast<Expected*>(self);
            LTextStream path;
            if (!e->on || n->kind > CRecordNote::kMoved ||
                !LRecPath::Append(e->root, n->record, n->field, kRecNoIndex, path))
                return;
            CGrowMemStrm body;
            LRecPath::WriteValue(n->record, n->field, kRecNoIndex, &body);
            const Write w{"/.cmd/udseqset" + std::string(path.CStr()), std::to_string(body.End())};
            if (e->writes.empty() || e->writes.back().first != w.first) e->writes.push_back(w);
            e->writes.back() = w;
        }
    };
    // Heard before the channel: a first sequence named "grow" gets one more.
    const auto grow = [](void*, CRecordNote* n) {
        CRecord* seqs = n->record->Parent();
        if (n->kind == CRecordNote::kChanged && n->field == SqncF::sqnm && seqs &&
            n->record->GetString(SqncF::sqnm) == LString("grow") && n->record->Position() == 0)
            InsertNewSequence(seqs, nullptr, seqs->GetListCount(SqstF::sqcs));
    };
    fDoc->AddListener(nullptr, +grow);
    Open();
    Expected expected;
    expected.root = Rec();
    fDoc->AddListener(&expected, Expected::Fn);
    const auto add = [&](u32 at) { InsertNewSequence(Rec(), nullptr, at); };
    const auto count = [&] { return Rec()->GetListCount(SqstF::sqcs); };
    const auto removeLast = [&] { Rec()->RemoveItem(nullptr, SqstF::sqcs, count() - 1); };
    const auto name = [&](u32 at, const char* text) {
        Rec()->GetListItem(SqstF::sqcs, at)->SetString(nullptr, SqncF::sqnm, LString(text));
    };
    const struct {
        const char* what;
        std::function<void()> changes;
    } rows[] = {
        {"three added at the end", [&] { add(0), add(1), add(2); }},
        {"two removed from the end", [&] { removeLast(), removeLast(); }},
        {"added, removed, added at the end", [&] { add(count()), removeLast(), add(count()); }},
        {"added in the middle, then at the end", [&] { add(1), add(count()); }},
        {"removed from the front, then added",
         [&] {
             Rec()->RemoveItem(nullptr, SqstF::sqcs, 0);
             add(count());
         }},
        {"a scene between two added at the end",
         [&] {
             add(count());
             InsertSceneUnique(Rec()->GetListItem(SqstF::sqcs, count() - 1), nullptr, SqncF::scns,
                               0, nullptr);
             add(count());
         }},
        {"a first item renamed, then one added", [&] { add(count()), name(0, "x"), add(count()); }},
        {"one added as the first is renamed", [&] { add(count()), name(0, "grow"); }},
    };
    for (const auto& row : rows) {
        fSim.Cmd("log clear");
        Rec()->SetU32(nullptr, kTgmk, Rec()->GetU32(kTgmk) + 1);
        ASSERT_TRUE(InFlight()) << row.what;
        expected.writes.clear();
        expected.on = true;
        row.changes();
        expected.on = false;
        ASSERT_TRUE(Settle()) << row.what;
        std::vector<Write> sent;
        for (const std::string& l : LogOf("chan"))
            if (Field(l, "op") == "write" && Field(l, "path") != "/.cmd/udseqset/tgmk")
                sent.emplace_back(Field(l, "path"), Field(l, "size"));
        EXPECT_EQ(sent, expected.writes) << row.what;
        CRecordDoc device(CRecord::New(CRecordSchema::Find(kFamKvt, kKindSqst)));
        CDevRequestQueue reader(fQueue.get(), device.Root(), "/.cmd/udseqset", this, Applied);
        reader.Refresh();
        ASSERT_TRUE(fLoop.RunUntil([&] { return !reader.IsBusy(); })) << row.what;
        CGrowMemStrm here, there;
        LRecPath::WriteValue(Rec(), SqstF::sqcs, kRecNoIndex, &here);
        LRecPath::WriteValue(device.Root(), SqstF::sqcs, kRecNoIndex, &there);
        EXPECT_EQ(std::string(here.Data(), here.Data() + here.End()),
                  std::string(there.Data(), there.Data() + there.End()))
            << row.what;
    }
    fDoc->RemoveListener(&expected, Expected::Fn);
    fDoc->RemoveListener(nullptr, +grow);
}

// Many rows inserted, removed and moved at any place of a list, one step at a
// time (a paste, a delete, a drag) with Undo and Redo among them, while the
// device answers, stays silent or refuses the list's writes: after each step
// the last write of the list still on its way carries exactly what encoding
// the list whole gives now, and in the end the device holds the record as it
// is here.
TEST_F(Channel, ListEditsAnywhereLeaveTheirWriteWhole) {
    static LResFile app(AppResFileRef());
    SetDefaultResChain(&app);
    const struct {
        const char* what;
        const char* fault;  // while the steps run
        bool refuses;       // the record is read back from the device
        u32 seed;
    } rows[] = {
        {"answering", nullptr, false, 1},
        {"silent", "fault drop serno=305 dir=in", false, 2},
        {"refusing the first writes", "fault error code=2 dir=in opcode=WRQ count=3", true, 3},
        {"refusing one write", "fault error code=2 dir=in opcode=WRQ count=1", true, 4},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        fDoc = std::make_unique<CRecordDoc>(NewSeqSettingsRecord());
        CUndoQ undo(nullptr, 1u << 22);
        LHandler user(&undo);
        std::mt19937 pick(row.seed);
        const auto below = [&](u32 n) { return n ? u32(pick() % n) : 0u; };
        // A new item of a list, with names, ids (often taken: the NSQ
        // sequences' hook gives them free ones) and a few items of its own lists.
        u32 made = 0;
        std::function<CRecord*(const RecFieldDesc&, u32)> newItem = [&](const RecFieldDesc& d,
                                                                        u32 depth) {
            CRecord* item = CRecord::New(CRecordSchema::Find(d.def.rec.family, d.def.rec.kind));
            for (u8 f = 0; item && f < item->FieldCount(); ++f) {
                const RecFieldDesc& fd = item->Desc(f);
                if (!fd.IsTagged() || fd.IsTransient()) continue;
                if (fd.type == kRecString)
                    item->SetString(nullptr, f, LString(("Row " + std::to_string(++made)).c_str()));
                else if (fd.type == kRecU32)
                    item->SetU32(nullptr, f, 1 + below(3));
                else if (fd.type == kRecList && depth < 2)
                    for (u32 k = below(3); k-- > 0;)
                        item->InsertItem(nullptr, f, 0, newItem(fd, depth + 1));
            }
            return item;
        };
        // Every list of the record, by path.
        std::vector<std::string> lists;
        std::function<void(const CRecord*)> collect = [&](const CRecord* r) {
            for (u8 f = 0; f < r->FieldCount(); ++f) {
                const RecFieldDesc& fd = r->Desc(f);
                if (!fd.IsTagged() || fd.IsTransient()) continue;
                if (fd.type == kRecChild && r->GetChild(f)) collect(r->GetChild(f));
                if (fd.type != kRecList) continue;
                LTextStream path;
                LRecPath::Append(Rec(), r, f, kRecNoIndex, path);
                lists.push_back(path.CStr());
                for (u32 k = 0; k < r->GetListCount(f); ++k) collect(r->GetListItem(f, k));
            }
        };
        const auto listAt = [&](const std::string& path, u8* field) -> CRecord* {
            u32 index;
            return LRecPath::Resolve(path.c_str(), Rec(), field, &index);
        };
        Open();
        for (u32 i = 0; i < 6; ++i) {
            u8 field;
            for (const char* path : {"/sqcs", "/schd/flts", "/axps/plys", "/nsqs/seqs"}) {
                CRecord* list = listAt(path, &field);
                ASSERT_NE(list, nullptr) << path;
                list->InsertItem(nullptr, field, i, newItem(list->Desc(field), 0));
            }
        }
        ASSERT_TRUE(Settle());
        fSim.Cmd("log clear");
        if (row.fault) {
            ASSERT_EQ(fSim.Cmd(row.fault).rfind("ok", 0), 0u);
        }
        // The list each step changed, by its path.
        std::vector<std::string> done, undone;
        for (u32 step = 0; step < 240; ++step) {
            SCOPED_TRACE(step);
            const u32 what = below(10);
            const u32 changes = fDoc->ChangeCount();
            std::string path;
            if (what == 0 && !done.empty()) {
                ASSERT_TRUE(undo.Undo());
                path = done.back();
                done.pop_back();
                undone.push_back(path);
            } else if (what == 1 && !undone.empty()) {
                ASSERT_TRUE(undo.Redo());
                path = undone.back();
                undone.pop_back();
                done.push_back(path);
            } else {
                // One list, several rows at any place, one undo step.
                lists.clear();
                collect(Rec());
                path = lists[below(u32(lists.size()))];
                u8 field;
                CRecord* list = listAt(path, &field);
                ASSERT_NE(list, nullptr) << path;
                std::unique_ptr<CUndoStrm> group(
                    CUndoStrm::Open(&user, nullptr, nullptr, "", 0, CUndoStrm::kMergeNew));
                for (u32 n = 1 + below(6); n-- > 0;) {
                    const u32 count = list->GetListCount(field);
                    const u32 op = below(3);
                    if (op == 0 || count < 2) {
                        const u32 at = below(count + 1);
                        list->InsertItem(&user, field, at, newItem(list->Desc(field), 0));
                    } else if (op == 1)
                        list->RemoveItem(&user, field, below(count));
                    else {
                        // The same steps from every compiler: one pick after the other.
                        const u32 from = below(count);
                        list->MoveItem(&user, field, from, below(count + 1));
                    }
                }
                group.reset();
                done.push_back(path);
                undone.clear();
            }
            u8 field;
            const CRecord* list = listAt(path, &field);
            ASSERT_NE(list, nullptr) << path;
            CGrowMemStrm whole;
            LRecPath::WriteValue(list, field, kRecNoIndex, &whole);
            const std::vector<u8> waiting = fChannel->LastWriteBytes(path.c_str());
            // Only moves onto their own place change nothing, and write nothing.
            if (fDoc->ChangeCount() != changes) {
                EXPECT_EQ(waiting, std::vector<u8>(whole.Data(), whole.Data() + whole.End()))
                    << path;
            }
            // Some of the writes go, as the device takes them.
            for (u32 n = below(4); n-- > 0;) fLoop.RunOne();
        }
        // A request in flight hears nothing before its next try. What the device
        // refused is read back from it: the record then shows the device's list.
        ASSERT_EQ(fSim.Cmd("fault-clear").rfind("ok", 0), 0u);
        fLoop.Advance(60000);
        ASSERT_TRUE(Settle());
        // Otherwise the device took every write as it came, and the record is its own.
        u32 writes = 0, refused = 0;
        for (const std::string& l : LogOf("chan"))
            if (Field(l, "op") == "write") ++(Field(l, "ok") == "1" ? writes : refused);
        EXPECT_GT(writes, 10u);
        EXPECT_EQ(refused, 0u);
        EXPECT_EQ(WholeReads() > 0, row.refuses);
        CRecordDoc device(NewSeqSettingsRecord());
        CDevRequestQueue reader(fQueue.get(), device.Root(), "/.cmd/udseqset", this, Applied);
        reader.Refresh();
        ASSERT_TRUE(fLoop.RunUntil([&] { return !reader.IsBusy(); }));
        for (const char* path : {"/sqcs", "/schd/flts", "/axps/plys", "/nsqs/seqs"}) {
            u8 field;
            u32 index;
            CGrowMemStrm here, there;
            // (Resolved first: an argument beside the call would be read before it sets it.)
            const CRecord* mine = LRecPath::Resolve(path, Rec(), &field, &index);
            LRecPath::WriteValue(mine, field, kRecNoIndex, &here);
            const CRecord* theirs = LRecPath::Resolve(path, device.Root(), &field, &index);
            LRecPath::WriteValue(theirs, field, kRecNoIndex, &there);
            EXPECT_GT(here.End(), 12u) << path;
            EXPECT_EQ(std::string(here.Data(), here.Data() + here.End()),
                      std::string(there.Data(), there.Data() + there.End()))
                << path;
        }
        fChannel.reset();
    }
}

TEST_F(Channel, ChangeWaitsBehindAWholeReadThatFailsTwice) {
    ASSERT_EQ(fSim.Cmd("fault error code=1 dir=in opcode=RRQ path=/.cmd/udseqset/ count=2")
                  .rfind("ok", 0),
              0u);
    DeviceSet("tgmk", "9");
    Open().Refresh();
    ASSERT_TRUE(fLoop.RunUntil([&] { return fQueue->IsIdle(); }));
    Rec()->SetU8(nullptr, kUssc, 1);
    ASSERT_TRUE(Settle());
    EXPECT_GE(fApplied, 1u);
    EXPECT_EQ(Rec()->GetU32(kTgmk), 9u);
    EXPECT_EQ(Writes(), (std::vector<Write>{{"/.cmd/udseqset/ussc", "1"}}));
    EXPECT_GE(WholeReads(), 3u);
}

// A setting refused is dropped alone: the writes behind it go, the owner is told
// which it was, and the device's record is read anew (unless told not to). A
// setting the device did not answer, away for longer than the request's
// retries, goes again once it answers, with the settings behind it, each once,
// before the record is read back: the user's values stay. A press is never
// sent again, nor is one waiting behind a write the device did not answer.
TEST_F(Channel, FailedWriteIsDroppedAloneWhenRefusedAndSentAgainWhenUnanswered) {
    constexpr const char* kRefuse =
        "fault error code=2 dir=in opcode=WRQ path=/.cmd/udseqset/tgmk count=1";
    constexpr const char* kRefusePress =
        "fault error code=2 dir=in opcode=WRQ path=/.cmd/udseqset/ussc count=1";
    constexpr const char* kAway = "fault drop serno=305 dir=in";
    const Write tgmk{"/.cmd/udseqset/tgmk", "5"}, sqfm{"/.cmd/udseqset/sqfm", "1"},
        press{"/.cmd/udseqset/ussc", "2"};
    const std::vector<std::string> none, told{"/tgmk"};
    const struct {
        const char* what;
        const char* fault;
        bool reread;
        bool pressFirst;  // the failing write is a press of ussc, not the setting tgmk
        std::vector<Write> writes;
        u32 tgmk, sqfm;  // the record's, afterwards
        std::vector<std::string> refused;
    } rows[] = {
        {"refused", kRefuse, true, false, {sqfm, press}, 0, 1, told},
        {"refused, no re-read", kRefuse, false, false, {sqfm, press}, 5, 1, told},
        {"unanswered for 30 s", kAway, true, false, {tgmk, sqfm}, 5, 1, none},
        {"unanswered for 30 s, no re-read", kAway, false, false, {tgmk, sqfm}, 5, 1, none},
        {"press refused", kRefusePress, true, true, {sqfm, press}, 0, 1, none},
        {"press unanswered for 30 s", kAway, true, true, {sqfm}, 0, 1, none},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        fSim.Cmd("log clear");
        DeviceSet("tgmk", "0");
        DeviceSet("sqfm", "4");
        const std::string fault = fSim.Cmd(row.fault);
        ASSERT_EQ(fault.rfind("ok", 0), 0u) << fault;
        Open(row.reread ? nullptr : CDevRequestQueue::NoRereadContext());
        std::vector<std::string> refused;
        fChannel->SetRefusedFn(
            &refused, [](void* self, const CDevRequestQueue&, const LString& path) {
                static_cast<std::vector<std::string>*>(self)->push_back(path.CStr());
            });
        // All at once: the device may answer the first before the loop is looked at again.
        if (row.pressFirst)
            SetCommandOneShot(Rec(), kUssc, 1);
        else
            Rec()->SetU32(nullptr, kTgmk, 5);
        Rec()->SetU8(nullptr, kSqfm, 1);     // waits behind the failing write
        SetCommandOneShot(Rec(), kUssc, 2);  // and a press behind it
        // Away past every retry of the request; then back.
        fLoop.Advance(30000);
        if (row.fault == kAway) {
            EXPECT_TRUE(Writes().empty());
        }
        ASSERT_EQ(fSim.Cmd("fault-clear").rfind("ok", 0), 0u);
        // A request in flight hears nothing before its next try.
        fLoop.Advance(60000);
        EXPECT_EQ(Writes(), row.writes);
        EXPECT_EQ(WholeReads(), row.reread ? 1u : 0u);
        EXPECT_EQ(Rec()->GetU32(kTgmk), row.tgmk);
        EXPECT_EQ(Rec()->GetU8(kSqfm), row.sqfm);
        EXPECT_EQ(refused, row.refused);
        fChannel.reset();
        Rec()->SetU32(nullptr, kTgmk, 0);
        Rec()->SetU8(nullptr, kSqfm, 0);
    }
}

// Settings the device has not confirmed are named whatever their round: on
// their first try as after a silent round. Given up by the user, none of them
// reaches the device once it is back, and the record is read anew (unless told
// not to) so that it shows the device's values.
TEST_F(Channel, UnconfirmedSettingsAreNamedInEveryRoundAndGoNowhereOnceGivenUp) {
    const std::vector<std::string> both{"/tgmk", "/sqfm"};
    const struct {
        const char* what;
        u32 awayMs;  // before the user gives up
        bool silent;
        bool reread;
        u32 tgmk, sqfm;  // the record's, afterwards
    } rows[] = {
        {"first try", 0, false, true, 0, 4},
        {"first try, no re-read", 0, false, false, 5, 1},
        {"after a silent round", 30000, true, true, 0, 4},
        {"after a silent round, no re-read", 30000, true, false, 5, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        fSim.Cmd("log clear");
        DeviceSet("tgmk", "0");
        DeviceSet("sqfm", "4");
        ASSERT_EQ(fSim.Cmd("fault drop serno=305 dir=in").rfind("ok", 0), 0u);
        Open(row.reread ? nullptr : CDevRequestQueue::NoRereadContext());
        Rec()->SetU32(nullptr, kTgmk, 5);
        Rec()->SetU8(nullptr, kSqfm, 1);
        ASSERT_TRUE(InFlight());
        fLoop.Advance(row.awayMs);
        EXPECT_EQ(fChannel->DeviceSilent(), row.silent);
        std::vector<std::string> named;
        for (const LString& p : fChannel->UnsentPaths()) named.push_back(p.CStr());
        EXPECT_EQ(named, both);
        fChannel->DropUnsent();
        EXPECT_TRUE(fChannel->UnsentPaths().empty());
        EXPECT_FALSE(fChannel->DeviceSilent());
        ASSERT_EQ(fSim.Cmd("fault-clear").rfind("ok", 0), 0u);
        fLoop.Advance(60000);
        EXPECT_TRUE(Writes().empty());
        EXPECT_EQ(WholeReads() > 0, row.reread);
        EXPECT_EQ(Rec()->GetU32(kTgmk), row.tgmk);
        EXPECT_EQ(Rec()->GetU8(kSqfm), row.sqfm);
        fChannel.reset();
        Rec()->SetU32(nullptr, kTgmk, 0);
        Rec()->SetU8(nullptr, kSqfm, 0);
    }
}

TEST_F(Channel, FieldReadsWithTheirOwnCompletionAreNotRetried) {
    DeviceSet("tgmk", "31");
    CDevRequestQueue& ch = Open();
    struct Client {
        u32 calls = 0;
        bool ok = false;
        static void Fn(void* self, bool success) {
            auto* c = static_cast<Client*>(self);
            ++c->calls;
            c->ok = success;
        }
    } a, b, missing;
    ch.Request("/tgmk", &a, Client::Fn);
    ch.Request("/tgmk", &b, Client::Fn);
    ch.Request("/nosuchfield", &missing, Client::Fn);
    ch.CancelFor(&b, Client::Fn);
    ASSERT_TRUE(Settle());
    fLoop.Advance(60000);
    EXPECT_TRUE(a.calls == 1 && a.ok);
    EXPECT_EQ(b.calls, 0u);
    EXPECT_TRUE(missing.calls == 1 && !missing.ok);
    EXPECT_EQ(Rec()->GetU32(kTgmk), 31u);
    EXPECT_EQ(fApplied, 0u);
    EXPECT_EQ(WholeReads(), 0u);
    EXPECT_TRUE(Writes().empty());
}

TEST_F(Channel, EveryCommandPressTravelsInOrderWhileSettingsStillMerge) {
    CRecordDoc doc(CRecord::New(CRecordSchema::Find(kFamKvt, kKindDvcm)));
    CRecord* cmd = doc.Root();
    ASSERT_NE(cmd, nullptr);
    fChannel =
        std::make_unique<CDevRequestQueue>(fQueue.get(), cmd, "/.cmd/udkvtcmd", this, Applied);
    SetCommandOneShot(cmd, DvcmF::rcct, 4);
    ASSERT_TRUE(InFlight());
    // Everything below waits behind the write in flight, where merging would happen.
    for (int i = 0; i < 2; ++i) SetField2Transient(cmd, LString("/s/1"));
    for (int i = 0; i < 2; ++i) SetCommandOneShot(cmd, DvcmF::rcct, 3);
    // A setting of the pressed field after the presses does not swallow the last one.
    cmd->SetI32(nullptr, DvcmF::rcct, 1);
    cmd->SetI32(nullptr, DvcmF::paus, 7);
    cmd->SetI32(nullptr, DvcmF::paus, 8);
    ASSERT_TRUE(Settle());
    EXPECT_EQ(Writes(), (std::vector<Write>{{"/.cmd/udkvtcmd/rcct", "4"},
                                            {"/.cmd/udkvtcmd/plsn", "/s/1"},
                                            {"/.cmd/udkvtcmd/plsn", "/s/1"},
                                            {"/.cmd/udkvtcmd/rcct", "3"},
                                            {"/.cmd/udkvtcmd/rcct", "3"},
                                            {"/.cmd/udkvtcmd/rcct", "1"},
                                            {"/.cmd/udkvtcmd/paus", "8"}}));
    EXPECT_EQ(cmd->GetI32(DvcmF::paus), 8);
    EXPECT_TRUE(cmd->GetString(DvcmF::plsn).IsEmpty());
    fChannel.reset();  // before the document it listens to
}

// Each way a command is pressed: with a write in flight two presses are two
// writes; and after the device's own record was read back (it keeps what it
// was sent) the same press again is still a press.
TEST_F(Channel, EveryCommandEntrySendsEachPress) {
    CRecordDoc doc(CRecord::New(CRecordSchema::Find(kFamKvt, kKindDvcm)));
    CRecord* cmd = doc.Root();
    fChannel =
        std::make_unique<CDevRequestQueue>(fQueue.get(), cmd, "/.cmd/udkvtcmd", this, Applied);
    const struct {
        const char* path;
        const char* value;  // as the log writes it
        std::function<void()> press;
    } presses[] = {
        {"/.cmd/udkvtcmd/plcl", "2%201", [&] { PressPlayButton(cmd, 2, 1); }},
        {"/.cmd/udkvtcmd/aptg", "0%203", [&] { SetCommandAuxTrigger(cmd, 0, 3); }},
        {"/.cmd/udkvtcmd/plsn", "/", [&] { SetField2Transient(cmd, LString("/")); }},
        {"/.cmd/udkvtcmd/frfl", "1", [&] { SetCommandOneShot(cmd, DvcmF::frfl, 1); }},
        {"/.cmd/udkvtcmd/sedm", "1", [&] { SetCommandOneShot(cmd, DvcmF::sedm, 1); }},
        {"/.cmd/udkvtcmd/srtc", "x",
         [&] { SetCommandOneShotText(cmd, DvcmF::srtc, LString("x")); }},
        {"/.cmd/udkvtcmd/rcpf", "/a",
         [&] { SetCommandOneShotText(cmd, DvcmF::rcpf, LString("/a")); }},
    };
    std::vector<Write> want{{"/.cmd/udkvtcmd/rcct", "4"}};
    SetCommandOneShot(cmd, DvcmF::rcct, 4);
    ASSERT_TRUE(InFlight());
    for (const auto& p : presses) {
        p.press();
        p.press();
        want.insert(want.end(), 2, {p.path, p.value});
    }
    ASSERT_TRUE(Settle());
    fChannel->Refresh();
    ASSERT_TRUE(Settle());
    ASSERT_EQ(cmd->GetI32(DvcmF::sedm), 1) << "the device's record was read";
    for (const auto& p : presses) {
        p.press();
        want.push_back({p.path, p.value});
    }
    ASSERT_TRUE(Settle());
    EXPECT_EQ(Writes(), want);
    fChannel.reset();  // before the document it listens to
}

TEST_F(Channel, ARecordCutShortOrOverlongIsAFailedReadAndReadAgain) {
    DeviceSet("sqfm", "3");
    CDevRequestQueue& ch = Open();
    const char* const damages[] = {"half=1", "length=0xFFFFFFF0", "cut=30", "extra=2", "length=0"};
    u32 tgmk = 100;
    for (const char* how : damages) {
        SCOPED_TRACE(how);
        fSim.Cmd("log clear");
        DeviceSet("tgmk", std::to_string(++tgmk).c_str());
        ASSERT_EQ(
            fSim.Cmd(std::string("reply-damage serno=305 path=/.cmd/udseqset/ count=1 ") + how)
                .rfind("ok", 0),
            0u);
        const u32 applied = fApplied;
        const u32 before = Rec()->GetU32(kTgmk);
        ch.Refresh();
        ASSERT_TRUE(fLoop.RunUntil([&] { return fQueue->IsIdle(); }));
        // Nothing of the damaged answer is taken: not even the fields before the cut.
        EXPECT_EQ(fApplied, applied);
        EXPECT_EQ(Rec()->GetU32(kTgmk), before);
        EXPECT_EQ(WholeReads(), 1u);
        EXPECT_TRUE(ch.IsBusy()) << "the read is due again";
        // 2 s later the whole record comes.
        ASSERT_TRUE(Settle());
        EXPECT_EQ(fApplied, applied + 1);
        EXPECT_EQ(Rec()->GetU32(kTgmk), tgmk);
        EXPECT_EQ(Rec()->GetU8(kSqfm), 3);
        EXPECT_EQ(WholeReads(), 2u);
        ASSERT_EQ(fSim.Cmd("reply-damage serno=305 clear").rfind("ok", 0), 0u);
    }
    EXPECT_TRUE(Writes().empty());
    // A field read answered cut short fails its client and sets nothing.
    struct Client {
        u32 calls = 0;
        bool ok = true;
        static void Fn(void* self, bool success) {
            auto* c = static_cast<Client*>(self);
            ++c->calls;
            c->ok = success;
        }
    } client;
    DeviceSet("tgmk", "999");
    ASSERT_EQ(fSim.Cmd("reply-damage serno=305 path=/.cmd/udseqset/tgmk extra=1").rfind("ok", 0),
              0u);
    ch.Request("/tgmk", &client, Client::Fn);
    ASSERT_TRUE(Settle());
    EXPECT_TRUE(client.calls == 1 && !client.ok);
    EXPECT_EQ(Rec()->GetU32(kTgmk), tgmk);
}

// Whoever a step of the queue tells may ask the channel for more, or move or
// remove the device, before the step is over: the listeners of the record (a
// device window refreshing the settings when one of them changes), the
// channel's completion, a read's client, AfterQueued's caller and the owner
// told of a refused setting. Whatever they ask, the step ends whole, the
// user's setting still reaches the device, and the record ends up showing
// what the device holds.
TEST_F(Channel, EveryStepStaysWholeWhateverThoseItTellsAskOfIt) {
    enum Where { kApply, kRestore, kApplied, kClient, kMarker, kRefused };
    enum Ask { kRefresh, kSend, kCancel, kDrop, kRemove, kMove };
    const char* const whereNames[] = {"apply", "restore", "applied", "client", "marker", "refused"};
    const char* const askNames[] = {"Refresh", "Send", "Cancel", "DropUnsent", "remove", "move"};
    struct Client {
        u32 calls = 0;
        static void Fn(void* self, bool) { ++static_cast<Client*>(self)->calls; }
    };
    struct Listener {
        explicit Listener(CRecordDoc* d) : doc(d) { doc->AddListener(this, OnNote); }
        ~Listener() { doc->RemoveListener(this, OnNote); }
        CRecordDoc* doc;
        std::function<void(CRecordNote*)> fn;
        static void OnNote(void* self, CRecordNote* note) {
            auto* l = static_cast<Listener*>(self);
            if (l->fn) l->fn(note);
        }
    } listener(fDoc.get());
    for (int where = kApply; where <= kRefused; ++where) {
        for (int ask = kRefresh; ask <= kMove; ++ask) {
            SCOPED_TRACE(std::string(whereNames[where]) + " x " + askNames[ask]);
            ASSERT_EQ(fSim.Cmd("log clear").rfind("ok", 0), 0u);
            DeviceSet("tgmk", "77");
            CDevRequestQueue& ch = Open();
            Client bystander, asked;
            bool armed = false, acted = false, removed = false;
            auto act = [&] {
                if (!armed || acted) return;
                acted = true;
                switch (ask) {
                    case kRefresh:
                        ch.Refresh();
                        break;
                    case kSend:
                        ch.Request("/sqfm", &asked, Client::Fn);
                        break;
                    case kCancel:
                        ch.CancelFor(&bystander, Client::Fn);
                        break;
                    case kDrop:
                        ch.DropUnsent();
                        break;
                    case kRemove:
                        fSet.MarkAllNotSeen();
                        fSet.RemoveNotSeen();
                        removed = true;
                        break;
                    case kMove:
                        fSet.Find(305)->SetU32(nullptr, DevcF::address, DeviceIp(9));
                        fSet.Find(305)->SetU32(nullptr, DevcF::address, DeviceIp(1));
                        break;
                }
            };
            listener.fn = [&](CRecordNote* note) {
                if (note->record != Rec() || note->field != kTgmk) return;
                const u32 v = Rec()->GetU32(kTgmk);
                if ((where == kApply && v == 77) || (where == kRestore && v == 42)) act();
            };
            fOnApplied = [&] {
                if (where == kApplied) act();
            };
            ch.SetRefusedFn(&act, [](void* self, const CDevRequestQueue&, const LString&) {
                (*static_cast<decltype(act)*>(self))();
            });
            if (where == kRefused) {
                ASSERT_EQ(fSim.Cmd("fault error code=2 dir=in opcode=WRQ "
                                   "path=/.cmd/udseqset/tgmk count=1")
                              .rfind("ok", 0),
                          0u);
            }
            // The whole record on its way, the user's setting waiting behind it.
            ch.Refresh();
            ASSERT_TRUE(InFlight());
            Rec()->SetU32(nullptr, kTgmk, 42);
            ch.Request("/sqfm", &bystander, Client::Fn);
            if (where == kClient)
                ch.Request("/tgmk", &act,
                           [](void* self, bool) { (*static_cast<decltype(act)*>(self))(); });
            if (where == kMarker)
                ch.AfterQueued(&act,
                               [](void* self, bool) { (*static_cast<decltype(act)*>(self))(); });
            armed = true;
            Settle();
            EXPECT_TRUE(acted);
            Done other;
            if (removed) {
                // Back in the list: what waits goes with the device queue's next request.
                fSet.Add(305)->SetU32(nullptr, DevcF::address, DeviceIp(1));
                fQueue->Enqueue(&other, Done::Fn, "/.cmd/udseqset/sqfm", 0, nullptr, nullptr, 0);
            }
            ASSERT_TRUE(Settle());
            const std::string held =
                fSim.Cmd("chan-get serno=305 path=/.cmd/udseqset/tgmk").substr(0, 64);
            EXPECT_EQ(held, "ok value=" + std::to_string(Rec()->GetU32(kTgmk)));
            if (ask != kDrop && where != kRefused) {
                EXPECT_EQ(Rec()->GetU32(kTgmk), 42u);
            }
            // The read cancelled is answered before a client or marker queued behind it.
            const bool before = where == kClient || where == kMarker;
            EXPECT_EQ(bystander.calls, ask == kCancel && !before ? 0u : 1u);
            if (ask == kSend) {
                EXPECT_EQ(asked.calls, 1u);
            }
            listener.fn = nullptr;
            fOnApplied = nullptr;
            fChannel.reset();
            ASSERT_EQ(fSim.Cmd("fault-clear").rfind("ok", 0), 0u);
            Rec()->SetU32(nullptr, kTgmk, 0);
        }
    }
}

}  // namespace
