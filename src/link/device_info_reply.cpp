#include "link/device_info_reply.h"

#include "link/reply_grammar.h"

namespace zentro::link {
namespace {

using Rule = FieldRule<DeviceInfoRecord>;

// The numbers come as plain decimal text, read without a digit check.
constexpr Rule kDeviceInfoFields[] = {
    {"BRAND", storeText<&DeviceInfoRecord::brand>},
    {"MODEL", storeText<&DeviceInfoRecord::model>},
    {"ANDROIDVERSION", storeText<&DeviceInfoRecord::androidVersion>},
    {"SERIAL", storeText<&DeviceInfoRecord::serial>},
    {"MEMTOTAL", storeUncheckedDecimal<&DeviceInfoRecord::memTotal>, false},
    {"MEMAVAIL", storeUncheckedDecimal<&DeviceInfoRecord::memAvail>, false},
    {"PHONETOTAL", storeUncheckedDecimal<&DeviceInfoRecord::phoneStorageTotal>, false},
    {"PHONEAVAIL", storeUncheckedDecimal<&DeviceInfoRecord::phoneStorageAvail>, false},
    {"SDTOTAL", storeUncheckedDecimal<&DeviceInfoRecord::sdStorageTotal>, false},
    {"SDAVAIL", storeUncheckedDecimal<&DeviceInfoRecord::sdStorageAvail>, false},
};

} // namespace

void parseDeviceInfoReply(char* text, DeviceInfoRecord& info) {
    parseSingleRecord<DeviceInfoRecord>(text, kDeviceInfoFields, info);
}

} // namespace zentro::link
