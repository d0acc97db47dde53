#include "pairing/pairing_message.h"

#include <cstdio>
#include <cstring>

#include "link/reply_grammar.h"

namespace zentro::pairing {

int formatPairingText(char* out, size_t size, const char* serverAddress, uint16_t port) {
    return std::snprintf(out, size, "PC_SERVERIP:%s:%d", serverAddress != nullptr ? serverAddress : "",
                         static_cast<int>(port));
}

PairingMessage::Step PairingMessage::add(char byte) {
    if (overflowed_) {
        if (byte != ';') return Step::Partial;
        clear();
        return Step::Dropped;
    }
    if (length_ + 1 >= kCapacity) {
        // No room for this byte and the terminator: the message is too long whatever follows.
        clear();
        if (byte == ';') return Step::Dropped;
        overflowed_ = true;
        return Step::Partial;
    }
    text_[length_++] = byte;
    return byte == ';' ? Step::Complete : Step::Partial;
}

void PairingMessage::clear() {
    std::memset(text_, 0, sizeof text_);
    length_ = 0;
    overflowed_ = false;
}

PairingFields splitPairingMessage(const char* text) {
    PairingFields fields;
    if (text == nullptr) return fields;
    size_t used = 0;
    fields.count = 1;
    for (const char* p = text; *p != '\0' && *p != ';'; ++p) {
        if (*p == ':') {
            if (fields.count == PairingFields::kMaxFields) break;
            ++fields.count;
            used = 0;
            continue;
        }
        if (used + 1 < PairingFields::kFieldSize) fields.field[fields.count - 1][used++] = *p;
    }
    return fields;
}

bool registrationPort(const PairingFields& fields, int32_t& port) {
    if (fields.count < 1 || std::strcmp(fields.field[0], kRegisterCommand) != 0) return false;
    port = link::textToInt32(fields.field[2]);
    return true;
}

} // namespace zentro::pairing
