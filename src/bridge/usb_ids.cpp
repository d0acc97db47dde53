#include "bridge/usb_ids.h"

#include <cstring>

namespace zentro::bridge {

const KnownPhone kKnownPhones[24] = {
    {0x04E8, 0x685E, "Samsung M250S"},
    {0x1782, 0x5D04, "Meiling SPHS"},
    {0x0BB4, 0x0C87, "HTC Desire"},
    {0x0BB4, 0x0C8D, "HTC EVO"},
    {0x0BB4, 0x0C96, "HTC MyTouch 4G"},
    {0x0FCE, 0x212E, "SonyEricsson X10i"},
    {0x0BB4, 0x0C01, "HTC Dream / T-Mobile G1 v1.0"},
    {0x0BB4, 0x0C02, "HTC Dream / T-Mobile G1 v1.6"},
    {0x22B8, 0x41DB, "Motorola Droid"},
    {0x0BB4, 0x0FF9, "Motorola Droid X"},
    {0x0BB4, 0x4E11, "Nexus One"},
    {0x0BB4, 0x4E12, "Nexus One"},
    {0x04E8, 0x6640, "Samsung Galaxy I7500"},
    {0x04E8, 0x6860, "Samsung Galaxy S3"},
    {0x04E8, 0x6877, "Samsung Galaxy S GT-I9000"},
    {0x18D1, 0x4E21, "Samsung Nexus S"},
    {0x04E8, 0x681D, "Samsung Epic 4G"},
    {0x0E79, 0x1357, "Archos 5 Internet Tablet"},
    {0x12D1, 0x1038, "Huawei U8150"},
    {0x0502, 0x3203, "Acer Liquid E"},
    {0x0502, 0x3317, "Acer Liquid Metal (S120)"},
    {0x0B05, 0x4E0F, "Asus Eee pad transformer (TF101)"},
    {0x1004, 0x618E, "LG G2x"},
    {0x0000, 0x0000, "End"},
};

const KnownPhone kSecondDebugWay[4] = {
    {0x04E8, 0x6866, "Samsung GT-N7100"},
    {0x04E8, 0x6860, "Samsung GT-I9500"},
    {0x04E8, 0x6860, "Samsung GT-I9300"},
    {0x04E8, 0x685D, "Samsung Epic 4G"},
};

namespace {

constexpr size_t kIdDigits = 4;

bool hexDigit(char c, uint32_t& value) {
    if (c >= '0' && c <= '9')
        value = static_cast<uint32_t>(c - '0');
    else if (c >= 'A' && c <= 'F')
        value = static_cast<uint32_t>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f')
        value = static_cast<uint32_t>(c - 'a' + 10);
    else
        return false;
    return true;
}

bool readHex4(const char* p, uint32_t& out) {
    out = 0;
    for (size_t i = 0; i < kIdDigits; ++i) {
        uint32_t digit = 0;
        if (!hexDigit(p[i], digit)) return false;
        out = out * 16 + digit;
    }
    return true;
}

// A cursor over the identifier; every step must leave at least four characters behind it.
struct Cursor {
    const char* p;
    size_t left;
    bool skip(size_t n) {
        if (n > left) return false;
        p += n;
        left -= n;
        return left >= kIdDigits;
    }
    bool expect(const char* word) {
        size_t n = std::strlen(word);
        return left >= n && std::strncmp(p, word, n) == 0 && skip(n);
    }
};

const KnownPhone* findKnownPhone(uint32_t vendorId, uint32_t productId) {
    const KnownPhone* byVendor = nullptr;
    const KnownPhone* exact = nullptr;
    for (const KnownPhone& row : kKnownPhones) {
        if (row.vendorId != vendorId) continue;
        byVendor = &row;
        if (row.productId == productId) exact = &row;
    }
    return exact != nullptr ? exact : byVendor;
}

} // namespace

void readInstanceId(const char* id, UsbList& list) {
    if (id == nullptr || std::strncmp(id, "USB", 3) != 0) return;
    Cursor c{id, std::strlen(id)};
    uint32_t vendorId = 0;
    uint32_t productId = 0;
    if (!c.skip(4)) return; // "USB" and its separator
    if (!c.expect("VID_") || !readHex4(c.p, vendorId) || !c.skip(kIdDigits + 1)) return;
    if (!c.expect("PID_") || !readHex4(c.p, productId) || !c.skip(kIdDigits)) return;
    int8_t flag = std::strncmp(c.p, "&ADB", 4) == 0 ? 0 : -1;

    if (list.count < 0 || list.count > kMaxUsbPhones) list.count = 0;
    for (int32_t i = 0; i < list.count; ++i) {
        UsbPhone& seen = list.entries[i];
        if (seen.vendorId == vendorId && seen.productId == productId) {
            if (flag == 0) seen.debugFlag = 0;
            return;
        }
    }
    if (findKnownPhone(vendorId, productId) == nullptr || list.count >= kMaxUsbPhones) return;
    list.entries[list.count++] = UsbPhone{vendorId, productId, flag};
}

int32_t readInstanceIds(const std::vector<std::string>& ids, UsbList& list) {
    list.count = 0;
    for (const std::string& id : ids) {
        if (id.compare(0, 3, "USB") == 0) readInstanceId(id.c_str(), list);
    }
    return list.count;
}

int32_t debugTypeOf(const UsbPhone& phone) {
    for (const KnownPhone& row : kSecondDebugWay) {
        if (row.vendorId == phone.vendorId && row.productId == phone.productId) return 2;
    }
    return 1;
}

} // namespace zentro::bridge
