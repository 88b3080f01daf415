#include "debuglog.h"
#include "isolatedhome.h"
#include "qmlinterface.h"
#include "qmlmodule.h"

#include <QDir>
#include <QFileInfo>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QtQml/qqmlmoduleregistration.h>
#include <QtTest>

#include <memory>

static IsolatedHome isolatedHome;
static const QQmlModuleRegistration malvorantModule("Malvorant", qml_register_types_Malvorant);

// One bridge per process, as in the program: it creates the process-wide logger.
class TstQmlInterface : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    std::unique_ptr<CQmlInterface> m_bridge;

private slots:
    void initTestCase()
    {
        QVERIFY(isolatedHome.isValid());
        QVERIFY(m_tmp.isValid());
        qputenv("MALVORANT_PUBLIC_DOCUMENTS", QFile::encodeName(m_tmp.filePath("Public")));
        qputenv("ALLUSERSPROFILE", QFile::encodeName(m_tmp.filePath("ProgramData")));
        m_bridge = std::make_unique<CQmlInterface>();
    }

    void constructionBringsUpFoldersAndLogger()
    {
        const QString data = m_tmp.filePath("Public/MalvorantData/");
        QCOMPARE(m_bridge->folders().dataFolder, data);
        QVERIFY(QFileInfo(data + "tmp").isDir());

        const QString logs = m_tmp.filePath("ProgramData/Malvorant/logs");
        QCOMPARE(m_bridge->folders().logFolder, logs);
        QVERIFY(g_pDebugLog);
        QCOMPARE(g_pDebugLog->level(), 1);
        QCOMPARE(QString::fromStdString(g_pDebugLog->path()), logs + "/malvorantlog");
        QVERIFY(QFileInfo::exists(logs + "/malvorantlog"));
        QVERIFY(QFileInfo::exists(logs + "/malvorantlog.error"));
        QVERIFY(m_bridge->firstUpdate());
    }

    void dataModels_data()
    {
        QTest::addColumn<int>("idx");
        QTest::addColumn<int>("slot");
        QTest::newRow("1") << 1 << 1;
        QTest::newRow("2") << 2 << 2;
        QTest::newRow("0 is model 2") << 0 << 2;
        QTest::newRow("3 is model 2") << 3 << 2;
    }

    void dataModels()
    {
        QFETCH(int, idx);
        QFETCH(int, slot);
        QObject model;
        m_bridge->setDataModel(nullptr, 1);
        m_bridge->setDataModel(nullptr, 2);
        m_bridge->setDataModel(&model, idx);
        QCOMPARE(m_bridge->dataModel(slot), &model);
        QCOMPARE(m_bridge->dataModel(slot == 1 ? 2 : 1), nullptr);
        m_bridge->setDataModel(nullptr, slot);
    }

    void mainQmlLoadsAWindow()
    {
        QQmlApplicationEngine engine;
        engine.rootContext()->setContextProperty("cQmlInterface", m_bridge.get());
        engine.load(QUrl("qrc:/qml/win/main.qml"));
        QCOMPARE(engine.rootObjects().size(), 1);
        auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().first());
        QVERIFY(window);
        QCOMPARE(window->title(), QStringLiteral("Malvorant"));
        const QList<QObject*> children = window->findChildren<QObject*>();
        QVERIFY(std::any_of(children.begin(), children.end(), [](QObject* o) {
            return QByteArray(o->metaObject()->className()).startsWith("UiData");
        }));
    }

    void moduleIsRegisteredAtItsVersion_data()
    {
        QTest::addColumn<QByteArray>("import");
        QTest::addColumn<bool>("loads");
        QTest::newRow("8.0") << QByteArray("import Malvorant 8.0") << true;
        QTest::newRow("no version") << QByteArray("import Malvorant") << true;
        QTest::newRow("9.0") << QByteArray("import Malvorant 9.0") << false;
    }

    void moduleIsRegisteredAtItsVersion()
    {
        QFETCH(QByteArray, import);
        QFETCH(bool, loads);
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData(import + "\nimport QtQml\nQtObject {}\n", QUrl("qrc:/probe.qml"));
        QCOMPARE(component.isReady(), loads);
    }
};

QTEST_MAIN(TstQmlInterface)
#include "tst_qmlinterface.moc"
