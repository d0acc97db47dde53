// Parsing of the requests the adb client sends to its server, without any I/O.
//
// A host request names its target in its prefix: "host:" (the server itself, or the device
// chosen earlier on the same connection), "host-serial:<serial>:", "host-usb:", "host-local:",
// "host-transport-id:<id>:". Anything else ("shell:...", "sync:") is a service of the device
// the connection was switched to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zsim::adb {

enum class Target { None, Serial, Any, Usb, Local, TransportId };

struct HostRequest {
    Target target = Target::None; // None: "host:"
    std::string serial;           // Target::Serial
    uint64_t transportId = 0;     // Target::TransportId
    std::string service;          // the rest: "version", "features", "forward:tcp:1;tcp:2"
};

// nullopt when the request is not a host request.
std::optional<HostRequest> parseHostRequest(std::string_view request);

// A transport switch ("tport:serial:S", "tport:any", "transport:S", "transport-any",
// "transport-id:3", ...). `replyId`: the "tport:" forms answer the transport id after OKAY.
struct TransportSwitch {
    Target target = Target::Any;
    std::string serial;
    uint64_t transportId = 0;
    bool replyId = false;
};
std::optional<TransportSwitch> parseTransportSwitch(std::string_view service);

// "forward:[norebind:]tcp:<local>;tcp:<remote>". Only TCP endpoints exist on this phone;
// `supported` is false (with the endpoints kept as text) for any other kind.
struct ForwardRequest {
    bool noRebind = false;
    std::string local;
    std::string remote;
    bool supported = false;
    int localPort = -1; // 0: pick a free port
    int remotePort = -1;
};
std::optional<ForwardRequest> parseForward(std::string_view service);

// The port of "tcp:<n>" (0 to 65535), else nullopt.
std::optional<int> parseTcpEndpoint(std::string_view endpoint);

} // namespace zsim::adb
