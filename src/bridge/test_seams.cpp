#include "bridge/test_seams.h"

namespace zentro::bridge {

void resetBridgeForTests() {
    resetUsbListForTests();
    resetRunnerForTests();
}

} // namespace zentro::bridge
