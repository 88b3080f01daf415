#ifndef MALVORANT_EMBEDDEDBROWSER_H
#define MALVORANT_EMBEDDEDBROWSER_H

namespace platform {

// Prepares the process for the in-application browser's engine; call before
// the application object exists. The engine refuses to start its sandbox for
// the superuser and ends the whole process instead: then it runs without one.
void prepareEmbeddedBrowser();

} // namespace platform

#endif
