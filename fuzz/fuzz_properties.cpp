// The property texts a phone reports (release, model, maker, PDA) and the character rule for
// model and maker, on hostile getprop output: each lands in its own field only, terminated,
// as a prefix of the output (cut at a zero byte or the field's size); model and maker keep
// their length and hold only the allowed characters and blanks, every allowed character kept.
#include <cstdint>
#include <cstring>
#include <string>

#include "bridge/device_list.h"
#include "bridge/device_properties.h"
#include "core/state.h"
#include "fuzz_support.h"

using namespace zentro;

namespace {

bool allowed(unsigned char c) {
    return c == '-' || c == '.' || c == '/' || (c >= '0' && c <= '9') || (c >= 'A' && c <= '`') ||
           (c >= 'a' && c <= 'z');
}

// The field holds the output's first bytes (up to `keep`), with the rule applied when `ruled`.
template <size_t N>
void checkField(const char (&field)[N], const std::string& output, size_t keep, bool ruled) {
    FUZZ_CHECK(zfuzz::isTerminated(field));
    const size_t expected = std::min({std::strlen(output.c_str()), keep, N - 1});
    FUZZ_CHECK(std::strlen(field) == expected);
    for (size_t i = 0; i < expected; ++i) {
        const auto in = static_cast<unsigned char>(output[i]);
        const auto out = static_cast<unsigned char>(field[i]);
        if (!ruled) {
            FUZZ_CHECK(in == out);
        } else {
            FUZZ_CHECK(allowed(in) ? out == in : out == ' ');
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string output(reinterpret_cast<const char*>(data), size);

    // Around each field the row is filled with a pattern that must survive.
    core::DeviceEntry row;
    std::memset(&row, 0x77, sizeof row);
    core::DeviceEntry before = row;
    bridge::storeVersion(row, output);
    checkField(row.versionText, output, SIZE_MAX, false);
    checkField(row.androidVersion, output, SIZE_MAX, false);
    bridge::storeModel(row, output);
    checkField(row.model, output, 62, true);
    bridge::storeBrand(row, output);
    checkField(row.brand, output, 127, true);
    bridge::storeBuildPda(row, output);
    checkField(row.buildPda, output, SIZE_MAX, false);
    FUZZ_CHECK(std::memcmp(row.serial, before.serial, sizeof row.serial) == 0);
    FUZZ_CHECK(std::memcmp(row.state, before.state, sizeof row.state) == 0);
    FUZZ_CHECK(row.connectionKind == before.connectionKind && row.port == before.port);
    FUZZ_CHECK(std::memcmp(row.address, before.address, sizeof row.address) == 0);

    // The rule on its own over any zero-terminated text, of any length.
    std::string text(output.c_str());
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    bridge::blankUnsafeCharacters(buffer.data());
    FUZZ_CHECK(std::strlen(buffer.data()) == text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto in = static_cast<unsigned char>(text[i]);
        FUZZ_CHECK(allowed(in) ? buffer[i] == text[i] : buffer[i] == ' ');
    }
    return 0;
}
