#pragma once
// The transfer engine of the device protocol: TFTP read and write requests with
// options on UDP, optionally wrapped in an 8-byte "YTFW" header that names the
// real receiver. A manager starts sessions (one request each); every endpoint that
// answers a session becomes a peer with its own block counter, stream and flow
// window. Main thread only: the reactor thread merely arms the receive timer.

#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/CStrm.h"
#include "base/LList.h"
#include "base/LString.h"
#include "devlink/FlowWindow.h"
#include "devlink/UdpSocket.h"
#include "services/RunLoop.h"

class CTftpManager;
class CTftpSession;
class CTftpPeer;

enum : u32 {
    kTftpPort = 61007,
    // Session callback events.
    kTftpEventSessionDone = 0,  // object: the session
    kTftpEventPeerNew = 1,      // object: a peer waiting for Accept
    kTftpEventPeerDone = 2,     // object: a finished peer
};

// (context, event, object)
using LTftpCallback = void (*)(void* context, u32 event, void* object);

using LTftpOptions = std::vector<std::pair<LString, LString>>;

// The engine's waiting times. The defaults are what the devices expect; tests
// shorten them.
struct CTftpTimes {
    u32 resendMs = 1000;         // between sends of the request
    u32 resendLimit = 9;         // resends counted before giving up (11 sends in all)
    u32 receiverIdleMs = 20000;  // receiver: after the last full block
    u32 senderGiveUpMs = 30000;  // sender: after the last good acknowledgement
};

class CTftpPeer : public LLink {
public:
    enum : u32 { kNew = 0, kWaitAccept = 1, kTransferring = 2, kFinished = 3, kReported = 4 };
    enum : u32 { kResultDone = 0, kResultTimedOut = 2, kResultError = 3 };

    ~CTftpPeer() override;

    // Starts the data phase; the peer owns data from here until its session is
    // released. A peer not waiting for Accept deletes data at once.
    void Accept(CStrm* data);

    CTftpSession* Session() const { return fSession; }
    const LNetAddr& Address() const { return fAddress; }
    u32 State() const { return fState; }
    u32 Result() const { return fResult; }
    u32 ErrorCode() const { return fErrorCode; }
    u32 BlockSize() const { return fBlockSize; }
    u64 Position() const { return fPosition; }
    const LTftpOptions& Options() const { return fOptions; }
    // The value of an acknowledged option (key compared without regard to case); null when absent.
    const LString* Option(const char* key) const;
    CStrm* Data() const { return fData; }
    // The stream of a finished peer, now the caller's: its answer then outlives
    // a release of the session by whoever is told of it.
    CStrm* TakeData() {
        CStrm* data = fData;
        fData = nullptr;
        return data;
    }
    CFlowWindow& Window() { return fWindow; }

private:
    friend class CTftpSession;
    friend class CTftpManager;
    explicit CTftpPeer(LRunLoopHolder* holder);
    static void OnTimer(void* self);

    CTftpSession* fSession = nullptr;
    LNetAddr fAddress;
    LRunLoopTimer fTimer;
    u32 fState = kNew;
    u32 fResult = 0;
    u32 fErrorCode = 0;
    u32 fBlockSize = 512;
    u32 fNextBlock = 0;
    u32 fLastBlock = 0xFFFFFFFFu;
    u32 fLastAckTick = 0;
    u32 fHighestSent = 0;  // the furthest block sent so far (full count): beyond it blocks are new
    u32 fGoBackMark = 0;   // the furthest block sent when the window last went back
    // The device acknowledges a block it drops for arriving early as it does one it
    // keeps. A copy sent before an earlier block had to go again may have been such
    // an early one, and the network may deliver it twice: the device then answers it
    // twice, and a late second answer reads exactly as that of a copy sent since.
    // An acknowledgement confirms a block only when there are more acknowledgements
    // of it than two for each such copy, so that at least one answers a copy that
    // reached the device after everything before it.
    static constexpr u32 kTracked = 256;  // blocks in flight that can be told apart
    struct CBlockCopies {
        u16 sent = 0;     // copies sent
        u16 unsure = 0;   // of them, sent before a copy of an earlier block
        u16 answers = 0;  // acknowledgements received
        bool Confirmed() const { return u32(answers) > 2u * unsure; }
    };
    CBlockCopies fCopies[kTracked];
    CBlockCopies& Copies(u32 block) { return fCopies[block % kTracked]; }
    // Standard servers acknowledge only what they keep, in order, and never again a
    // block they already hold: waiting for a second acknowledgement of a doubtful
    // block would wait for ever. A peer that never acknowledged a block while an
    // earlier one out had no acknowledgement at all, and that stays silent through
    // several time-outs on a doubtful block, is taken at its first word. A device
    // names itself in its option acknowledgement ("serno") and answers every copy it
    // gets, dropped or kept: its silence is loss, and its word never counts alone.
    u8 fAcksAhead = 0;         // it acknowledged a block while an earlier one had no answer,
                               // or again a block behind the latest it acknowledged, or
                               // it is a device
    u32 fHighestAnswered = 0;  // the furthest block acknowledged (full count)
    u8 fDoubtTimeouts = 0;     // time-outs in a row on a doubtful oldest block, no ACK between
    u64 fPosition = 0;
    CStrm* fData = nullptr;
    LTftpOptions fOptions;
    CFlowWindow fWindow;
    u32 fStartTick = 0;  // its first answer
    u8 fByOack = 0;   // started by an option acknowledgement (a receiver then sends ACK 0)
    u8 fSendDue = 0;  // acknowledgements handled in this receive pass: send the window after it
};

