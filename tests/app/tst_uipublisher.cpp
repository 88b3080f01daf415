// What the bridge publishes about the current patient and recording, the
// display states, and the lead-in a shown recording starts with.

#include "appharness.h"
#include "qmlchartpublisher.h"
#include "commalocale.h"
#include "ecgchart.h"
#include "isolatedhome.h"
#include "qmlitems.h"
#include "qmlmodule.h"
#include "settingsman.h"
#include "uipublisher.h"
#include "uitexts.h"
#include "updateandterms.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QtQml/qqmlmoduleregistration.h>
#include <QtTest>

#include <ctime>

static IsolatedHome isolatedHome;
static const QQmlModuleRegistration malvorantModule("Malvorant", qml_register_types_Malvorant);

using qml::Item;

namespace {

constexpr std::int64_t kDay = 86400;

} // namespace

class UiDataStandIn : public QObject
{
    Q_OBJECT
public slots:
    void setUiDefsObject(QObject*) {}
    void setUiDataObject(QObject*) {}
    int getOsType() { return 0; }
    void setupCompleted() {}
    int getUiDataEcgModeValue() { return 1; }
    double getUiDataGainValue() { return 10.0; }
    double getUiDataSpeedValue() { return 25.0; }
};

class TstUiPublisher : public QObject
{
    Q_OBJECT

    AppHarness m_app;
    QQuickWindow* m_window = nullptr;
    int m_patientId = -1;

    QObject* uiData() { return m_app.bridge().items().object(Item::UiData); }
    QVariant ui(const char* name) { return uiData()->property(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(isolatedHome.isValid());
        m_window = m_app.load();
        QVERIFY(m_window);
        QVERIFY(AppHarness::waitFor([&] { return m_app.bridge().updateAndTerms().setupCount() > 0; }));
        m_patientId = m_app.makePatient();
        QVERIFY(m_patientId > 0);
    }

    void genderTexts_data()
    {
        QTest::addColumn<int>("sex");
        QTest::addColumn<QString>("text");
        QTest::newRow("1") << 1 << "Male";
        QTest::newRow("2") << 2 << "Female";
        QTest::newRow("3") << 3 << "Male, Neutered";
        QTest::newRow("4") << 4 << "Female, Spayed";
        QTest::newRow("5") << 5 << "Not Specified";
        QTest::newRow("0") << 0 << "Unknown";
        QTest::newRow("6") << 6 << "Unknown";
        QTest::newRow("-1") << -1 << "Unknown";
    }

    void genderTexts()
    {
        QFETCH(int, sex);
        QFETCH(QString, text);
        QCOMPARE(uitexts::gender(sex), text);
    }

    void ageTexts_data()
    {
        QTest::addColumn<qint64>("daysOld");
        QTest::addColumn<QString>("text");
        QTest::newRow("7 years 3 months") << qint64(7 * 365 + 95) << "7Y3M";
        QTest::newRow("newborn") << qint64(0) << "0Y0M";
        QTest::newRow("one year") << qint64(365) << "1Y0M";
        QTest::newRow("29 days") << qint64(29) << "0Y0M";
        QTest::newRow("30 days") << qint64(30) << "0Y1M";
        // 360 to 364 days would read 12 months.
        QTest::newRow("360 days") << qint64(360) << "0Y11M";
        QTest::newRow("364 days") << qint64(364) << "0Y11M";
        QTest::newRow("2 years 364 days") << qint64(2 * 365 + 364) << "2Y11M";
    }

    void ageTexts()
    {
        QFETCH(qint64, daysOld);
        QFETCH(QString, text);
        const std::int64_t now = 1733000000;
        QCOMPARE(uitexts::age(now - daysOld * kDay - 100, now), text);
    }

    void noBirthTimeNoAge()
    {
        QCOMPARE(uitexts::age(0, 1733000000), QString());
    }

    void weightTexts_data()
    {
        QTest::addColumn<float>("weight");
        QTest::addColumn<bool>("pound");
        QTest::addColumn<QString>("text");
        QTest::newRow("kilograms") << 23.5f << false << "23.5Kg";
        QTest::newRow("pounds") << 51.8f << true << "51.8Lb";
        QTest::newRow("whole") << 100.0f << false << "100Kg";
        QTest::newRow("six digits") << 12.345678f << true << "12.3457Lb";
        QTest::newRow("large") << 1234567.0f << false << "1.23457e+06Kg";
        QTest::newRow("none") << 0.0f << true << "";
    }

    void weightTexts()
    {
        QFETCH(float, weight);
        QFETCH(bool, pound);
        QFETCH(QString, text);
        QCOMPARE(uitexts::weight(weight, pound), text);
    }

    void qvlStatusTexts_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        const char* texts[] = {"unfiled",    "started",         "sending",   "received",
                               "receipt failure", "in process", "needs attention", "cancelled",
                               "completed",  "pending upload"};
        for (int i = 0; i < 10; ++i)
            QTest::newRow(qPrintable(QString::number(i))) << i << texts[i];
        QTest::newRow("10") << 10 << "initializing";
        QTest::newRow("-1") << -1 << "initializing";
    }

