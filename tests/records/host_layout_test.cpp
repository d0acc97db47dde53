// What a host sees of the records it reads by byte offset, without the structs' names.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/state.h"
#include "records_fixture.h"
#include "zentrolink.h"

using namespace recordstest;

namespace {

class HostLayout : public RecordsTest {};

} // namespace

TEST_F(HostLayout, DeviceRecordTextsAtTheirByteOffsets) {
    zentro::core::DeviceEntry* row = zentro::core::deviceRow(0);
    std::strcpy(row->brand, "Zentro:Labs");
    std::strcpy(row->serial, "ZX1G22ABCD000000");
    std::strcpy(row->model, "Pixel 7");
    std::strcpy(row->androidVersion, "13");
    unsigned char bytes[436];
    std::memset(bytes, 0xAA, sizeof bytes);
    ASSERT_EQ(Zentro_GetAndroidDevicesInfo(reinterpret_cast<DeviceInfoRecord*>(bytes), 0), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 0), "Zentro:Labs");
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 128), "ZX1G22ABCD000000");
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 192), "Pixel 7");
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 256), "13");
    // The numbers from 384 to the end are zero, and nothing past the 436 bytes is touched.
    for (size_t i = 384; i < sizeof bytes; ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
}
