// [IMConfig] of "config\psimprof.cfg" in the program folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace chatdesk {

constexpr uint16_t kDefaultLocalTcpPort = 60000;
constexpr size_t kGatekeeperUrlChars = 260;

struct ImConfig {
    uint16_t localTcpPort = kDefaultLocalTcpPort;
    // `LocalTcpAddress`: the address to listen on and to connect from (network order);
    // INADDR_ANY when unset. Lets several clients share one machine, each on its address.
    uint32_t localAddress = 0;
    std::string gatekeeperUrl;  // `IMGk`, empty when set empty

    static ImConfig Read();
    static std::wstring Path();
};

}  // namespace chatdesk