    void qvlStatusTexts()
    {
        QFETCH(int, status);
        QFETCH(QString, text);
        QCOMPARE(uitexts::qvlCaseStatus(status), text);
    }

    // The stored stamps already hold local wall-clock seconds: the published
    // date and time are the same whatever zone the machine is in, and the
    // month names are the C locale's.
    void datesUnderTwoTimeZones_data()
    {
        QTest::addColumn<qint64>("stamp");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::newRow("morning") << qint64(1704103200) << "01-Jan-2024" << "10:00:00";
        QTest::newRow("before midnight") << qint64(1709940599) << "08-Mar-2024" << "23:29:59";
        QTest::newRow("after midnight") << qint64(1719792001) << "01-Jul-2024" << "00:00:01";
        QTest::newRow("end of year") << qint64(1735689599) << "31-Dec-2024" << "23:59:59";
    }

    void datesUnderTwoTimeZones()
    {
        QFETCH(qint64, stamp);
        QFETCH(QString, date);
        QFETCH(QString, time);
        for (const char* zone : {"Europe/Berlin", "America/Los_Angeles"}) {
            inTimeZone(zone, [&] {
                QCOMPARE(uitexts::fileDate(stamp), date);
                QCOMPARE(uitexts::timeOfDay(stamp), time);
            });
        }
        CommaLocale german;
        QCOMPARE(uitexts::fileDate(stamp), date);
    }

    void patientIsPublished()
    {
        m_app.bridge().selectNShowPatient(m_patientId, -1);
        QCOMPARE(ui("patientName").toString(), QStringLiteral("Bella"));
        QCOMPARE(ui("patientId").toInt(), m_patientId);
        QCOMPARE(ui("patientExtId").toString(), QStringLiteral("P-1042"));
        QCOMPARE(ui("patientFirstLast").toString(), QStringLiteral("Anna Lindqvist"));
        QCOMPARE(ui("patientBreed").toString(), QStringLiteral("Labrador Retriever"));
        QCOMPARE(ui("patientGender").toString(), QStringLiteral("Female, Spayed"));
        QCOMPARE(ui("patientWeight").toString(), QStringLiteral("23.5Kg"));
        QVERIFY(ui("patientAge").toString().contains(QRegularExpression("^\\d+Y\\d{1,2}M$")));
        QVERIFY(!ui("patientSpecies").toString().isEmpty());

        // Without an owner first name there is no leading blank.
        m_app.bridge().patientMan()->ownerFirst.clear();
        m_app.bridge().setUiDataPatient();
        QCOMPARE(ui("patientFirstLast").toString(), QStringLiteral("Lindqvist"));
    }

