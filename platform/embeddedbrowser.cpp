#include "embeddedbrowser.h"

#include <QByteArray>
#include <QtGlobal>

#include <unistd.h>

namespace platform {

void prepareEmbeddedBrowser()
{
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", QByteArray("1"));
}

} // namespace platform
