#pragma once
// Where the standard TFTP servers that the engine is checked against live. The
// test set-up unpacks their packages under /usr/local/lib/kevo/ instead of
// installing them: installed, they would run as services open to the network.
// KEVO_TFTPD_HPA and KEVO_ATFTPD name other copies.

#include <cstdlib>
#include <string>

namespace testkit {

inline std::string TftpdHpaPath() {
    if (const char* p = std::getenv("KEVO_TFTPD_HPA")) return p;
    return "/usr/local/lib/kevo/tftpd-hpa/usr/sbin/in.tftpd";
}

inline std::string AtftpdPath() {
    if (const char* p = std::getenv("KEVO_ATFTPD")) return p;
    return "/usr/local/lib/kevo/atftpd/usr/sbin/atftpd";
}

}  // namespace testkit
