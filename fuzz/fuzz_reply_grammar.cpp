// The reply grammar on hostile text: the in-place parse must give the same fields and record
// ends as a plain reading of the grammar on a copy, never point outside the text, and the
// generic field handling (fixed texts, owned texts, numbers) must keep every field terminated
// and free what it owns.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "grammar_model.h"
#include "link/reply_grammar.h"

using namespace zentro::link;
using zfuzz::Event;
using zfuzz::modelEvents;

namespace {

struct Sample {
    char small[4];
    char large[40];
    int32_t number;
    int64_t big;
    uint64_t unchecked;
    char* owned;
    char* plain;
};

constexpr FieldRule<Sample> kSampleFields[] = {
    {"S", storeText<&Sample::small>},
    {"ID", storeText<&Sample::large>},
    {"N", storeInt32<&Sample::number>, false},
    {"L", storeInt64<&Sample::big>},
    {"U", storeUncheckedDecimal<&Sample::unchecked>, false},
    {"O", storeOwnedText<&Sample::owned>},
    {"P", storeOwnedText<&Sample::plain>, false},
};

void release(Sample& record) {
    FUZZ_CHECK(zfuzz::isTerminated(record.small));
    FUZZ_CHECK(zfuzz::isTerminated(record.large));
    if (record.owned != nullptr) FUZZ_CHECK(std::strlen(record.owned) < kFieldValueSize);
    if (record.plain != nullptr) (void)std::strlen(record.plain);
    std::free(record.owned);
    std::free(record.plain);
    record.owned = record.plain = nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> text = zfuzz::terminated(data, size);
    const std::string copy(text.data()); // up to the first zero byte, as the parse sees it
    const char* begin = text.data();
    const char* end = begin + text.size();

    std::vector<Event> events;
    int ends = parseReplyText(
        text.data(),
        [&](const char* key, const char* value) {
            FUZZ_CHECK(key >= begin && key < end && value >= begin && value < end);
            FUZZ_CHECK(std::strchr(key, ';') == nullptr && std::strchr(key, ':') == nullptr);
            FUZZ_CHECK(std::strchr(value, ';') == nullptr && std::strchr(value, ':') == nullptr);
            char scratch[kFieldValueSize];
            const size_t decoded = decodeFieldValue(value, scratch);
            FUZZ_CHECK(decoded < kFieldValueSize && decoded <= (std::strlen(value) + 1) / 2);
            FUZZ_CHECK(scratch[decoded] == '\0');
            events.push_back({false, key, value});
        },
        [&] {
            events.push_back({true, {}, {}});
        });
    FUZZ_CHECK(events == modelEvents(copy));
    int modelEnds = 0;
    int modelClosed = 0; // record ends with a field before them: the records lists take
    bool fieldSeen = false;
    for (const Event& e : events) {
        modelEnds += e.recordEnd ? 1 : 0;
        if (e.recordEnd && fieldSeen) ++modelClosed;
        fieldSeen = !e.recordEnd;
    }
    FUZZ_CHECK(ends == modelEnds);

    // The same text through the field tables, in each of the three ways replies are read.
    text = zfuzz::terminated(data, size);
    int handed = 0;
    int closed = parseRecordList<Sample>(
        text.data(), kSampleFields,
        [&](Sample& record) {
            ++handed;
            release(record);
        },
        [&](Sample& record) { release(record); });
    FUZZ_CHECK(closed == handed && closed == modelClosed);

    Sample single{};
    text = zfuzz::terminated(data, size);
    parseSingleRecord<Sample>(text.data(), kSampleFields, single);
    release(single);

    Sample first{};
    text = zfuzz::terminated(data, size);
    parseFirstRecord<Sample>(text.data(), kSampleFields, first);
    release(first);
    return 0;
}
