// The device information reply on hostile text: the record is filled in place (texts cut to
// their fields, numbers read digit by digit), nothing is written past it, every text stays
// terminated, and a text the reply carries once arrives exactly (decoded, cut to its field).
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "grammar_model.h"
#include "link/device_info_reply.h"
#include "link/reply_grammar.h"

using namespace zentro;

namespace {

template <size_t N>
void checkText(const char (&field)[N], const std::vector<zfuzz::Event>& events, const char* key) {
    FUZZ_CHECK(zfuzz::isTerminated(field));
    const zfuzz::Event* last = nullptr;
    for (const zfuzz::Event& e : events) {
        if (!e.recordEnd && e.key == key) last = &e;
    }
    if (last == nullptr) {
        FUZZ_CHECK(field[0] == '\0'); // untouched: it started empty
        return;
    }
    char scratch[link::kFieldValueSize];
    link::decodeFieldValue(last->value.c_str(), scratch);
    const std::string expected = std::string(scratch).substr(0, N - 1);
    FUZZ_CHECK(expected == field);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> text = zfuzz::terminated(data, size);
    const std::vector<zfuzz::Event> events = zfuzz::modelEvents(std::string(text.data()));

    constexpr size_t kGuard = 16;
    std::vector<unsigned char> area(1 + sizeof(DeviceInfoRecord) + kGuard, 0x5A);
    std::memset(area.data() + 1, 0, sizeof(DeviceInfoRecord));
    auto* info = reinterpret_cast<DeviceInfoRecord*>(area.data() + 1); // packed: any address will do
    link::parseDeviceInfoReply(text.data(), *info);
    FUZZ_CHECK(area[0] == 0x5A);
    for (size_t i = 1 + sizeof(DeviceInfoRecord); i < area.size(); ++i) FUZZ_CHECK(area[i] == 0x5A);

    DeviceInfoRecord record;
    std::memcpy(&record, info, sizeof record);
    checkText(record.brand, events, "BRAND");
    checkText(record.model, events, "MODEL");
    checkText(record.androidVersion, events, "ANDROIDVERSION");
    checkText(record.serial, events, "SERIAL");
    FUZZ_CHECK(record.reserved == 0);
    return 0;
}
