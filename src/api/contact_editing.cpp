// Exports that add, change and delete contacts on the phone.
#include "zentrolink.h"

#include "api/guard.h"
#include "core/log.h"
#include "records/contact_editing.h"

using namespace zentro;

namespace {

// The add inside Zentro_AddPerson2 is logged as the add export it stands for.
void logAddPerson() { core::logCall("Zentro_AddPerson"); }

} // namespace

extern "C" {

ZENTRO_API int64_t ZENTRO_CALL Zentro_AddPerson(const char* name, const char* phone, int32_t deviceIndex) {
    return api::guarded64(0, [&] {
        logAddPerson();
        return records::addPerson(name, phone, deviceIndex);
    });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_AddPerson2(char* const* fields, int32_t deviceIndex) {
    return api::guarded(-1, [&] { return records::addPersonThenUpdate(fields, deviceIndex, logAddPerson); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_AddPerson3(char* const* fields, int32_t deviceIndex) {
    return api::guarded(-1, [&] { return records::addPersonWhole(fields, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_updatePerson(const char* id, int32_t kind, const char* value,
                                                   int32_t deviceIndex) {
    return api::guarded(-1, [&] { return records::updatePerson(id, kind, value, deviceIndex); });
}

ZENTRO_API int32_t ZENTRO_CALL Zentro_ClearPerson(int32_t deviceIndex) {
    return api::guarded(-1, [&] { return records::clearPeople(deviceIndex); });
}

} // extern "C"
