#pragma once
// Handle on a running kvsimdev for tests and benchmarks: starts it (optionally
// inside a network namespace), sends control lines and reads the answers.

#include <string>
#include <vector>

namespace testtftp {

class SimDeviceProcess {
public:
    // The program: $KVSIMDEV, else the build tree's tools/simdevice/kvsimdev.
    static std::string ProgramPath();

    // netnsPath: a file such as /var/run/netns/NAME to enter before starting; "" for none.
    explicit SimDeviceProcess(const std::string& netnsPath = "");
    ~SimDeviceProcess();
    SimDeviceProcess(const SimDeviceProcess&) = delete;
    SimDeviceProcess& operator=(const SimDeviceProcess&) = delete;

    bool Ok() const { return fPid > 0 && !fReady.empty(); }
    // The process, for a test that stops it as a busy machine would.
    int Pid() const { return fPid; }
    const std::string& ReadyLine() const { return fReady; }
    // Sends one command; answers its final line ("ok ..." / "err ..."); data lines go to *data.
    std::string Cmd(const std::string& line, std::vector<std::string>* data = nullptr);
    // A device answering on every address of its namespace (listen=any), its
    // card in cards/SERNO; answers the device's reply ("ok ..." / "err ...").
    std::string AddDevice(unsigned serno, const std::string& addr, const std::string& cards) {
        return Cmd("add-device serno=" + std::to_string(serno) + " addr=" + addr +
                   " listen=any root=" + cards + "/" + std::to_string(serno));
    }
    // The value of key=... in an answer line, "" when absent.
    static std::string Field(const std::string& line, const std::string& key);
    // The packet log, without the "log " prefix.
    std::vector<std::string> Log();
    // Whether no transfer is active now. A program that talks to the device
    // from this thread polls this with its own loop running in between.
    bool Idle();
    // Waits until no transfer is active (or the time is up), this thread
    // asleep between looks: only for a peer on another thread or process.
    bool WaitIdle(int timeoutMs);
    void Stop();

private:
    std::string ReadLine(int timeoutMs);
    // The devices' datagram counts, shared with the process (WireGate.h): of the
    // traffic on loopback, whose peers are this process.
    void* fShared = nullptr;
    void* fGate = nullptr;
    int fPid = -1;
    int fIn = -1, fOut = -1;
    std::string fBuf, fReady;
};

// A fresh empty folder below $TMPDIR (else /tmp), removed by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return fPath; }

private:
    std::string fPath;
};

}  // namespace testtftp
