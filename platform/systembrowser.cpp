#include "systembrowser.h"

#include <QDesktopServices>
#include <QUrl>

namespace platform {

bool openInSystemBrowser(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

} // namespace platform
