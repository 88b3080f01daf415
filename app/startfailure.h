#ifndef MALVORANT_STARTFAILURE_H
#define MALVORANT_STARTFAILURE_H

#include <QString>

// A failure that stops the program at start reaches the person at the
// screen: the message goes to the error output and, when the program has a
// window system, into a message box that waits for the user before the
// program ends. Returns when the box is closed (or at once without one).
void showStartFailure(const QString& message);

// Title of that message box.
inline constexpr char kStartFailureTitle[] = "Malvorant cannot start";

#endif
