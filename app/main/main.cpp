#include "embeddedbrowser.h"
#include "largeblocks.h"
#include "qmlinterface.h"
#include "qmlmodule.h"
#include "quitsignals.h"
#include "sqlquerymodel.h"
#include "startfailure.h"
#include "startup.h"
#include "uifont.h"

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
    platform::returnLargeBlocksToSystem();
    prependExeDirToPath();

    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QT_WARNING_POP
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QQuickWindow::setGraphicsApi(QSGRendererInterface::OpenGL);
    // The in-application browser's engine loads with its first page: the two
    // settings above are all it needs before the application object, so the
    // live view does not carry it.
    platform::prepareEmbeddedBrowser();

    // Quietly: a second start just brings nothing up.
    if (isAnotherInstanceRunning())
        return 0;

    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QT_WARNING_POP
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);

    // The scene graph packs small images (the icons) into one texture sized
    // for the window: 2048 x 1024, 8 MB at 1280 x 800, of which the icons use
    // a corner. 512 x 512 holds them; an image that does not fit gets a
    // texture of its own, so nothing looks different.
    if (!qEnvironmentVariableIsSet("QSG_ATLAS_WIDTH") && !qEnvironmentVariableIsSet("QSG_ATLAS_HEIGHT")) {
        qputenv("QSG_ATLAS_WIDTH", "512");
        qputenv("QSG_ATLAS_HEIGHT", "512");
    }

    QApplication app(argc, argv);
    platform::quitOnTerminateSignals();

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

    // The lists of the user interface; QML sets their queries. They live until
    // the process ends.
    auto* dataModel1 = new CSqlQueryModel();
    auto* dataModel2 = new CSqlQueryModel();
    engine.rootContext()->setContextProperty(QStringLiteral("dataModel1"), dataModel1);
    engine.rootContext()->setContextProperty(QStringLiteral("dataModel2"), dataModel2);
    bridge.setDataModel(dataModel1, 1);
    bridge.setDataModel(dataModel2, 2);

    bridge.setAppPath(appDir);
    // After the bridge, whose logger notes a font that could not be loaded.
    useCarriedUiFont();

    engine.load(QUrl(QStringLiteral("qrc:/qml/win/main.qml")));
    if (engine.rootObjects().isEmpty()) {
        showStartFailure(QStringLiteral("The program's window could not be loaded. The program stops."));
        return -1;
    }

    return app.exec();
}
