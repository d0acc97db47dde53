#include "records/contact_editing.h"

#include <array>
#include <string>

#include "records/action_command.h"

namespace zentro::records {

namespace {

constexpr int kFirstUpdatedField = 3;
constexpr int kLastField = kPersonFields - 1;
constexpr int kMobileField = 4;

// Keywords of "UpdatePerson:" by person field number; "ORGANZATION" is the companion's spelling.
constexpr std::array<const char*, kPersonFields> kUpdateKeywords = {
    nullptr,    "FIRSTNAME", "LASTNAME",    "NICKNAME",    "MOBILE",  "HOMENUMBER",  "WORKNUMBER",
    "HOMEPAGE", "HOMEEMAIL", "BIRTHDAY",    "GROUP",       "NOTE",    "ORGANZATION", "DEPARTMENT",
    nullptr,    nullptr,     "HOMEADDRESS", "WORKADDRESS", "HOMEFAX", "WORKFAX",     "WORKEMAIL",
};

bool isEmpty(const char* text) { return text == nullptr || text[0] == '\0'; }

// First name and last name joined without a separator. Only the first kItemBytes bytes of the
// joined name are ever sent, so neither part is read further than that.
std::string nameValue(const char* const* fields) {
    std::string name;
    for (const char* part : {fields[1], fields[2]}) {
        for (size_t i = 0; part != nullptr && part[i] != '\0' && name.size() < kItemBytes; ++i) {
            name += part[i];
        }
    }
    return name;
}

} // namespace

const char* updateKeyword(int32_t kind) {
    if (kind < 1 || kind > kLastField) return nullptr;
    return kUpdateKeywords[static_cast<size_t>(kind)];
}

int64_t addPerson(const char* name, const char* phone, int32_t deviceIndex) {
    ActionCommand command("AddPerson:", kAddCommandBuffer);
    command.hex(name).plain(':').hex(phone).plain(';');
    return sendForId(command, deviceIndex);
}

int32_t addPersonThenUpdate(const char* const* fields, int32_t deviceIndex, void (*beforeAdd)()) {
    if (fields == nullptr) return -1;
    const std::string name = nameValue(fields);
    if (beforeAdd != nullptr) beforeAdd();
    const int64_t id = addPerson(name.c_str(), fields[kMobileField], deviceIndex);
    if (id <= 0) return -1;

    const std::string idText = std::to_string(id);
    // The mobile number goes a second time, as its own field; empty fields and the reserved
    // kinds are refused by the update without a command.
    for (int kind = kFirstUpdatedField; kind <= kLastField; ++kind) {
        updatePerson(idText.c_str(), kind, fields[kind], deviceIndex);
    }
    return 0;
}

int32_t addPersonWhole(const char* const* fields, int32_t deviceIndex) {
    if (fields == nullptr) return -1;
    const std::string name = nameValue(fields);
    // The name, fields 3 to 20, and a closing blank: twenty items in all.
    std::array<HexItem, 2 + kLastField - kFirstUpdatedField + 1> items{};
    size_t n = 0;
    items[n++] = {name.c_str()};
    for (int field = kFirstUpdatedField; field <= kLastField; ++field) items[n++] = {fields[field]};
    items[n++] = {" "};

    ActionCommand command("AddPerson3:", kAddCommandBuffer);
    command.hexItems(items).plain(';');
    // A refusal's -1 keeps its value in the low 32 bits.
    return static_cast<int32_t>(
        static_cast<uint32_t>(static_cast<uint64_t>(sendForId(command, deviceIndex))));
}

int32_t updatePerson(const char* id, int32_t kind, const char* value, int32_t deviceIndex) {
    if (isEmpty(id) || isEmpty(value)) return -1;
    if (value[0] == '"' && value[1] == '\0') return -1;
    const char* keyword = updateKeyword(kind);
    if (keyword == nullptr) return -1;

    // The id travels as the host wrote it.
    ActionCommand command("UpdatePerson:", kUpdateCommandBuffer);
    command.plain(id).plain(':').hex(value).plain(':').plain(keyword).plain(';');
    return sendForStatus(command, deviceIndex);
}

int32_t clearPeople(int32_t deviceIndex) { return sendForStatus("ClearPerson;", deviceIndex); }

} // namespace zentro::records
