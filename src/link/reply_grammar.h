// The companion's reply text: a flat run of KEY:VALUE; fields with "." closing each record, e.g.
// "ID:3132;NAME:414243;.ID:3133;NAME:44;." (two records). One parse loop serves every record
// kind; a kind only supplies its field table (key, how the value is stored). Parsing cuts the
// text in place (":" and ";" become zero bytes), so a reply can be parsed once. The split state
// is per call (no process-wide key/value), so threads may parse different replies at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "core/state.h"
#include "link/hex_codec.h"

namespace zentro::link {

// One field cut out of the text. `next` is the position behind its ";", or null when the field
// has no ";" (then key and value are null too and the parse ends).
struct Field {
    char* key = nullptr;
    char* value = nullptr;
    char* next = nullptr;
};

// Reads the field that starts at `text`. With several ":" the value is the text behind the
// last one and the key the text between the last two (text before is dropped); a field without
// ":" has the whole text as its key and an empty value.
Field splitField(char* text);

// The position behind a record end when `text` starts with "."; otherwise null.
char* skipRecordEnd(char* text);

// Parse loop: calls onField(key, value) for each field and onRecordEnd() for each ".", left to
// right, until the text ends or a field has no ";". Returns the number of record ends seen.
template <class OnField, class OnRecordEnd>
int parseReplyText(char* text, OnField&& onField, OnRecordEnd&& onRecordEnd) {
    int records = 0;
    char* position = text;
    while (position != nullptr && *position != '\0') {
        if (char* behind = skipRecordEnd(position)) {
            onRecordEnd();
            ++records;
            position = behind;
            continue;
        }
        Field field = splitField(position);
        if (field.next == nullptr) break; // unfinished field: it and its record are dropped
        onField(field.key, field.value);
        position = field.next;
    }
    return records;
}

// ---- field tables ------------------------------------------------------------------------

// Decoded values are cut to this size less one byte, so they always end in a zero byte.
constexpr size_t kFieldValueSize = 1024;

// Decodes a hex value into `scratch`, cut to 1,023 bytes and zero-terminated; returns the
// number of decoded bytes.
size_t decodeFieldValue(const char* value, char (&scratch)[kFieldValueSize]);

// The same for a value of `length` characters into `out`, which may be the value itself (it is
// never longer than the text it comes from, zero byte included) or holds kFieldValueSize bytes.
size_t decodeFieldValueAt(const char* value, size_t length, char* out);

// How one key of a record kind is stored. `store` gets the value text (decoded unless the key
// travels as plain text) with its length in bytes.
template <class Record>
struct FieldRule {
    const char* key;
    void (*store)(Record& record, const char* value, size_t length);
    bool hexCoded = true;
};

// The field handler every record kind shares: the first rule whose key is equal (byte for byte)
// decides; unknown keys are ignored.
template <class Record>
void applyField(std::span<const FieldRule<Record>> rules, Record& record, const char* key,
                const char* value) {
    for (const FieldRule<Record>& rule : rules) {
        if (std::strcmp(rule.key, key) != 0) continue;
        if (rule.hexCoded) {
            char scratch[kFieldValueSize];
            size_t length = decodeFieldValue(value, scratch);
            rule.store(record, scratch, length);
        } else {
            rule.store(record, value, std::strlen(value));
        }
        return;
    }
}

// List parse: each closed record goes to onRecord (which takes it over, pointers included), and
// a fresh value-initialised record is started. A record end with no field since the last one
// closes nothing: a page of bare "." must not cost a record each. A record left open at the end
// goes to onDrop (free what it owns). Returns the number of records handed over.
template <class Record, class OnRecord, class OnDrop>
int parseRecordList(char* text, std::span<const FieldRule<Record>> rules, OnRecord&& onRecord,
                    OnDrop&& onDrop) {
    Record current{};
    bool touched = false;
    int count = 0;
    parseReplyText(
        text,
        [&](const char* key, const char* value) {
            applyField(rules, current, key, value);
            touched = true;
        },
        [&] {
            if (!touched) return;
            onRecord(current);
            ++count;
            current = Record{};
            touched = false;
        });
    if (touched) onDrop(current);
    return count;
}

template <class Record, class OnRecord>
int parseRecordList(char* text, std::span<const FieldRule<Record>> rules, OnRecord&& onRecord) {
    return parseRecordList(text, rules, onRecord, [](Record&) {});
}

// Single-record parse: record ends are skipped and every field lands in `record`, later values
// overwriting earlier ones.
template <class Record>
void parseSingleRecord(char* text, std::span<const FieldRule<Record>> rules, Record& record) {
    parseReplyText(
        text, [&](const char* key, const char* value) { applyField(rules, record, key, value); }, [] {});
}

// First-record parse: the fields before the first record end land in `record` as they are read
// (a repeated key overwrites); whatever follows that end is ignored, and an unfinished last
// field is dropped while the fields before it stay stored.
template <class Record>
void parseFirstRecord(char* text, std::span<const FieldRule<Record>> rules, Record& record) {
    bool ended = false;
    parseReplyText(
        text,
        [&](const char* key, const char* value) {
            if (!ended) applyField(rules, record, key, value);
        },
        [&] { ended = true; });
}

// ---- stores for field tables -------------------------------------------------------------

template <class T>
struct MemberPointer;
template <class C, class M>
struct MemberPointer<M C::*> {
    using Class = C;
    using Type = M;
};
template <auto Member>
using RecordOf = typename MemberPointer<decltype(Member)>::Class;

// The standard text-to-number conversion: leading blanks and a sign, then digits; no digits
// give 0; values out of range are held at the type's limits.
int32_t textToInt32(const char* text);
int64_t textToInt64(const char* text);

// Digits read without looking at them: value = value * 10 + (character - '0') for every
// character, wrapping modulo 2^64.
uint64_t uncheckedDecimal(const char* text, size_t length);

// A fixed-size text field: filled up to its size less one byte, always zero-terminated.
template <auto Member>
void storeText(RecordOf<Member>& record, const char* value, size_t length) {
    auto& field = record.*Member;
    core::copyText(field, sizeof field, value, length);
}

// A text field held by pointer: a heap copy (malloc) owned by the record; a repeated key
// replaces the earlier copy. A failed allocation leaves the field null.
inline void replaceOwnedText(char*& field, const char* value, size_t length) {
    std::free(field);
    size_t n = std::strlen(value);
    if (n > length) n = length;
    field = static_cast<char*>(std::malloc(n + 1));
    if (field == nullptr) return;
    std::memcpy(field, value, n);
    field[n] = '\0';
}

template <auto Member>
void storeOwnedText(RecordOf<Member>& record, const char* value, size_t length) {
    replaceOwnedText(record.*Member, value, length);
}

// Number fields are written byte-wise: the host's records are packed, so a field may sit at
// an address its type would not be aligned to.
template <auto Member, class T>
void storeNumber(RecordOf<Member>& record, T value) {
    static_assert(sizeof(record.*Member) == sizeof value);
    std::memcpy(reinterpret_cast<char*>(&(record.*Member)), &value, sizeof value);
}

template <auto Member>
void storeInt32(RecordOf<Member>& record, const char* value, size_t) {
    storeNumber<Member>(record, textToInt32(value));
}

template <auto Member>
void storeInt64(RecordOf<Member>& record, const char* value, size_t) {
    storeNumber<Member>(record, textToInt64(value));
}

template <auto Member>
void storeUncheckedDecimal(RecordOf<Member>& record, const char* value, size_t length) {
    storeNumber<Member>(record, uncheckedDecimal(value, length));
}

} // namespace zentro::link