class CTftpSession : public LLink {
public:
    enum : u32 { kIdle = 0, kRequestSent = 1, kPeersActive = 2, kFinished = 3 };
    enum : u32 { kResultDone = 0, kResultTooLong = 1, kResultNoAnswer = 2 };

    ~CTftpSession() override;

    void AddOption(const LString& key, const LString& value);
    void SetKeepTrying(bool on) { fKeepTrying = on ? 1 : 0; }
    // A session many answer (the status poll) ends its round for every peer:
    // one that has not finished roundMs after its first answer, or roundMs after
    // the request's last send was given its time, is let go (timed out), so
    // that one that never ends or trickles holds nobody else's answer back.
    // 0: peers take as long as they go on.
    void SetPeerRound(u32 roundMs) { fPeerRoundMs = roundMs; }
    // Builds and sends the request (idle sessions only).
    void Start();

    u32 State() const { return fState; }
    u32 Result() const { return fResult; }
    // The errno of the first request that could not be sent, 0 when all went out.
    i32 SendErrno() const { return fSendErrno; }
    u32 LastActivity() const { return fLastActivity; }
    bool Wrapper() const { return fWrapper != 0; }
    bool Broadcast() const { return fBroadcast != 0; }
    bool IsWrite() const { return fWrite != 0; }
    const LNetAddr& Destination() const { return fDest; }
    const std::vector<u32>& LocalAddresses() const { return fLocal; }
    u32 PeerCount() const;
    CTftpPeer* PeerAt(u32 i) const;
    CUdpSocket& Socket() { return *fSocket; }

private:
    friend class CTftpManager;
    friend class CTftpPeer;
    // Drives the receive pass without the reactor and sets the addressing that
    // StartTransfer takes from the interfaces (the fuzz target of the receive path).
    friend class CTftpSessionProbe;
    explicit CTftpSession(CTftpManager* manager);

    static void OnSocketReady(void* self, u32 direction);
    static void OnReadable(void* self);
    static void OnReceiveTimer(void* self);
    static void OnResendTimer(void* self);

