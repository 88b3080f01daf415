#include "qmlinterface.h"
#include "qmlmodule.h"
#include "startup.h"

#include <QApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickWindow>
#include <QSurfaceFormat>
#include <QUrl>
#include <QtQml/qqmlmoduleregistration.h>

static const QQmlModuleRegistration malvorantModule("Malvorant", qml_register_types_Malvorant);

int main(int argc, char* argv[])
{
    prependExeDirToPath();

    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QT_WARNING_POP
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QQuickWindow::setGraphicsApi(QSGRendererInterface::OpenGL);

    // Quietly: a second start just brings nothing up.
    if (isAnotherInstanceRunning())
        return 0;

    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QT_WARNING_POP
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);

    QApplication app(argc, argv);

    if (QCoreApplication::arguments().contains(QStringLiteral("--coreprofile"))) {
        QSurfaceFormat format;
        format.setVersion(4, 4);
        format.setProfile(QSurfaceFormat::CoreProfile);
        QSurfaceFormat::setDefaultFormat(format);
    }

    QCoreApplication::setOrganizationName(QStringLiteral("YARLO"));

    QQmlApplicationEngine engine;
    const QString appDir = QCoreApplication::applicationDirPath();
    engine.addImportPath(QStringLiteral("%1/../../../../%2").arg(appDir, QStringLiteral("qml/win")));
    engine.rootContext()->setContextProperty(QStringLiteral("workingDirectory"),
                                             QUrl::fromLocalFile(appDir));

    CQmlInterface bridge;
    engine.rootContext()->setContextProperty(QStringLiteral("cQmlInterface"), &bridge);

    // The two list models "dataModel1" and "dataModel2" join here with the store.

    bridge.setAppPath(appDir);

    engine.load(QUrl(QStringLiteral("qrc:/qml/win/main.qml")));
    if (engine.rootObjects().isEmpty())
        return -1;

    return app.exec();
}
