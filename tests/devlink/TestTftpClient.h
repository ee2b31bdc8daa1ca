#pragma once
// Test-only TFTP client for talking to the simulated device. Written apart
// from the application's engine on purpose: it must not share its mistakes.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testtftp {

using Bytes = std::vector<uint8_t>;
using Options = std::vector<std::pair<std::string, std::string>>;

enum { kRRQ = 1, kWRQ = 2, kDATA = 3, kACK = 4, kERROR = 5, kOACK = 6 };

constexpr uint32_t Ip(unsigned a, unsigned b, unsigned c, unsigned d) {
    return (a << 24) | (b << 16) | (c << 8) | d;
}

struct Datagram {
    uint32_t srcIp = 0;
    uint16_t srcPort = 0;
    bool wrapped = false;
    uint32_t target = 0;  // the wrapper's address
    int op = 0;
    unsigned block = 0;  // DATA, ACK; the code of an ERROR
    Bytes payload;       // DATA payload
    Options options;     // OACK
    Bytes raw;           // everything after the wrapper
};

Bytes MakeRequest(int op, const std::string& path, const Options& opts,
                  const std::string& mode = "octet");
Bytes MakeData(unsigned block, const Bytes& payload);
Bytes MakeAck(unsigned block);

class TestTftpClient {
public:
    // Binds ip:port (0: any) in the calling thread's network namespace.
    explicit TestTftpClient(uint32_t bindIp = Ip(127, 0, 0, 1), bool broadcast = false,
                            uint16_t port = 0);
    ~TestTftpClient();
    TestTftpClient(const TestTftpClient&) = delete;
    TestTftpClient& operator=(const TestTftpClient&) = delete;

    bool Ok() const { return fFd >= 0; }
    uint16_t Port() const { return fPort; }
    // Sends tftp (opcode onwards) to ip:port; with wrapTarget set, preceded by the wrapper.
    bool Send(uint32_t ip, uint16_t port, const Bytes& tftp,
              std::optional<uint32_t> wrapTarget = std::nullopt);
    std::optional<Datagram> Recv(int timeoutMs);

    struct Result {
        bool ok = false;
        std::string why;
        Bytes data;                    // read: what arrived
        Options oack;                  // the option acknowledgement, if any
        std::vector<unsigned> blocks;  // DATA (read) or ACK (write) block numbers in arrival order
        std::vector<size_t> sizes;     // read: DATA payload sizes
        unsigned errorCode = 0;
        uint32_t peerIp = 0;
        uint16_t peerPort = 0;
        bool allWrapped = true;  // every answer carried the wrapper
    };
    // Lock-step transfers. With wrapTarget the request and every packet travel wrapped.
    Result Read(uint32_t ip, uint16_t port, const std::string& path, const Options& opts,
                std::optional<uint32_t> wrapTarget = std::nullopt, int timeoutMs = 3000);
    Result Write(uint32_t ip, uint16_t port, const std::string& path, const Bytes& data,
                 const Options& opts, std::optional<uint32_t> wrapTarget = std::nullopt,
                 int timeoutMs = 3000);

private:
    int fFd = -1;
    uint16_t fPort = 0;
};

}  // namespace testtftp
