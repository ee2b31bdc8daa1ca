#pragma once
// The program's Art-Net receiver: it listens to ArtDmx traffic on the shared UDP
// port 6454, keeps up to two senders per universe, forgets a sender 10 s after
// its last packet and tells its next handler with "CKvsNetMon_Change" (at most
// one message per 33 ms however fast the senders are). It never sends.

#include <memory>
#include <vector>

#include "base/DmxFrame.h"
#include "devlink/UdpMux.h"
#include "framework/LTimer.h"

class CRecord;
class CRunLoopSrc;

inline constexpr const char* CKvsNetMon_Change = "CKvsNetMon_Change";

class CKvsNetMon : public LHandler {
public:
    enum : u32 {
        kExpiryPeriodMs = 2000,
        kSilenceMs = 10000,
        kChangeDelayMs = 33,
        // A pass of the pump gives the main thread back after this long.
        kPumpBudgetMs = 10,
        kMaxDatagram = 1024,
    };

    struct Slot {
        u32 lastSeen = 0;
        u32 sender = 0;  // IPv4, 0 = free
        DmxFrame frame;
    };
    struct Entry {
        u16 port = 0;
        Slot slots[2];
    };

    CKvsNetMon(LHandler* next, u16 port = kUdpMuxPort, const char* name = kUdpMuxName);
    // The port and service name the device document's monitor uses: the shared
    // service's, unless a test moves its document elsewhere.
    static u16 sDocPort;
    static const char* sDocName;
    ~CKvsNetMon() override;

    LMessage HandleMessage(const LMessage& msg) override;

    void SetEnabled(bool on);
    bool IsEnabled() const { return fEnabled != 0; }
    // Writes the universes into the 'YDRC'/'STAT' list. only: that sender alone
    // (0 any); excluded: never that sender (0 none).
    void PublishUniverses(CRecord* status, u32 only, u32 excluded);
    // Frees every slot of the sender; silent.
    void RemoveSender(u32 ipv4);

    // The receive pump: takes in what waits, for one bounded pass.
    void Pump();
    // Frees the slots silent for 10 s; true when it freed or removed anything.
    bool ExpiryCheck();
    // One datagram as the pump takes it; true when accepted.
    bool Accept(const u8* bytes, u32 size, u32 sender, u32 now);

    u32 EntryCount() const { return u32(fEntries.size()); }
    const Entry& EntryAt(u32 i) const { return *fEntries[i]; }
    LTimer& ExpiryTimer() { return fExpiry; }
    LTimer& ChangeTimer() { return fChange; }
    CUdpMuxClient& Client() { return *fClient; }
    // Passes of the pump cut short by their time budget (for tests and figures).
    u32 CutPasses() const { return fCutPasses; }
    // Datagrams taken in since construction (for tests and figures).
    u64 AcceptedCount() const { return fAccepted; }

protected:
    // The shared port as the pump sees it; the tests of the pump stand in for it.
    virtual void OpenPort();
    virtual void ClosePort();
    virtual bool PortConnected();
    // Bytes of the next datagram, 0 none waiting, negative on failure.
    virtual i32 ReceivePort(u32* sender, u8* buffer, u32 size);
    virtual void WakeAgain();

private:
    static void OnState(void* self, u32 state);
    static void OnWake(void* self);
    // The position of the port address, or where it would go.
    size_t LowerBound(u16 port) const;

    u8 fEnabled = 0;
    std::vector<Entry*> fEntries;  // sorted by port address, owned
    LTimer fExpiry;
    LTimer fChange;
    CRunLoopSrc* fWake = nullptr;
    std::unique_ptr<CUdpMuxClient> fClient;
    u32 fCutPasses = 0;
    u64 fAccepted = 0;
};
