// Loaded into the real program by the tests that start it (LD_PRELOAD, see
// programrun.h): every message box the program shows is written with its
// title and text to the file MALVORANT_WINDOW_PROBE names (standard error
// when it names none), one line "WINDOW <title> | <text>", and then answered
// with its OK button, so a start that waits for the user goes on to its end.
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>

namespace {

void report(const QMessageBox& box)
{
    const QByteArray line = "WINDOW " + box.windowTitle().toUtf8() + " | " + box.text().toUtf8() + '\n';
    const QString out = qEnvironmentVariable("MALVORANT_WINDOW_PROBE");
    QFile file(out);
    if (!out.isEmpty() && file.open(QIODevice::Append)) {
        file.write(line);
        return;
    }
    std::fputs(line.constData(), stderr);
    std::fflush(stderr);
}

void lookForBoxes()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box || !box->isVisible() || box->property("probeReported").toBool())
            continue;
        box->setProperty("probeReported", true);
        report(*box);
        box->done(QMessageBox::Ok);
    }
}

void startWatching()
{
    // Started from the event loop: the application is whole by then.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [] {
            auto* timer = new QTimer(QCoreApplication::instance());
            QObject::connect(timer, &QTimer::timeout, &lookForBoxes);
            timer->start(50);
        },
        Qt::QueuedConnection);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startWatching)
