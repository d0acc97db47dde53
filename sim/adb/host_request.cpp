#include "adb/host_request.h"

#include <cctype>

namespace zsim::adb {

namespace {

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool allDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

std::optional<uint64_t> parseId(std::string_view text) {
    if (!allDigits(text) || text.size() > 19) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) value = value * 10 + static_cast<uint64_t>(c - '0');
    return value;
}

} // namespace

std::optional<HostRequest> parseHostRequest(std::string_view request) {
    HostRequest out;
    if (startsWith(request, "host:")) {
        out.service = request.substr(5);
        return out;
    }
    if (startsWith(request, "host-usb:")) {
        out.target = Target::Usb;
        out.service = request.substr(9);
        return out;
    }
    if (startsWith(request, "host-local:")) {
        out.target = Target::Local;
        out.service = request.substr(11);
        return out;
    }
    if (startsWith(request, "host-transport-id:")) {
        std::string_view rest = request.substr(18);
        size_t colon = rest.find(':');
        if (colon == std::string_view::npos) return std::nullopt;
        auto id = parseId(rest.substr(0, colon));
        if (!id) return std::nullopt;
        out.target = Target::TransportId;
        out.transportId = *id;
        out.service = rest.substr(colon + 1);
        return out;
    }
    if (startsWith(request, "host-serial:")) {
        std::string_view rest = request.substr(12);
        size_t colon = rest.find(':');
        if (colon == std::string_view::npos || colon == 0) return std::nullopt;
        // A network serial holds a colon of its own ("127.0.0.1:5555"): keep the port with it.
        size_t next = rest.find(':', colon + 1);
        if (next != std::string_view::npos && allDigits(rest.substr(colon + 1, next - colon - 1)))
            colon = next;
        out.target = Target::Serial;
        out.serial = rest.substr(0, colon);
        out.service = rest.substr(colon + 1);
        return out;
    }
    return std::nullopt;
}

std::optional<TransportSwitch> parseTransportSwitch(std::string_view service) {
    TransportSwitch out;
    std::string_view rest;
    if (startsWith(service, "tport:")) {
        out.replyId = true;
        rest = service.substr(6);
        if (rest == "any")
            out.target = Target::Any;
        else if (rest == "usb")
            out.target = Target::Usb;
        else if (rest == "local")
            out.target = Target::Local;
        else if (startsWith(rest, "serial:") && rest.size() > 7) {
            out.target = Target::Serial;
            out.serial = rest.substr(7);
        } else if (startsWith(rest, "id:")) {
            auto id = parseId(rest.substr(3));
            if (!id) return std::nullopt;
            out.target = Target::TransportId;
            out.transportId = *id;
        } else {
            return std::nullopt;
        }
        return out;
    }
    if (service == "transport-any")
        out.target = Target::Any;
    else if (service == "transport-usb")
        out.target = Target::Usb;
    else if (service == "transport-local")
        out.target = Target::Local;
    else if (startsWith(service, "transport-id:")) {
        auto id = parseId(service.substr(13));
        if (!id) return std::nullopt;
        out.target = Target::TransportId;
        out.transportId = *id;
    } else if (startsWith(service, "transport:") && service.size() > 10) {
        out.target = Target::Serial;
        out.serial = service.substr(10);
    } else {
        return std::nullopt;
    }
    return out;
}

std::optional<int> parseTcpEndpoint(std::string_view endpoint) {
    if (!startsWith(endpoint, "tcp:")) return std::nullopt;
    std::string_view digits = endpoint.substr(4);
    if (!allDigits(digits) || digits.size() > 5) return std::nullopt;
    int port = 0;
    for (char c : digits) port = port * 10 + (c - '0');
    if (port > 65535) return std::nullopt;
    return port;
}

std::optional<ForwardRequest> parseForward(std::string_view service) {
    if (!startsWith(service, "forward:")) return std::nullopt;
    std::string_view rest = service.substr(8);
    ForwardRequest out;
    if (startsWith(rest, "norebind:")) {
        out.noRebind = true;
        rest = rest.substr(9);
    }
    size_t semi = rest.find(';');
    if (semi == std::string_view::npos || semi == 0 || semi + 1 == rest.size()) return std::nullopt;
    out.local = rest.substr(0, semi);
    out.remote = rest.substr(semi + 1);
    auto local = parseTcpEndpoint(out.local);
    auto remote = parseTcpEndpoint(out.remote);
    if (local && remote && *remote != 0) {
        out.supported = true;
        out.localPort = *local;
        out.remotePort = *remote;
    }
    return out;
}

} // namespace zsim::adb
