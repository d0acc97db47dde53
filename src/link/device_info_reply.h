// The reply to "getDevciesInfo;": one record describing the phone (texts hex-coded, the six
// storage and memory numbers as plain decimal text).
#pragma once

#include "zentrolink.h"

namespace zentro::link {

constexpr const char* kDeviceInfoCommand = "getDevciesInfo;";

// Parses `text` (zero-terminated, cut in place) into `info`. Record ends are skipped, so the
// fields of every record land in the one record and later values overwrite earlier ones; fields
// the reply lacks keep what `info` held.
void parseDeviceInfoReply(char* text, DeviceInfoRecord& info);

} // namespace zentro::link
