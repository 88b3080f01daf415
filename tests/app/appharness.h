#ifndef MALVORANT_TESTS_APPHARNESS_H
#define MALVORANT_TESTS_APPHARNESS_H

#include "dbman.h"
#include "ecgrecords.h"
#include "fileman.h"
#include "patientman.h"
#include "qmlinterface.h"
#include "qmlitems.h"
#include "settingsman.h"
#include "sqlquerymodel.h"
#include "uifont.h"
#include "updateandterms.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>

#include <cmath>
#include <ctime>
#include <memory>

// The program as main builds it, in one test process: folders in a temporary
// directory, the bridge, the list models and main.qml. Every QML warning and
// every warning message of the process is collected, so a test can demand
// that there is none.
class AppHarness
{
public:
    AppHarness()
    {
        qputenv("MALVORANT_PUBLIC_DOCUMENTS", QFile::encodeName(m_tmp.filePath("Public")));
        qputenv("ALLUSERSPROFILE", QFile::encodeName(m_tmp.filePath("ProgramData")));
        // No installer of the machine is ever offered to a test.
        qputenv("MALVORANT_INSTALLER_DIR", QFile::encodeName(m_tmp.filePath("installers")));
        s_previous = qInstallMessageHandler(&AppHarness::collect);
    }

    ~AppHarness()
    {
        m_engine.reset();
        m_bridge.reset();
        delete m_model1;
        delete m_model2;
        qInstallMessageHandler(s_previous);
    }

    bool isValid() const { return m_tmp.isValid(); }

    // One bridge per process: it creates the process-wide logger.
    CQmlInterface& bridge()
    {
        if (!m_bridge) {
            m_bridge = std::make_unique<CQmlInterface>();
            m_model1 = new CSqlQueryModel();
            m_model2 = new CSqlQueryModel();
            m_bridge->setDataModel(m_model1, 1);
            m_bridge->setDataModel(m_model2, 2);
            m_bridge->setAppPath(QCoreApplication::applicationDirPath());
        }
        return *m_bridge;
    }

    // Loads main.qml as the program does; the root window, or null.
    QQuickWindow* load()
    {
        unload();
        m_engine = std::make_unique<QQmlApplicationEngine>();
        m_engine->setOutputWarningsToStandardError(false);
        QObject::connect(m_engine.get(), &QQmlEngine::warnings, [](const QList<QQmlError>& list) {
            for (const QQmlError& e : list)
                warnings().append(e.toString());
        });
        QQmlContext* context = m_engine->rootContext();
        context->setContextProperty("workingDirectory",
                                    QUrl::fromLocalFile(QCoreApplication::applicationDirPath()));
        context->setContextProperty("cQmlInterface", &bridge());
        context->setContextProperty("dataModel1", m_model1);
        context->setContextProperty("dataModel2", m_model2);
        useCarriedUiFont();
        m_engine->load(QUrl("qrc:/qml/win/main.qml"));
        if (m_engine->rootObjects().isEmpty())
            return nullptr;
        return qobject_cast<QQuickWindow*>(m_engine->rootObjects().first());
    }

    // Loads main.qml for a returning user, whose terms are accepted, and
    // waits for the start's set-up; the root window, or null.
    QQuickWindow* loadReturningUser()
    {
        bridge().settingsMan()->tucAccepted = 1;
        QQuickWindow* window = load();
        if (window && !waitFor([&] { return bridge().updateAndTerms().setupCount() > 0; }))
            return nullptr;
        return window;
    }

    void unload() { m_engine.reset(); }

    QQmlApplicationEngine* engine() const { return m_engine.get(); }

    // Lets queued work run (Qt.callLater, bindings) until done() or the time is up.
    template <class Done>
    static bool waitFor(Done done, int ms = 5000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return done();
    }

    static QStringList& warnings()
    {
        static QStringList list;
        return list;
    }

