#include "startfailure.h"

#include <QApplication>
#include <QMessageBox>
#include <QtDebug>

void showStartFailure(const QString& message)
{
    qCritical().noquote() << message;
    // Only a widgets application can show the box (a test's core
    // application has no window system).
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kStartFailureTitle), message,
                    QMessageBox::Ok);
    box.setObjectName(QStringLiteral("startFailure"));
    box.exec();
}
