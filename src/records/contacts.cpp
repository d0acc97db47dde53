#include "records/contacts.h"

#include <cstddef>

#include "core/log.h"

namespace zentro::records {
namespace {

using link::FieldRule;

// Person field n is fields[n]; the number is what contact editing calls the field kind.
template <int N>
void storeField(PersonRecord& record, const char* value, size_t length) {
    link::replaceOwnedText(record.fields[N], value, length);
}

// Fields 2 (last name), 10 (group), 14 and 15 are never filled from a reply.
constexpr FieldRule<PersonRecord> kFields[] = {
    {"CONTACTID", storeField<ZENTRO_PERSON_ID>},
    {"NAME", storeField<ZENTRO_PERSON_NAME>},
    {"NICKNAME", storeField<ZENTRO_PERSON_NICKNAME>},
    {"PHONE_PHONE", storeField<ZENTRO_PERSON_MOBILE>},
    {"PHONE_HOME", storeField<ZENTRO_PERSON_HOME_PHONE>},
    {"PHONE_WORK", storeField<ZENTRO_PERSON_WORK_PHONE>},
    {"WEBSITE", storeField<ZENTRO_PERSON_WEBSITE>},
    {"EMAIL_HOME", storeField<ZENTRO_PERSON_HOME_EMAIL>},
    {"BIRTHDAY", storeField<ZENTRO_PERSON_BIRTHDAY>},
    {"NOTE", storeField<ZENTRO_PERSON_NOTE>},
    {"ORG_NAME", storeField<ZENTRO_PERSON_ORG_NAME>},
    {"ORG_TITLE", storeField<ZENTRO_PERSON_ORG_TITLE>},
    {"ADDRESS_HOME", storeField<ZENTRO_PERSON_HOME_ADDRESS>},
    {"ADDRESS_WORK", storeField<ZENTRO_PERSON_WORK_ADDRESS>},
    {"PHONE_HOMEFAX", storeField<ZENTRO_PERSON_HOME_FAX>},
    {"PHONE_WORKFAX", storeField<ZENTRO_PERSON_WORK_FAX>},
    {"EMAIL_WORK", storeField<ZENTRO_PERSON_WORK_EMAIL>},
};

constexpr size_t kTexts = 21;
static_assert(offsetof(PersonRecord, fields) == 0);
static_assert(offsetof(PersonRecord, reserved1) == kTexts * sizeof(char*));

constexpr ListKind<PersonRecord> kContacts{
    kFields, kTexts, "getcontactCount;", "getcontactpart10:%d;", Insertion::AtHead, false, "contacts"};

RecordList<PersonRecord> g_list{kContacts};
BulkProgress g_progress;

void logPage(int32_t, int32_t offset, int added) {
    core::log(0, "st_Contact_index =%d, prasecount = %d\n", static_cast<int>(offset), added);
}

} // namespace

RecordList<PersonRecord>& contactList() { return g_list; }
BulkProgress& contactBulkProgress() { return g_progress; }

int32_t refreshAllContacts() { return bulkRefresh({g_list, g_progress, true, logPage}); }

} // namespace zentro::records
