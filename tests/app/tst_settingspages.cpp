// The settings page through the bridge: its initial values, the local
// addresses and the general values it stores.

#include "appharness.h"
#include "isolatedhome.h"
#include "qmlitems.h"
#include "qmlmodule.h"
#include "settingsman.h"
#include "updateandterms.h"

#include <QQmlComponent>
#include <QtQml/qqmlmoduleregistration.h>
#include <QtTest>

static IsolatedHome isolatedHome;
static const QQmlModuleRegistration malvorantModule("Malvorant", qml_register_types_Malvorant);

using qml::Item;

// The page's properties as the bridge writes them.
static const char kPage[] = R"(
import QtQuick
Item {
    property string initializerQvlUserName
    property string initializerQvlUserPwd
    property string initializerQvlUrl
    property int initializerQvlAccountVerified: -1
    property int initializerQvlAccountProblem: -1
    property int initializerPowerIs60Hz: -1
    property int initializerRecordingSeconds: -1
    property int initializerWeightUnitIsPound: -1
    property string initializerDcmLocalAe
    property int initializerDcmLocalPort: -1
    property string initializerDcmMwlAe
    property string initializerDcmMwlIp
    property int initializerDcmMwlPort: -1
    property string initializerDcmPacsAe
    property string initializerDcmPacsIp
    property int initializerDcmPacsPort: -1
    property string initializerDcmInstName
    property string initializerDcmLocalIpAddress: "unset"
    signal qmlStreamsRetrieved(int maxIdx, int currentIdx)
}
)";

class TstSettingsPages : public QObject
{
    Q_OBJECT

    AppHarness m_app;
    std::unique_ptr<QObject> m_page;

    CSettingsMan& settings() { return *m_app.bridge().settingsMan(); }
    QObject* uiData() { return m_app.bridge().items().object(Item::UiData); }

private slots:
    void initTestCase()
    {
        QVERIFY(isolatedHome.isValid());
        QVERIFY(m_app.load());
        QVERIFY(AppHarness::waitFor([&] { return m_app.bridge().updateAndTerms().setupCount() > 0; }));
        QQmlComponent component(m_app.engine());
        component.setData(kPage, QUrl("qrc:/qml/win/SettingsStandIn.qml"));
        m_page.reset(component.create());
        QVERIFY2(m_page, qPrintable(component.errorString()));
    }

    void cleanupTestCase()
    {
        m_app.bridge().setSettingsDrawerObject(nullptr);
        m_page.reset();
    }

    // Before the page is bound the address list goes nowhere.
    void addressesNeedThePage()
    {
        m_app.bridge().getCurrentIpAddress();
        QCOMPARE(m_page->property("initializerDcmLocalIpAddress").toString(), QString("unset"));
    }

    void pageShowsTheSettings()
    {
        CSettingsMan& s = settings();
        s.qvlUserName = "vet@clinic";
        s.qvlPwd = "secret";
        s.qvlUrl = "https://127.0.0.1:9/qvl";
        s.qvlAccountVerified = 1;
        s.powerIs60Hz = 0;
        s.recordingSeconds = 120;
        s.weightUnitIsPound = 1;
        s.dcmModalityName = "MALVORANT";
        s.dcmModalityPort = 11112;
        s.dcmMwlTitle = "WORKLIST";
        s.dcmMwlIp = "127.0.0.1";
        s.dcmMwlPort = 4242;
        s.dcmPacsTitle = "ORTHANC";
        s.dcmPacsIp = "127.0.0.2";
        s.dcmPacsPort = 4343;
        s.dcmInstitutionName = "Tierklinik Süd";
        s.inputType = 0;
        s.bzdevice = "Malvorant 6L 0042";
        m_app.bridge().setSettingsDrawerObject(m_page.get());
        const QList<QPair<const char*, QVariant>> expected = {
            {"initializerQvlUserName", "vet@clinic"}, {"initializerQvlUserPwd", "secret"},
            {"initializerQvlUrl", "https://127.0.0.1:9/qvl"}, {"initializerQvlAccountVerified", 1},
            {"initializerQvlAccountProblem", 0},
            {"initializerPowerIs60Hz", 0}, {"initializerRecordingSeconds", 120},
            {"initializerWeightUnitIsPound", 1}, {"initializerDcmLocalAe", "MALVORANT"},
            {"initializerDcmLocalPort", 11112}, {"initializerDcmMwlAe", "WORKLIST"},
            {"initializerDcmMwlIp", "127.0.0.1"}, {"initializerDcmMwlPort", 4242},
            {"initializerDcmPacsAe", "ORTHANC"}, {"initializerDcmPacsIp", "127.0.0.2"},
            {"initializerDcmPacsPort", 4343}, {"initializerDcmInstName", "Tierklinik Süd"}};
        for (const auto& e : expected)
            QCOMPARE(m_page->property(e.first), e.second);
        QCOMPARE(uiData()->property("inputDescriptiveName").toString(), QString("Malvorant 6L 0042"));

        m_app.bridge().getCurrentIpAddress();
        QCOMPARE(m_page->property("initializerDcmLocalIpAddress").toString(), s.listLocalIpv4Addresses());
    }

    // Another input type keeps the shown device name.
    void otherInputKeepsTheDeviceName()
    {
        uiData()->setProperty("inputDescriptiveName", "File input");
        settings().inputType = 1;
        settings().bzdevice = "Malvorant 6L 0099";
        m_app.bridge().setSettingsDrawerObject(m_page.get());
        QCOMPARE(uiData()->property("inputDescriptiveName").toString(), QString("File input"));
        settings().inputType = 0;
    }

    // The three values are stored; only a mains change filters the loaded
    // recording again.
    void generalValues_data()
    {
        QTest::addColumn<bool>("sixty");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<bool>("pound");
        QTest::addColumn<int>("filterMode"); // 0: left as it was
        QTest::newRow("to 60 Hz") << true << 60 << false << 2;
        QTest::newRow("weight unit only") << true << 60 << true << 0;
        QTest::newRow("seconds only") << true << 300 << true << 0;
        QTest::newRow("back to 50 Hz") << false << 300 << true << 1;
    }

    void generalValues()
    {
        QFETCH(bool, sixty);
        QFETCH(int, seconds);
        QFETCH(bool, pound);
        QFETCH(int, filterMode);
        CEcgBuffer& buffer = m_app.bridge().fileMan()->ecgBuffer();
        // A mode neither choice gives shows whether the filter was set again.
        buffer.setFilterOptions(0, true);
        m_app.bridge().updateUnclassifiedSettings(sixty, seconds, pound);
        QCOMPARE(buffer.getFilterMode(), filterMode);
        QCOMPARE(uiData()->property("recordingTime").toInt(), seconds);
        CSettingsMan& s = settings();
        s.powerIs60Hz = -1;
        s.recordingSeconds = -1;
        s.weightUnitIsPound = -1;
        QVERIFY(s.loadSettings());
        QCOMPARE(s.powerIs60Hz, sixty ? 1 : 0);
        QCOMPARE(s.recordingSeconds, seconds);
        QCOMPARE(s.weightUnitIsPound, pound ? 1 : 0);
    }
};

QTEST_MAIN(TstSettingsPages)
#include "tst_settingspages.moc"