    void displayStates_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("live");
        QTest::newRow("0 assigned recording") << 0 << false;
        QTest::newRow("1 streaming") << 1 << true;
        QTest::newRow("2 recording") << 2 << true;
        QTest::newRow("3 no recording") << 3 << false;
        QTest::newRow("4 unassigned recording") << 4 << true;
    }

    void displayStates()
    {
        QFETCH(int, state);
        QFETCH(bool, live);
        m_app.bridge().setUiDataDisplayState(state);
        QCOMPARE(ui("displayState").toInt(), state);
        QCOMPARE(ui("isStreamingView").toBool(), live);
        QCOMPARE(m_app.bridge().publisher().isLiveView(), live);
    }

    // Binding UiData republishes: no recording shows state 3, one shows 0.
    void bindingUiDataRepublishesTheState()
    {
        QObject* item = uiData();
        m_app.bridge().selectNShowPatient(m_patientId, -1);
        QCOMPARE(m_app.bridge().fileMan()->currentEcgId(), -1);
        m_app.bridge().setUiDataDisplayState(0);
        m_app.bridge().setUiDataObject(item);
        QCOMPARE(ui("displayState").toInt(), 3);
        QCOMPARE(ui("dicomEnabled").toBool(), true);
        // Nothing to print without a recording.
        QCOMPARE(ui("saveToPdfEnabled").toBool(), false);

        const int ecgId = m_app.makeRecording(m_patientId, 6);
        QVERIFY(ecgId > 0);
        m_app.bridge().selectNShowPatient(m_patientId, ecgId);
        m_app.bridge().setUiDataDisplayState(0);
        m_app.bridge().setUiDataObject(item);
        QCOMPARE(ui("displayState").toInt(), 0);
        QCOMPARE(ui("saveToPdfEnabled").toBool(), true);
        // The monitor shows no stored recording: off; back on when it stops.
        m_app.bridge().setUiDataDisplayState(1);
        QCOMPARE(ui("saveToPdfEnabled").toBool(), false);
        m_app.bridge().setUiDataDisplayState(0);
        QCOMPARE(ui("saveToPdfEnabled").toBool(), true);
    }

    // A live state set before UiData existed comes back as streaming.
    void liveStateBeforeUiDataIsStreaming()
    {
        CQmlInterface& bridge = m_app.bridge();
        const EngineParts engine{&bridge.folders(), bridge.dbMan(), bridge.settingsMan(),
                                 bridge.patientMan(), bridge.fileMan()};
        QmlItems items;
        QmlChartPublisher chartPublisher(items);
        EcgChart chart(bridge.settingsMan(), bridge.fileMan(), &chartPublisher);
        UiPublisher publisher(items, engine, chart);
        publisher.setDisplayState(2);

        QQmlEngine qmlEngine;
        UiDataStandIn standIn;
        qmlEngine.rootContext()->setContextProperty("cQmlInterface", &standIn);
        QQmlComponent component(&qmlEngine);
        component.setData("import QtQuick\nItem { property QtObject d: d_\n UiDefs { id: e_ }\n"
                          " UiData { id: d_; defs: e_ }\n}\n",
                          QUrl("qrc:/qml/win/pair.qml"));
        std::unique_ptr<QObject> pair(component.create());
        QVERIFY2(pair, qPrintable(component.errorString()));
        QObject* fresh = pair->property("d").value<QObject*>();
        publisher.uiDataBound(fresh);
        QCOMPARE(fresh->property("displayState").toInt(), 1);
        QCOMPARE(publisher.displayState(), 1);
    }

    void recordingIsPublished()
    {
        CFileMan& files = *m_app.bridge().fileMan();
        const int ecgId = m_app.makeRecording(m_patientId, 6);
        m_app.bridge().selectNShowPatient(m_patientId, ecgId);
        const std::int64_t t = files.currentEcgTime();
        QVERIFY(t != 0);
        QCOMPARE(ui("fileName").toString(), files.currentFileName());
        QCOMPARE(ui("fileDate").toString(), uitexts::fileDate(t));
        QCOMPARE(ui("fileTimeCurrent").toString(), uitexts::timeOfDay(t));
        QCOMPARE(ui("fileCount").toInt(), files.patientFileCount());
        QVERIFY(ui("fileCount").toInt() >= 2);
        QCOMPARE(ui("fileQVLCaseStatus").toString(), QStringLiteral("unfiled"));

        // 1,000 entries are two seconds.
        m_app.bridge().setUiDataFilePosition(1000);
        QCOMPARE(ui("fileTimeCurrent").toString(), uitexts::timeOfDay(t + 2));

        QVERIFY(files.setQvlCaseStatus(ecgId, "SENDING"));
        m_app.bridge().selectNShowPatient(m_patientId, ecgId);
        QCOMPARE(ui("fileQVLCaseStatus").toString(), QStringLiteral("sending"));
    }

    void leadIn_data()
    {
        QTest::addColumn<int>("leadInSamples");
        QTest::addColumn<int>("expected");
        QTest::newRow("none") << 0 << 0;
        QTest::newRow("ends at entry 8") << 8 << 0;
        QTest::newRow("ends at entry 9") << 9 << 0;
        QTest::newRow("ends at entry 10") << 10 << 12;
        QTest::newRow("ends at entry 1000") << 1000 << 1002;
        QTest::newRow("ends at entry 2499") << 2499 << 2501;
        QTest::newRow("reaches entry 2499") << 2500 << 2501;
        QTest::newRow("longer than looked at") << 2800 << 2501;
    }

    // A recording as the lead-in ring leaves it: its first samples carry the
    // lead-in type; showing it measures them and redraws the chart.
    void leadIn()
    {
        QFETCH(int, leadInSamples);
        QFETCH(int, expected);
        const int ecgId = m_app.makeRecording(m_patientId, 7, leadInSamples);
        QVERIFY(ecgId > 0);
        QObject* chart = m_app.bridge().items().object(Item::EcgChart);
        QSignalSpy init(chart, SIGNAL(qmlInitEcgData()));
        QSignalSpy refresh(chart, SIGNAL(qmlRefreshEcgData()));
        m_app.bridge().selectNShowPatient(m_patientId, ecgId);
        QCOMPARE(measureLeadIn(m_app.bridge().fileMan()->ecgBuffer()), expected);
        QCOMPARE(init.size(), 1);
        QCOMPARE(refresh.size(), 1);
        QCOMPARE(ui("saveToPdfEnabled").toBool(), true);
    }

    // With no recording shown there is nothing to measure.
    void leadInWithoutRecording()
    {
        CEcgBuffer empty;
        QCOMPARE(measureLeadIn(empty), 0);
    }

    void noWarnings()
    {
        QVERIFY2(AppHarness::warnings().isEmpty(), qPrintable(AppHarness::warnings().join('\n')));
    }
};

QTEST_MAIN(TstUiPublisher)
#include "tst_uipublisher.moc"
