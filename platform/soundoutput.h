#ifndef MALVORANT_SOUNDOUTPUT_H
#define MALVORANT_SOUNDOUTPUT_H

namespace platform {

// Whether the machine has a sound server to play through: one is named in
// PULSE_SERVER, or the PulseAudio socket of the session or of the system
// takes a connection. Asked without the multimedia module, which warns on
// every machine without sound.
bool soundOutputAvailable();

} // namespace platform

#endif
