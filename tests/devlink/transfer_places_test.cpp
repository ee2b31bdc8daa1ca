// Many device queues at once: at most the process's transfer places run, the
// others wait in line and all complete; an idle queue holds no descriptor; a
// request whose socket cannot be opened ends at once with the reason. Each queue
// hears its own device's changes only. Against simulated devices on loopback.
#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "tests/devlink/DeviceTestUtil.h"

using namespace devtest;

namespace {

struct Done {
    static void Fn(void* self, CStrm*, const u32* status) {
        auto* d = static_cast<Done*>(self);
        ++d->calls;
        d->status.assign(status, status + 3);
    }
    u32 calls = 0;
    std::vector<u32> status;
};

u32 OpenDescriptors() {
    u32 n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

class Places : public DeviceLinkTest {
protected:
    void TearDown() override {
        queues.clear();
        SetTransferPlaces(0);
        DeviceLinkTest::TearDown();
    }
    u32 Running() const {
        u32 n = 0;
        for (const auto& q : queues) n += !q->IsIdle();
        return n;
    }
    std::vector<std::unique_ptr<CReqQueue>> queues;
};

TEST_F(Places, NoMoreThanThePlacesRunAndEveryQueueCompletesInTurn) {
    const struct {
        u32 places, devices, requests;
        bool dropOneInLine;  // a queue waiting in line goes away
    } cases[] = {
        {1, 4, 2, false},
        {2, 6, 3, false},
        {3, 6, 1, true},
        {8, 5, 2, false},  // more places than queues: none waits
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.places << " places, " << c.devices << " devices");
        SetTransferPlaces(c.places);
        std::vector<std::vector<Done>> done(c.devices, std::vector<Done>(c.requests));
        for (u32 i = 0; i < c.devices; ++i) {
            const u16 serial = u16(400 + i);
            if (!fSet.Find(serial)) AddDevice(serial, 10 + i);
            queues.push_back(std::make_unique<CReqQueue>(&fSet, serial));
            for (Done& d : done[i])
                queues.back()->Enqueue(&d, Done::Fn, "/.cmd/udkvtset/", 0, nullptr, nullptr, 0);
        }
        EXPECT_EQ(Running(), std::min(c.places, c.devices));
        u32 waiting = 0;
        for (const auto& q : queues) waiting += q->WaitsForPlace();
        EXPECT_EQ(waiting, c.devices - std::min(c.places, c.devices));
        if (c.dropOneInLine) {
            ASSERT_TRUE(queues.back()->WaitsForPlace());
            queues.back().reset();
        }
        u32 most = 0;
        ASSERT_TRUE(fLoop.RunUntil([&] {
            u32 running = 0, complete = 0, all = 0;
            for (u32 i = 0; i < queues.size(); ++i) {
                if (!queues[i]) continue;
                running += !queues[i]->IsIdle();
                for (const Done& d : done[i]) {
                    complete += d.calls == 1;
                    ++all;
                }
            }
            most = std::max(most, running);
            return complete == all;
        }));
        EXPECT_LE(most, c.places);
        for (u32 i = 0; i < queues.size(); ++i) {
            if (!queues[i]) continue;
            for (const Done& d : done[i]) EXPECT_EQ(d.status, (std::vector<u32>{0, 0, 0}));
        }
        queues.clear();
    }
}

// Idle queues, however many, keep no socket open; each transfer has its own.
TEST_F(Places, IdleQueuesHoldNoDescriptor) {
    AddDevice(305, 1);
    const u32 before = OpenDescriptors();
    for (u32 i = 0; i < 40; ++i) queues.push_back(std::make_unique<CReqQueue>(&fSet, 305));
    std::vector<Done> done(queues.size());
    for (u32 i = 0; i < queues.size(); ++i)
        queues[i]->Enqueue(&done[i], Done::Fn, "/.cmd/udkvtset/", 0, nullptr, nullptr, 0);
    ASSERT_TRUE(fLoop.RunUntil([&] {
        for (const Done& d : done)
            if (d.calls == 0) return false;
        return true;
    }));
    ASSERT_TRUE(fLoop.RunUntil([&] { return OpenDescriptors() <= before; }));
    EXPECT_LE(OpenDescriptors(), before);
}

// Out of descriptors: the request ends at once, not after a dozen silent
// resends, and the queue keeps why.
TEST_F(Places, RequestWithoutASocketEndsAtOnceWithTheReason) {
    AddDevice(305, 1);
    CReqQueue q(&fSet, 305);
    Done d;
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    // The lowest free descriptor is the next one handed out: none from there on.
    const int lowest = dup(0);
    ASSERT_GE(lowest, 0);
    close(lowest);
    rlimit none = old;
    none.rlim_cur = rlim_t(lowest);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
    q.Enqueue(&d, Done::Fn, "/.cmd/udkvtset/", 0, nullptr, nullptr, 0);
    setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_EQ(q.SocketErrno(), EMFILE);
    const u32 t0 = fLoop.NowMs();
    ASSERT_TRUE(fLoop.RunUntil([&] { return d.calls == 1; }));
    EXPECT_LT(fLoop.NowMs() - t0, 100u);
    EXPECT_EQ(d.status, (std::vector<u32>{2, 0, 0}));
    // With descriptors again the next request goes out and the reason is gone,
    // even while it waits its turn for a place (another queue holds the one
    // there is): a request that has not been tried has not failed.
    SetTransferPlaces(1);
    CReqQueue other(&fSet, 305);
    Done first, next;
    other.Enqueue(&first, Done::Fn, "/.cmd/udkvtset/", 0, nullptr, nullptr, 0);
    q.Enqueue(&next, Done::Fn, "/.cmd/udkvtset/", 0, nullptr, nullptr, 0);
    EXPECT_EQ(q.SocketErrno(), 0);
    ASSERT_TRUE(fLoop.RunUntil([&] { return first.calls == 1 && next.calls == 1; }));
    EXPECT_EQ(next.status, (std::vector<u32>{0, 0, 0}));
}

struct Heard {
    static void Fn(void* self, CRecordNote* note) {
        auto* h = static_cast<Heard*>(self);
        if (note->kind == CRecordNote::kChanged && note->field == DevcF::address) {
            h->serials.push_back(note->record->GetU32(DevcF::serial));
            if (h->dropOther) h->set->RemoveDeviceListener(h->otherSerial, h->other, Fn);
        }
    }
    std::vector<u32> serials;
    CKvsDevSet* set = nullptr;
    bool dropOther = false;
    u16 otherSerial = 0;
    Heard* other = nullptr;
};

// A device's listeners hear that device alone; one may take another away while
// both are being told.
TEST(DevSetListeners, EachHearsItsOwnDevice) {
    CKvsDevSet set;
    Heard a, b, c;
    for (Heard* h : {&a, &b, &c}) h->set = &set;
    set.AddDeviceListener(305, &a, Heard::Fn);
    set.AddDeviceListener(305, &a, Heard::Fn);  // once only
    set.AddDeviceListener(306, &b, Heard::Fn);
    set.AddDeviceListener(306, &c, Heard::Fn);
    b.dropOther = true;
    b.otherSerial = 306;
    b.other = &c;
    c.dropOther = true;
    c.otherSerial = 306;
    c.other = &b;
    CRecord* d305 = set.Add(305);
    CRecord* d306 = set.Add(306);
    d305->SetU32(nullptr, DevcF::address, 1);
    d306->SetU32(nullptr, DevcF::address, 2);
    EXPECT_EQ(a.serials, (std::vector<u32>{305}));
    // Whichever was told first took the other away before its turn.
    EXPECT_EQ(b.serials.size() + c.serials.size(), 1u);
    set.RemoveDeviceListener(305, &a, Heard::Fn);
    d305->SetU32(nullptr, DevcF::address, 3);
    EXPECT_EQ(a.serials.size(), 1u);
}

}  // namespace
