#include "platform/termination_signals.h"

namespace zfe::platform {

// A windowed program on Windows is asked to end through its windows
// (WM_CLOSE, WM_ENDSESSION), which close as the user would close them.
int watchTerminationSignals() {
    return -1;
}

}  // namespace zfe::platform
