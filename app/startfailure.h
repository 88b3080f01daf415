#ifndef MALVORANT_STARTFAILURE_H
#define MALVORANT_STARTFAILURE_H

#include <QString>

// A failure that stops the program at start reaches the person at the
// screen: the message goes to the error output and, when the program has a
// display, into a message box that waits for the user before the program
// ends. Returns when the box is closed (or at once without a display).
void showStartFailure(const QString& message);

// Whether the program's windows can be seen: false for the offscreen and
// minimal platforms, and before the application object exists.
bool hasDisplay();

// Title of that message box.
inline constexpr char kStartFailureTitle[] = "Malvorant cannot start";

#endif
