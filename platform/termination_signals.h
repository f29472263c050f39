#pragma once

namespace zfe::platform {

// Catches the requests to end the program that arrive as signals (SIGTERM,
// SIGINT) so that the program can end as if its windows were closed: a capture
// that runs is stopped and its temporary file removed. Returns a descriptor
// that becomes readable once such a signal has arrived, for the event loop to
// watch, or -1 where the platform has none (Windows, where the windows receive
// these requests themselves). Only the first signal is caught: a second one
// ends the program at once, as the signal would without this. Later calls
// return the same descriptor.
int watchTerminationSignals();

}  // namespace zfe::platform