    // A socket on a port no earlier request of this process may still be answered on.
    // answerHost: the one host that may answer on it (IPv4), else all ones.
    bool OpenFreshSocket(u8 family, u32 interfaceIndex, u32 answerHost);
    // Closes the socket; its port is not taken again for the same answers meanwhile.
    void CloseSocket(u32 now);
    void Stop();
    void SendRequest();
    void ReceivePass();
    // One datagram as it came from the socket; false when it is not for this session.
    bool Deliver(const LNetAddr& from, const u8* data, u32 length);
    void Handle(const LNetAddr& from, const u8* p, u32 len);
    void HandleOack(CTftpPeer* peer, const LNetAddr& from, const u8* p, u32 len);
    void HandleData(CTftpPeer* peer, const LNetAddr& from, const u8* p, u32 len);
    void HandleAck(CTftpPeer* peer, const LNetAddr& from, u32 block);
    void HandleError(CTftpPeer* peer, const LNetAddr& from, u32 code);
    void ReceiveBlock(CTftpPeer* peer, u32 block, const u8* payload, u32 size);
    void SendDueWindows();
    CTftpPeer* FindPeer(const LNetAddr& from) const;
    static u64 PeerKey(const LNetAddr& a);
    CTftpPeer* NewPeer(const LNetAddr& from);
    void SendWindow(CTftpPeer* peer);
    void PeerTimer(CTftpPeer* peer);
    // A sender's time-out: after enough of them in silence on a block that only a
    // doubtful acknowledgement answered, a peer that shows no sign of acknowledging
    // what it drops has its answered blocks confirmed.
    void NoteDoubtTimeout(CTftpPeer* peer);
    void FailPeer(CTftpPeer* peer, u32 code);
    static void OnRoundTimer(void* self);
    // Lets go the peers whose round is over, oldest first, and waits for the next.
    void EndRounds();
    u32 RoundEnd(const CTftpPeer* peer) const;
    void Report(CTftpPeer* peer);
    void CheckCompletion();
    // Sends opcode-onwards bytes to an endpoint, wrapped when the session is.
    i32 SendTo(const LNetAddr& to, u8* datagram, u32 length);
    void SendAck(const LNetAddr& to, u32 block);
    void SendError(const LNetAddr& to, u32 code);
    void Notify(u32 event, void* object);

    CTftpManager* fManager;
    std::unique_ptr<CUdpSocket> fSocket;
    u8 fWrapper = 0;
    u32 fState = kIdle;
    u32 fResult = 0;
    std::vector<u32> fLocal;
    LNetAddr fDest;
    u8 fBroadcast = 0;
    u8 fWrite = 0;
    u8 fKeepTrying = 0;
    i32 fSendErrno = 0;
    i32 fOpenErrno = 0;  // why the last socket could not be had, 0 when it was
    u32 fAnswerHost = 0xFFFFFFFFu;  // who may answer on the socket's port
    void* fContext = nullptr;
    LTftpCallback fCallback = nullptr;
    LString fPath;
    LTftpOptions fOptions;
    LList fPeers;
    std::unordered_map<u64, CTftpPeer*> fPeerIndex;  // IPv4 peers by address and port
    u32 fUnreported = 0;                              // peers not yet reported
    u32 fLastActivity = 0;
    LRunLoopTimer fReceiveTimer;
    LRunLoopTimer fResendTimer;
    LRunLoopTimer fRoundTimer;
    u32 fPeerRoundMs = 0;
    u32 fGraceTick = 0;               // when the request's grace ended (fGraceOver)
    CTftpPeer* fRoundNext = nullptr;  // the first peer whose round may not be over
    // The reactor's word that the socket is readable runs the receive pass itself:
    // one hand-over per batch of datagrams, not a timer started from that thread.
    CRunLoopSrc* fReadable;
    i32 fResendCount = 0;
    u8 fGraceOver = 0;
    u32 fRequestLength = 0;
    u8 fRequest[520] = {};
    // Not part of the protocol: the socket's family (1 IPv6), and a count of stops
    // so that code after a callback notices a release.
    u8 fFamily = 0;
    u32 fGeneration = 0;
};

class CTftpManager {
public:
    CTftpManager(LRunLoopHolder* owner, u32 wrapperAllowed);
    ~CTftpManager();
    CTftpManager(const CTftpManager&) = delete;
    CTftpManager& operator=(const CTftpManager&) = delete;

    // A session in state 0 bound to that interface (0: none; the default interface
    // decides broadcast and wrapper). Never null.
    CTftpSession* StartTransfer(const LNetAddr& destination, bool write, const LString& path,
                                void* context, LTftpCallback callback, u32 interfaceIndex);
    // Stops the session and keeps it for reuse. Its socket stays open until then (the
    // port is not handed out again meanwhile); the next request gets a fresh one.
    void Release(CTftpSession* session);

    CTftpTimes& Times() { return fTimes; }
    u32 WrapperAllowed() const { return fWrapperAllowed; }

private:
    friend class CTftpSession;
    friend class CTftpPeer;
    LRunLoopHolder* fOwner;
    u32 fWrapperAllowed;
    LList fFreePeers;
    LList fFreeSessions;
    CTftpTimes fTimes;
};
