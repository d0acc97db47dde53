// Pairing message assembly on a hostile byte stream from one client: every completed message
// is exactly the bytes since the previous boundary (at most 511, ";" last), every over-long one
// is dropped whole; the fields of each message are its ":"-separated parts cut to 127
// characters, at most six; and the QR text is bounded by its buffer.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "pairing/pairing_message.h"

using namespace zentro::pairing;

namespace {

void checkFields(const std::string& message) {
    const PairingFields fields = splitPairingMessage(message.c_str());
    FUZZ_CHECK(fields.count >= 1 && fields.count <= PairingFields::kMaxFields);

    // The parts before the first ";" (or zero byte), the sixth keeping nothing behind a ":".
    std::vector<std::string> parts(1);
    for (char c : std::string(message.c_str())) {
        if (c == ';') break;
        if (c == ':') {
            if (parts.size() == PairingFields::kMaxFields) break;
            parts.emplace_back();
            continue;
        }
        parts.back().push_back(c);
    }
    FUZZ_CHECK(static_cast<size_t>(fields.count) == parts.size());
    for (size_t i = 0; i < PairingFields::kMaxFields; ++i) {
        FUZZ_CHECK(zfuzz::isTerminated(fields.field[i]));
        const std::string expected =
            i < parts.size() ? parts[i].substr(0, PairingFields::kFieldSize - 1) : "";
        FUZZ_CHECK(expected == fields.field[i]);
    }
    int32_t port = -7;
    const bool registration = registrationPort(fields, port);
    FUZZ_CHECK(registration == (parts[0] == kRegisterCommand));
    if (!registration) FUZZ_CHECK(port == -7);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PairingMessage message;
    std::string pending; // the bytes since the last boundary
    for (size_t i = 0; i < size; ++i) {
        const char byte = static_cast<char>(data[i]);
        pending.push_back(byte);
        const PairingMessage::Step step = message.add(byte);
        if (byte != ';') {
            FUZZ_CHECK(step == PairingMessage::Step::Partial);
            continue;
        }
        if (pending.size() < PairingMessage::kCapacity) {
            FUZZ_CHECK(step == PairingMessage::Step::Complete);
            FUZZ_CHECK(std::string(message.text()) == std::string(pending.c_str()));
            checkFields(pending);
            message.clear();
        } else {
            FUZZ_CHECK(step == PairingMessage::Step::Dropped);
        }
        pending.clear();
    }
    if (!pending.empty()) checkFields(pending); // a message cut off by the connection's end

    // The QR text with a hostile address into buffers of every small size.
    const std::string address(reinterpret_cast<const char*>(data), std::min<size_t>(size, 200));
    for (size_t room : {size_t{1}, size_t{16}, size_t{64}, size_t{300}}) {
        std::vector<char> out(room, 'x');
        const int n = formatPairingText(out.data(), room, address.c_str(), static_cast<uint16_t>(size));
        FUZZ_CHECK(n >= 0 && out[std::min<size_t>(static_cast<size_t>(n), room - 1)] == '\0');
        FUZZ_CHECK(std::strncmp(out.data(), "PC_SERVERIP:", std::min<size_t>(room - 1, 12)) == 0);
    }
    return 0;
}