    // The warnings of the program's QML (they name a qrc: file), for tests
    // whose peers make the process itself warn.
    static QStringList qmlWarnings()
    {
        QStringList out;
        for (const QString& w : warnings())
            if (w.contains(QLatin1String("qrc:/")))
                out << w;
        return out;
    }

    // The first column of the first row of a query on the program's database,
    // values bound in order; invalid when it fails or finds no row.
    QVariant dbValue(const QString& sql, const QVariantList& values = {})
    {
        QSqlQuery q(*bridge().dbMan()->database());
        q.prepare(sql);
        for (const QVariant& v : values)
            q.addBindValue(v);
        if (!q.exec() || !q.next())
            return QVariant();
        return q.value(0);
    }

    // A patient with every field the top area shows, made current.
    int makePatient()
    {
        CPatientMan& p = *bridge().patientMan();
        const std::int64_t birth = 1577836800; // 1 Jan 2020
        return p.createPatient("Bella", "P-1042", "Anna", "Lindqvist", 2, 4, 23.5f, 0,
                               "Labrador Retriever", birth, QString(), QString());
    }

    // A recording of n seconds for the patient, of a synthetic sinus rhythm,
    // whose first leadIn samples carry the lead-in type, of the species code
    // (2 canine). Returns its ecgId.
    int makeRecording(int patientId, int seconds, int leadIn = 2499, int species = 2)
    {
        CFileMan& f = *bridge().fileMan();
        if (!f.ecgFileCreate(patientId, "Bella", "Anna", "Lindqvist", "P-1042", 0, species, 4, QString()))
            return -1;
        const int n = seconds * 500;
        for (int i = 0; i < n; ++i) {
            EcgStreamSample s{};
            const double t = (i % 400) / 400.0;
            const double v = 900.0 * std::exp(-std::pow((t - 0.3) / 0.012, 2))
                             + 120.0 * std::exp(-std::pow((t - 0.55) / 0.05, 2));
            s.leadI = static_cast<float>(v * 0.6);
            s.leadII = static_cast<float>(v);
            s.type = i < leadIn ? 45 : 0;
            f.addEntry(s);
        }
        if (!f.ecgFileCreateEnd())
            return -1;
        return f.currentEcgId();
    }

private:
    static void collect(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (type != QtDebugMsg && type != QtInfoMsg)
            warnings().append(text);
        if (s_previous)
            s_previous(type, context, text);
    }

    static inline QtMessageHandler s_previous = nullptr;
    QTemporaryDir m_tmp;
    std::unique_ptr<CQmlInterface> m_bridge;
    CSqlQueryModel* m_model1 = nullptr;
    CSqlQueryModel* m_model2 = nullptr;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
};

// The first dialog of the window that is open and, unless title is null,
// has that title; null when there is none.
inline QObject* visibleDialog(QQuickWindow* window, const QString& title = QString())
{
    for (QObject* o : window->findChildren<QObject*>()) {
        if (o->inherits("QQuickDialog") && o->property("visible").toBool()
            && (title.isNull() || o->property("title").toString() == title))
            return o;
    }
    return nullptr;
}

// Closes every open dialog of the window.
inline void closeVisibleDialogs(QQuickWindow* window)
{
    for (QObject* o : window->findChildren<QObject*>()) {
        if (o->inherits("QQuickDialog") && o->property("visible").toBool())
            QMetaObject::invokeMethod(o, "close");
    }
    QCoreApplication::processEvents();
}

// Runs the body with TZ set to zone, then puts the old zone back.
template <class Body>
void inTimeZone(const QByteArray& zone, Body body)
{
    const QByteArray old = qgetenv("TZ");
    const bool had = qEnvironmentVariableIsSet("TZ");
    qputenv("TZ", zone);
    tzset();
    body();
    if (had)
        qputenv("TZ", old);
    else
        qunsetenv("TZ");
    tzset();
}

#endif
