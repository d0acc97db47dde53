// The pairing protocol's pure parts: the text a phone reads from the QR image, and the
// messages phones send to the pairing server (ASCII ending in ";", fields separated by ":").
#pragma once

#include <cstddef>
#include <cstdint>

namespace zentro::pairing {

constexpr uint16_t kPairingPort = 20166;
constexpr const char* kRegisterCommand = "CMD_REGISTER";
constexpr const char* kConnectOkNotice = "sync_zentrolink_ConnectOK;";

// "PC_SERVERIP:<address>:<port>", bounded by `size`; the length written (as snprintf).
int formatPairingText(char* out, size_t size, const char* serverAddress, uint16_t port);

// One client's message as it arrives, a byte at a time. A message holds at most 511 bytes,
// its ";" included; a longer one is dropped whole: its bytes are swallowed up to its ";" and
// the next message starts clean.
class PairingMessage {
public:
    static constexpr size_t kCapacity = 512;
    enum class Step { Partial, Complete, Dropped };

    // Complete: text() holds the message up to and including its ";" until clear().
    // Dropped: an over-long message ended here; nothing is kept.
    Step add(char byte);
    const char* text() const { return text_; }
    void clear();

private:
    char text_[kCapacity] = {};
    size_t length_ = 0;
    bool overflowed_ = false;
};

// The fields of one message: up to six, each cut to 127 characters; text behind a sixth ":"
// is dropped. Reading stops at the first ";" (or the end of the text).
struct PairingFields {
    static constexpr int kMaxFields = 6;
    static constexpr size_t kFieldSize = 128;
    char field[kMaxFields][kFieldSize] = {};
    int count = 0;
};
PairingFields splitPairingMessage(const char* text);

// True for a "CMD_REGISTER" message (field 0 exactly that); `port` is then field 2, the phone's
// command port, read as a decimal number (0 when it has no digits).
bool registrationPort(const PairingFields& fields, int32_t& port);

} // namespace zentro::pairing
