// The USB instance identifier reader on hostile identifiers (one per input line): the list
// holds at most ten phones, each a known maker's, each VID/PID once, with a debug flag of 0 or
// -1 (0 only when an identifier of that phone showed "&ADB"); entries past the count keep what
// was there; reading the same identifiers again gives the same list.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bridge/usb_ids.h"
#include "fuzz_support.h"

using namespace zentro::bridge;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> ids(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            ids.emplace_back();
        } else {
            ids.back().push_back(static_cast<char>(data[i]));
        }
    }

    UsbList list;
    std::memset(&list, 0xEE, sizeof list);
    const UsbList before = list;
    const int32_t count = readInstanceIds(ids, list);
    FUZZ_CHECK(count == list.count && count >= 0 && count <= kMaxUsbPhones);
    for (int32_t i = count; i < kMaxUsbPhones; ++i) {
        FUZZ_CHECK(list.entries[i].vendorId == before.entries[i].vendorId);
        FUZZ_CHECK(list.entries[i].debugFlag == before.entries[i].debugFlag);
    }
    for (int32_t i = 0; i < count; ++i) {
        const UsbPhone& phone = list.entries[i];
        FUZZ_CHECK(phone.debugFlag == 0 || phone.debugFlag == -1);
        FUZZ_CHECK(phone.vendorId <= 0xFFFF && phone.productId <= 0xFFFF);
        bool knownMaker = false;
        for (const KnownPhone& known : kKnownPhones) knownMaker |= known.vendorId == phone.vendorId;
        FUZZ_CHECK(knownMaker);
        for (int32_t j = 0; j < i; ++j) {
            FUZZ_CHECK(list.entries[j].vendorId != phone.vendorId ||
                       list.entries[j].productId != phone.productId);
        }
        if (phone.debugFlag == 0) {
            bool shown = false;
            for (const std::string& id : ids) shown |= id.find("&ADB") != std::string::npos;
            FUZZ_CHECK(shown);
        }
        const int32_t type = debugTypeOf(phone);
        FUZZ_CHECK(type == 1 || type == 2);
    }

    UsbList again;
    std::memset(&again, 0xEE, sizeof again);
    FUZZ_CHECK(readInstanceIds(ids, again) == count);
    for (int32_t i = 0; i < count; ++i) {
        FUZZ_CHECK(again.entries[i].vendorId == list.entries[i].vendorId);
        FUZZ_CHECK(again.entries[i].productId == list.entries[i].productId);
        FUZZ_CHECK(again.entries[i].debugFlag == list.entries[i].debugFlag);
    }
    return 0;
}
