#ifndef MALVORANT_SYSTEMBROWSER_H
#define MALVORANT_SYSTEMBROWSER_H

class QUrl;

namespace platform {

// Hands a web address to the desktop's own browser; false when the desktop
// has none or refused it.
bool openInSystemBrowser(const QUrl& url);

} // namespace platform

#endif
