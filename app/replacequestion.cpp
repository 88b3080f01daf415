#include "replacequestion.h"

#include "debuglog.h"
#include "qmlitems.h"

#include <QDir>
#include <QFileInfo>

using namespace qml;

ReplaceQuestion::ReplaceQuestion(QmlItems& items) : m_items(items) {}

void ReplaceQuestion::ask(Kind kind, const QUrl& folder, const QString& path)
{
    debugLog(2, "CQmlInterface: asking whether to replace " + path.toStdString());
    m_pending = Agreed{kind, folder, path};
    const QFileInfo info(path);
    m_items.invoke<C::QmlAlertBoxReplaceFile>(info.fileName(), QDir::toNativeSeparators(info.absolutePath()));
}

std::optional<ReplaceQuestion::Agreed> ReplaceQuestion::answer(bool replace)
{
    std::optional<Agreed> pending;
    pending.swap(m_pending);
    if (!pending) {
        debugLogError("CQmlInterface::answerReplaceFile() no question is open");
        return std::nullopt;
    }
    debugLog(2, std::string("CQmlInterface::answerReplaceFile() replace=") + (replace ? "1" : "0") + ", "
                    + pending->path.toStdString());
    if (!replace)
        return std::nullopt;
    return pending;
}
