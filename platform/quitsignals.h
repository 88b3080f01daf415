#ifndef MALVORANT_QUITSIGNALS_H
#define MALVORANT_QUITSIGNALS_H

namespace platform {

// The system asks the program to end (SIGTERM, SIGHUP at logout, SIGINT):
// the application quits through its event loop, so aboutToQuit runs and a
// recording in progress is finished. Call once, after the application object.
// False when the handlers could not be installed.
bool quitOnTerminateSignals();

} // namespace platform

#endif
