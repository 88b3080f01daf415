#include "startfailure.h"

#include <QApplication>
#include <QMessageBox>
#include <QtDebug>

bool hasDisplay()
{
    // Offscreen and minimal draw into memory only: a box there is never
    // seen, and waiting for its answer would keep the start from ending.
    const QString platform = QGuiApplication::platformName();
    return !platform.isEmpty() && platform != QLatin1String("offscreen")
           && platform != QLatin1String("minimal");
}

void showStartFailure(const QString& message)
{
    qCritical().noquote() << message;
    // Only a widgets application can show the box (a test's core
    // application has no window system).
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()) || !hasDisplay())
        return;
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kStartFailureTitle), message,
                    QMessageBox::Ok);
    box.setObjectName(QStringLiteral("startFailure"));
    box.exec();
}
