// The per-device request queue against the simulated device on loopback.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devlink/ReqQueue.h"
#include "platform/RunLoop.h"
#include "tests/devlink/DeviceTestUtil.h"

using namespace devtest;
using enginetest::RunFor;
using enginetest::RunUntil;

namespace {

struct Done {
    u32 status[3] = {9, 9, 9};
    bool called = false;
    u32 calls = 0;
    bool hadData = false;
    std::vector<u8> data;
    // Set by the first completion: what the queue looked like at that moment.
    CReqQueue* queue = nullptr;
    bool idleAtCompletion = false;

    static void Fn(void* self, CStrm* strm, const u32* status) {
        auto* d = static_cast<Done*>(self);
        ++d->calls;
        d->called = true;
        for (int i = 0; i < 3; ++i) d->status[i] = status[i];
        d->hadData = strm != nullptr;
        if (auto* m = static_cast<CMemStrm*>(strm)) d->data.assign(m->Data(), m->Data() + m->End());
        if (d->queue) d->idleAtCompletion = d->queue->IsIdle();
    }
    std::vector<u32> Status() const { return {status[0], status[1], status[2]}; }
};

class Queue : public DeviceLinkTest {};

TEST_F(Queue, RequestsRunOneAtATimeAndCarryTheSerial) {
    AddDevice(305, 1);
    CReqQueue q(&fSet, 305);
    Done d[3];
    for (Done& x : d) {
        x.queue = &q;
        q.Enqueue(&x, Done::Fn, "/.cmd/udseqset/", 0, new CGrowMemStrm, nullptr, 0);
    }
    // One in flight, two waiting.
    EXPECT_FALSE(q.IsIdle());
    EXPECT_EQ(q.PendingCount(), 2u);
    ASSERT_TRUE(RunUntil([&] { return d[2].called; }, 5000));
    for (Done& x : d) {
        EXPECT_EQ(x.calls, 1u);
        EXPECT_EQ(x.Status(), (std::vector<u32>{0, 0, 0}));
        EXPECT_TRUE(x.hadData);
        EXPECT_FALSE(x.data.empty());
        // The completion comes from the peer, while its own transfer is still in flight.
        EXPECT_FALSE(x.idleAtCompletion);
    }
    RunUntil([&] { return q.IsIdle(); }, 2000);
    EXPECT_TRUE(q.IsIdle());
    // Every request reached the device with "serno" = "305", three in all.
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
    Shorten(q);

    // The device answers ERROR 1 (not found).
    Done err;
    q.Enqueue(&err, Done::Fn, "/sdc/missing-file", 0, nullptr, nullptr, 0);
    ASSERT_TRUE(RunUntil([&] { return err.called; }, 5000));
    EXPECT_EQ(err.Status(), (std::vector<u32>{0, 3, 1}));
    EXPECT_FALSE(err.hadData);

    // Nobody at the address.
    dev->SetU32(nullptr, DevcF::address, DeviceIp(200));
    Done none;
    q.Enqueue(&none, Done::Fn, "/.cmd/udseqset/", 0, nullptr, nullptr, 0);
    ASSERT_TRUE(RunUntil([&] { return none.called; }, 5000));
    EXPECT_EQ(none.Status(), (std::vector<u32>{2, 0, 0}));
    EXPECT_FALSE(none.hadData);

    // The device moves while a request is in flight: that request ends (2, 2, 0)
    // and the next one is asked at the new address.
    q.Manager().Times().resendMs = 1000;
    Done moved, next;
    q.Enqueue(&moved, Done::Fn, "/.cmd/udseqset/", 0, nullptr, nullptr, 0);
    q.Enqueue(&next, Done::Fn, "/.cmd/udseqset/", 0, nullptr, nullptr, 0);
    RunFor(50);
    EXPECT_FALSE(moved.called);
    dev->SetU32(nullptr, DevcF::address, DeviceIp(1));
    EXPECT_TRUE(moved.called);
    EXPECT_EQ(moved.Status(), (std::vector<u32>{2, 2, 0}));
    EXPECT_EQ(moved.calls, 1u);
    ASSERT_TRUE(RunUntil([&] { return next.called; }, 5000));
    EXPECT_EQ(next.Status(), (std::vector<u32>{0, 0, 0}));
    RunFor(100);
    EXPECT_EQ(moved.calls, 1u);
}

TEST_F(Queue, RequestsOfAnAbsentDeviceWaitUntilTheNextEnqueue) {
    AddDevice(306, 2, false);
    CReqQueue q(&fSet, 306);
    Done a, b;
    q.Enqueue(&a, Done::Fn, "/.cmd/udseqset/", 0, nullptr, nullptr, 0);
    RunFor(50);
    EXPECT_FALSE(a.called);
    EXPECT_TRUE(q.IsIdle());
    fSet.Add(306)->SetU32(nullptr, DevcF::address, DeviceIp(2));
    RunFor(50);
    EXPECT_FALSE(a.called);
    q.Enqueue(&b, Done::Fn, "/.cmd/udseqset/", 0, nullptr, nullptr, 0);
    ASSERT_TRUE(RunUntil([&] { return a.called && b.called; }, 5000));
    EXPECT_EQ(a.Status(), (std::vector<u32>{0, 0, 0}));
}

TEST_F(Queue, QueueOfNoDeviceCompletesAtOnceWithNothing) {
    CReqQueue q(&fSet, 0);
    Done a;
    q.Enqueue(&a, Done::Fn, "/.cmd/udseqset/", 1, new CGrowMemStrm, nullptr, 0);
    EXPECT_TRUE(a.called);
    EXPECT_EQ(a.Status(), (std::vector<u32>{0, 0, 0}));
    EXPECT_TRUE(a.hadData);
    EXPECT_TRUE(a.data.empty());
    EXPECT_TRUE(q.IsIdle());
}

TEST_F(Queue, CancellingTheRequestInFlightStartsTheNextClients) {
    CRecord* dev = AddDevice(305, 1);
    CReqQueue q(&fSet, 305);
    dev->SetU32(nullptr, DevcF::address, DeviceIp(201));  // nobody: the first request hangs
    Done a, b;
    // Client a: one in flight, one waiting behind b's.
    q.Enqueue(&a, Done::Fn, "/.cmd/udseqset/", 0, nullptr, nullptr, 0);
    q.Enqueue(&b, Done::Fn, "/.cmd/udseqset/", 0, nullptr, nullptr, 0);
    q.Enqueue(&a, Done::Fn, "/.cmd/udseqset/", 0, nullptr, nullptr, 0);
    RunFor(30);
    const u32 before = q.CurrentStatus();
    EXPECT_NE(before, 0u);
    // Without the address change notice (the record is edited directly), the next
    // requests would go to the right place.
    dev->Slots()[DevcF::address] = DeviceIp(1);
    q.CancelAll(&a, Done::Fn);
    EXPECT_EQ(q.PendingCount(), 0u);
    EXPECT_FALSE(q.IsIdle()) << "b's request must start at once";
    ASSERT_TRUE(RunUntil([&] { return b.called; }, 5000));
    EXPECT_EQ(b.Status(), (std::vector<u32>{0, 0, 0}));
    RunFor(100);
    EXPECT_FALSE(a.called);
    EXPECT_TRUE(q.IsIdle());
}

TEST_F(Queue, WritesCarryTheirDataAndPerm) {
    AddDevice(305, 1);
    CReqQueue q(&fSet, 305);
    auto* body = new CGrowMemStrm;
    const char text[] = "hello device";
    body->Write(text, sizeof text - 1);
    body->SetPosition(0);
    Done w;
    const u32 perm = 420;
    q.Enqueue(&w, Done::Fn, "/sdc/hello.txt", 1, body, &perm, 0);
    ASSERT_TRUE(RunUntil([&] { return w.called; }, 5000));
    EXPECT_EQ(w.Status(), (std::vector<u32>{0, 0, 0}));
    Done r;
    q.Enqueue(&r, Done::Fn, "/sdc/hello.txt", 0, nullptr, nullptr, 0);
    ASSERT_TRUE(RunUntil([&] { return r.called; }, 5000));
    EXPECT_EQ(std::string(r.data.begin(), r.data.end()), "hello device");
    bool sawPerm = false;
    for (const std::string& l : LogOf("pkt"))
        if (Field(l, "op") == "WRQ" && Field(l, "dir") == "in")
            sawPerm = Field(l, "opt.perm") == "420";
    EXPECT_TRUE(sawPerm);
}

}  // namespace
