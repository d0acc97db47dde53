// Export of WiFi pairing: the QR image that starts the pairing server.
#include "zentrolink.h"

#include "api/guard.h"
#include "pairing/pairing_server.h"

using namespace zentro;

extern "C" {

ZENTRO_API int32_t ZENTRO_CALL Zentro_GetPCQRGeneratorImage(const char* imagePath, int32_t unused) {
    return api::guarded(-1, [&] { return pairing::writePairingImage(imagePath); });
}

} // extern "C"
