// Contact editing on the phone: add a contact (name and phone, or every field at once, or an
// add followed by one update per field), change one field, delete all contacts. Host texts
// travel as hex, contact ids and field keywords as plain text. No state; the contact list is
// left alone (the host refreshes it when it wants to see the change).
#pragma once

#include <cstdint>

namespace zentro::records {

// Input arrays hold 21 text pointers laid out like PersonRecord's fields (position = person
// field number); position 0 is not read.
constexpr int kPersonFields = 21;

// The wire keyword of a field kind of "UpdatePerson:", or null for kinds that cannot be
// updated (below 1, above 20, and the reserved 14 and 15).
const char* updateKeyword(int32_t kind);

// "AddPerson:" name ":" phone ";". The new contact's id as replied, 0 when nothing came.
int64_t addPerson(const char* name, const char* phone, int32_t deviceIndex);

// Adds the contact with its name (first and last name joined) and mobile number, then sends one
// update per further field 3 to 20 that has a text. `beforeAdd` (may be null) runs just before
// the add is sent. 0 once the contact exists; -1 for a null array or when the add gave no id
// of 1 or more (then no update is sent).
int32_t addPersonThenUpdate(const char* const* fields, int32_t deviceIndex, void (*beforeAdd)());

// "AddPerson3:" with the name and fields 3 to 20 in one command. The low 32 bits of the new id,
// 0 when nothing came; -1 for a null array.
int32_t addPersonWhole(const char* const* fields, int32_t deviceIndex);

// "UpdatePerson:<id>:" value ":" keyword ";". The companion's status, 0 when nothing came; -1,
// nothing sent, for a null or empty id or value, a value of one double quote, or a kind
// without a keyword.
int32_t updatePerson(const char* id, int32_t kind, const char* value, int32_t deviceIndex);

// "ClearPerson;". The companion's status, 0 when nothing came.
int32_t clearPeople(int32_t deviceIndex);

} // namespace zentro::records
