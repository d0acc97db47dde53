// The WiFi pairing server: a phone that scanned the QR image connects here and sends
// "CMD_REGISTER:<any>:<its command port>;"; the library then opens a command channel straight
// to the phone, checks it with the handshake, asks for the device information, fills a WiFi
// row of the device table and calls the host's WiFi callback. One process-wide server, made by
// the first QR image request and kept until the process ends.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "pairing/pairing_message.h"
#include "platform/socket.h"
#include "platform/thread.h"

namespace zentro::pairing {

constexpr int kPairingClientSlots = 5;
constexpr int kPairingBindRetries = 20;
// Connections accepted while every slot is taken are kept (unserved) up to this many; later
// ones are closed at once, so a flood of connections cannot use up the process's descriptors.
constexpr size_t kPairingUnservedLimit = 32;

class TCPServer {
public:
    TCPServer();
    ~TCPServer(); // only tests destroy a server: stops its thread and closes every socket
    TCPServer(const TCPServer&) = delete;
    TCPServer& operator=(const TCPServer&) = delete;

    // Resolves the address (null: the host name's first IPv4 address), binds from `firstPort`
    // on, listens and starts the server thread. 0, or -1 with the failing call printed to the
    // standard error stream.
    int start(const char* addressOrNull, uint16_t firstPort);

    const char* serverAddress() const { return serverAddress_; }
    uint16_t port() const { return port_; }
    // Connections taken from the listening socket so far (served, waiting or refused).
    int acceptedCount() const { return accepted_.load(); }

private:
    void run();
    void acceptClient();
    void closeClient(int slot);
    void handleByte(int slot, char byte);
    void handleMessage(const char* text);
    void stop();

    char peerAddress_[64] = {};
    char serverAddress_[64] = {};
    uint16_t port_ = kPairingPort;
    platform::SocketHandle listener_ = 0;
    platform::SocketHandle clients_[kPairingClientSlots] = {};
    std::unique_ptr<PairingMessage> buffers_[kPairingClientSlots];
    char clientAddresses_[kPairingClientSlots][64] = {};
    std::vector<platform::SocketHandle> unserved_; // accepted while every slot was taken
    platform::Thread thread_;                      // holds the module: it outlives Zentro_UnInit
    std::atomic<bool> stopping_{false};
    std::atomic<int> accepted_{0};
    bool libraryStarted_ = false;
};

// Body of the QR image request: starts the server on first use, then writes the image of
// "PC_SERVERIP:<address>:<port>" to `path`. 0 once a server object exists (also when the image
// could not be written), -1 when there is none.
int writePairingImage(const char* path);

// The server, made and started once; a failed start is logged and not tried again. Null only
// when the object could not be made.
TCPServer* startPairingServer();

// Asks the phone on `deviceIndex` for its device information and makes that index a WiFi row
// (serial = the phone's serial followed by `peerAddress`), counts it and calls the WiFi
// callback; then tells the phone it is connected. 0; -1 when the phone gave no information (or
// the index has no row): nothing changed.
int registerWifiPhone(const char* peerAddress, int32_t port, int32_t deviceIndex);

} // namespace zentro::pairing
