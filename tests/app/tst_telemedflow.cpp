// The telemedicine upload through the bridge with the real QML and the real
// client against the stand-in service on loopback: the account check and the
// account's state on the settings page, the upload button's decision, the
// upload with "Finish Later" and "Finish Now", the case address stored and
// opened, queueing, the alert of each failure, an upload cut off during
// AddFile going on in its case from the screen and from the queue, and the
// background failures told once per recording and reason.

#include "appharness.h"
#include "dbman.h"
#include "embeddedbrowser.h"
#include "isolatedhome.h"
#include "qmlitems.h"
#include "qmlmodule.h"
#include "qvlreplies.h"
#include "qvlcomm.h"
#include "qvlscheduler.h"
#include "qvlstandin.h"
#include "screenclicks.h"
#include "settingsman.h"
#include "telemedscreen.h"

#include <QApplication>
#include <QDesktopServices>
#include <QQuickItem>
#include <QSignalSpy>
#include <QQuickWindow>
#include <QSqlQuery>
#include <QtQml/qqmlmoduleregistration.h>
#include <QQuickItem>
#include <QtTest>

#include <map>

static IsolatedHome isolatedHome;
static const QQmlModuleRegistration malvorantModule("Malvorant", qml_register_types_Malvorant);

using qml::Item;

namespace {

// Takes the addresses the desktop's browser would be given.
class SystemBrowser : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

using Row = QvlCaseRow;

} // namespace

class TstTelemedFlow : public QObject
{
    Q_OBJECT

    AppHarness m_app;
    QQuickWindow* m_window = nullptr;
    QvlStandIn* m_server = nullptr;
    SystemBrowser m_systemBrowser;
    QString m_goodUrl;
    int m_patientId = -1;
    int m_ecgId = -1;

    // What the stand-in service does and saw.
    QList<QByteArray> m_ops;
    QByteArray m_faultOp;
    QString m_faultKind;
    QByteArray m_lastUser;
    quint16 m_lastPort = 0;
    QByteArray m_uploaded;
    int m_nextCase = 1;

    std::map<QByteArray, std::unique_ptr<QSignalSpy>> m_alerts;

    CQmlInterface& bridge() { return m_app.bridge(); }
    CSettingsMan& settings() { return *bridge().settingsMan(); }
    QObject* uiData() { return bridge().items().object(Item::UiData); }
    QVariant ui(const char* name) { return uiData()->property(name); }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void accountCheck_data();
    void accountCheck();
    void newCredentialsAreUnverifiedUntilAnswered();
    void uploadButtonDecides_data();
    void uploadButtonDecides();
    void finishLater();
    void finishNowOpensTheCasePage();
    void casePageFromTheRecordingList();
    void confirmedRecordingIsUploaded();
    void failureAlerts_data();
    void failureAlerts();
    void refusedRequestIsAlerted();
    void unverifiedAccountIsRefused();
    void queuedThenUploadedInTheBackground();
    void interruptedUploadGoesOnInItsCase_data();
    void interruptedUploadGoesOnInItsCase();
    void backgroundFailuresToldOncePerRecordingAndReason();
    void casePageAddresses_data();
    void casePageAddresses();
    void uploadSaysWhy_data();
    void uploadSaysWhy();
    void backgroundFailureTexts_data();
    void backgroundFailureTexts();
    void alertWaitsBehindAnOpenQuestion_data();
    void alertWaitsBehindAnOpenQuestion();

private:
    void serve(const StandInRequest& r);
    Row row(int ecgId) { return readCaseRow(bridge().dbMan()->database(), ecgId); }
    // The names of the alerts fired since the last call, and their arguments.
    QStringList fired(QList<QVariantList>* args = nullptr);
    bool waitForAlert(const QByteArray& name, int ms = 20000);
    bool waitIdle(int ms = 20000) { return waitQvlIdle(bridge(), ms); }
    void verifyAccount();
    int makeAssignedRecording(int seconds)
    {
        return ::makeAssignedRecording(m_app, m_patientId, seconds);
    }
    QQuickItem* openSettings() { return openSettingsView(m_window); }
    QString accountStateShown() { return qvlAccountStateShown(m_window); }
    // The alert dialog on screen with that title, null when none is open.
    QObject* openAlert(const QString& title) { return openAlertTitled(m_window, title); }
    // Every other recording out of the background queue.
    void settleOtherRecordings(const QList<int>& keep)
    {
        ::settleOtherRecordings(bridge().dbMan()->database(), keep);
    }
    // The alert dialog with that title once it is on screen, null when it does not come.
    QObject* alertOnScreen(const QString& title);
    // What an alert shows, for the eye of a test: title, text, informative text.
    static QString shownText(QObject* dialog);
    // The bottom bar's action button pressed, as a click does.
    void pressUpload();
    // The button of that text in "Start a Case", once it is on screen.
    bool answerStartCase(const QString& button);
    // Every alert on screen and waiting closed, unanswered.
    void dismissAlerts() { ::dismissAlerts(m_window); }
};

void TstTelemedFlow::initTestCase()
{
    QVERIFY(isolatedHome.isValid());
    m_window = m_app.load();
    QVERIFY(m_window);
    QVERIFY(AppHarness::waitFor([&] { return bridge().items().isBound(Item::BottomArea); }));

    // The background work is driven by calling its slots.
    bridge().qvlScheduler()->modifiedServicesTimer()->stop();
    bridge().qvlScheduler()->backgroundUploadTimer()->stop();

    m_server = new QvlStandIn(45, this);
    QVERIFY2(m_server->start(), qPrintable(m_server->errorText()));
    m_server->trust();
    m_goodUrl = m_server->url(true, QLatin1String(kPath));
    m_server->setKeepRequests(false);
    m_server->setOnRequest([this](const StandInRequest& r) { serve(r); });

    QDesktopServices::setUrlHandler("http", &m_systemBrowser, "open");
    QDesktopServices::setUrlHandler("https", &m_systemBrowser, "open");

    m_patientId = m_app.makePatient();
    QVERIFY(m_patientId > 0);
    m_ecgId = makeAssignedRecording(30);
    QVERIFY(m_ecgId > 0);

    QObject* bottom = bridge().items().object(Item::BottomArea);
    for (const char* signal :
         {"qmlAlertBoxNoNetwork(int,bool)", "qmlAlertBoxNoNetworkSync(int,bool)",
          "qmlAlertBoxQvlFileAlreadyUploaded(int)", "qmlAlertBoxQvlAskUpload(int)",
          "qmlAlertBoxQvlShortFileUpload(int)", "qmlAlertBoxQvlCommError(QString)",
          "qmlAlertBoxQvlUploadFailed(int,QString,QString,QString,bool)", "qmlAlertBoxQvlUploadCompleted()"}) {
        const QByteArray s(signal);
        auto spy = std::make_unique<QSignalSpy>(bottom, QByteArray("2" + s).constData());
        QVERIFY2(spy->isValid(), signal);
        m_alerts[s.left(s.indexOf('('))] = std::move(spy);
    }
    m_alerts["qmlOpenBrowser"] = std::make_unique<QSignalSpy>(
        bridge().items().object(Item::MainWindow), SIGNAL(qmlOpenBrowser(QUrl,QString,bool)));
    QVERIFY(m_alerts["qmlOpenBrowser"]->isValid());
}

void TstTelemedFlow::init()
{
    m_ops.clear();
    m_faultOp.clear();
    m_faultKind.clear();
    m_uploaded.clear();
    m_systemBrowser.opened.clear();
    QVERIFY(m_server->listenAgain());
    settings().qvlUrl = m_goodUrl;
    settings().qvlUserName = "clinic";
    settings().qvlPwd = "secret";
    QVERIFY(settings().saveSettings(SettingsQvlService));
    bridge().qvlRespCheckUser(false, false, true);
    bridge().selectNShowPatient(m_patientId, m_ecgId);
    dismissAlerts();
    fired();
    AppHarness::warnings().clear();
}

void TstTelemedFlow::cleanup()
{
    QVERIFY(waitIdle());
    m_server->abortConnections();
    QVERIFY2(AppHarness::warnings().isEmpty(), qPrintable(AppHarness::warnings().join('\n')));
}

void TstTelemedFlow::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler("http");
    QDesktopServices::unsetUrlHandler("https");
}

void TstTelemedFlow::serve(const StandInRequest& r)
{
    const QByteArray op = operationOf(r.body);
    m_ops << op;
    m_lastUser = elementOf(r.body, "wsse:Username");
    m_lastPort = r.localPort;
    m_server->setAction(QvlStandIn::Action::Reply);
    if (op == "AddFile")
        m_uploaded = QByteArray::fromBase64(elementOf(r.body, "file"));
    if (!m_faultKind.isEmpty() && op == m_faultOp) {
        if (m_faultKind == "fault")
            m_server->setReply(500, soapFault("Server was unable to process request."));
        else if (m_faultKind == "fault in a good reply")
            m_server->setReply(200, soapFault("Server was unable to process request."));
        else if (m_faultKind == "authentication")
            m_server->setReply(500, soapFault(kAuthFault));
        else if (m_faultKind == "clock skew")
            m_server->setReply(500, soapFault(kClockFault));
        else if (m_faultKind == "reset")
            m_server->setAction(QvlStandIn::Action::Reset);
        else if (m_faultKind == "slow")
            m_server->setAction(QvlStandIn::Action::Hold);
        else if (m_faultKind == "error page")
            m_server->setReply(500, "<html><body>Internal error at 10.0.0.7</body></html>", "text/html");
        if (m_faultKind != "down")
            return;
    }
    // "Service down" at a step: gone once the step before it is answered.
    if (m_faultKind == "down"
        && ((op == "Test" && m_faultOp == "InitiateCase")
            || (op == "InitiateCase" && m_faultOp == "AddFile")
            || (op == "AddFile" && m_faultOp == "GetCaseURL")))
        m_server->stopListening();

    if (op == "InitiateCase") {
        m_server->setReply(200, okReply(op, "<return>C-" + QByteArray::number(m_nextCase++)
                                                + "</return>"));
    } else if (op == "AddFile") {
        m_server->setReply(200, okReply(op, "<return>true</return>"));
    } else if (op == "GetCaseURL") {
        // The case page stays on this machine.
        m_server->setReply(200, okReply(op, "<return>http://127.0.0.1:9/case?id="
                                                + elementOf(r.body, "caseId")
                                                + "&amp;lang=en</return>"));
    } else {
        m_server->setReply(200, okReply("Test", "<return>true</return>"));
    }
}

QStringList TstTelemedFlow::fired(QList<QVariantList>* args)
{
    QStringList names;
    for (auto& [name, spy] : m_alerts) {
        for (const QVariantList& a : *spy) {
            names << QString::fromLatin1(name);
            if (args)
                *args << a;
        }
        spy->clear();
    }
    return names;
}

bool TstTelemedFlow::waitForAlert(const QByteArray& name, int ms)
{
    return AppHarness::waitFor([&] { return !m_alerts[name]->isEmpty(); }, ms);
}

void TstTelemedFlow::accountCheck_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("faultKind");
    QTest::addColumn<bool>("sent");
    QTest::addColumn<bool>("verified");
    QTest::addColumn<QString>("shown"); // the section's heading | its state line
    QTest::newRow("verified") << "good" << "" << true << true << "Verified | Account verified.";
    QTest::newRow("service on another port")
        << "other port" << "" << true << true << "Verified | Account verified.";
    QTest::newRow("authentication fault")
        << "good" << "authentication" << true << false
        << "Not verified | Not verified: user name or password refused. Correct them and save again.";
    QTest::newRow("clock out of step")
        << "good" << "clock skew" << true << false
        << "Not verified | Not verified: this computer's clock is out of step. Correct the date "
           "and time, then save again.";
    QTest::newRow("fault") << "good" << "fault" << true << false
                           << "Not verified | Not verified: the service refused the check. Save again later.";
    QTest::newRow("service down")
        << "dead" << "" << false << false
        << "Not verified | Not verified: service unreachable. Check the URL and the network, then "
           "save again.";
    QTest::newRow("url of 4 characters")
        << "http" << "" << false << false
        << "Not verified | Not verified: fill in user name, password and URL.";
}

void TstTelemedFlow::accountCheck()
{
    QFETCH(QString, url);
    QFETCH(QString, faultKind);
    QFETCH(bool, sent);
    QFETCH(bool, verified);
    QFETCH(QString, shown);
    if (url == "good")
        url = m_goodUrl;
    else if (url == "other port")
        url = QStringLiteral("https://%1:%2%3")
                  .arg(m_server->address())
                  .arg(m_server->listenOnOtherPort(true))
                  .arg(QLatin1String(kPath));
    else if (url == "dead")
        url = QStringLiteral("https://%1%2").arg(m_server->deadAddress(), kPath);
    m_faultOp = "Test";
    m_faultKind = faultKind;
    settings().qvlAccountVerified = verified ? 0 : 1;

    // Typed into the telemedicine section and saved there.
    QQuickItem* view = openSettings();
    QVERIFY(view);
    view->setProperty("openedAccordion", 0);
    m_window->findChild<QObject*>("qvlUser")->setProperty("text", "vet.one");
    m_window->findChild<QObject*>("qvlPwd")->setProperty("text", "pass word");
    m_window->findChild<QObject*>("qvlUrl")->setProperty("text", url);
    QMetaObject::invokeMethod(m_window->findChild<QObject*>("qvlSave"), "clicked");

    // Stored at once, as typed.
    CSettingsMan reread(QStringLiteral("MalvorantQml"), bridge().dbMan()->database(), 1, 1);
    QCOMPARE(reread.qvlUserName, QStringLiteral("vet.one"));
    QCOMPARE(reread.qvlPwd, QStringLiteral("pass word"));
    QCOMPARE(reread.qvlUrl, url);
    // Until the service answers, the section says so.
    if (url.size() >= 5)
        QCOMPARE(accountStateShown(), QStringLiteral("Checking\u2026 | Checking the account with Quorvale\u2026"));

    QVERIFY(waitIdle());
    QCOMPARE(m_ops.contains("Test"), sent);
    if (sent) {
        QCOMPARE(m_lastUser, QByteArray("vet.one"));
        // Where the address says, its own port included.
        QCOMPARE(m_lastPort, quint16(QUrl(url).port(443)));
    }
    QCOMPARE(settings().qvlAccountVerified, verified ? 1 : 0);
    QCOMPARE(ui("qvlAccountVerified").toBool(), verified);
    CSettingsMan after(QStringLiteral("MalvorantQml"), bridge().dbMan()->database(), 1, 1);
    QCOMPARE(after.qvlAccountVerified, verified ? 1 : 0);
    QCOMPARE(view->property("initializerQvlAccountVerified").toInt(), verified ? 1 : 0);
    QCOMPARE(accountStateShown(), shown);

    // And when the page is opened again, whatever it held meanwhile.
    view->setProperty("visible", false);
    view->setProperty("initializerQvlAccountVerified", verified ? 0 : 1);
    view->setProperty("initializerQvlAccountProblem", 1);
    QCOMPARE(openSettings(), view);
    QCOMPARE(accountStateShown(), shown);
    view->setProperty("visible", false);
    QVERIFY(fired().isEmpty());
}

void TstTelemedFlow::newCredentialsAreUnverifiedUntilAnswered()
{
    verifyAccount();
    QVERIFY(ui("qvlAccountVerified").toBool());
    m_server->setAction(QvlStandIn::Action::Hold);
    m_server->setOnRequest([this](const StandInRequest&) {
        m_server->setAction(QvlStandIn::Action::Hold);
    });
    bridge().updateQvlSettings("other", "secret", m_goodUrl);
    // Not verified while the check is out.
    QCOMPARE(settings().qvlAccountVerified, 0);
    QVERIFY(!ui("qvlAccountVerified").toBool());
    QVERIFY(AppHarness::waitFor([&] { return m_server->requestCount > 0; }));
    m_server->setOnRequest([this](const StandInRequest& r) { serve(r); });
    m_server->setAction(QvlStandIn::Action::Reply);
    m_server->setReply(200, okReply("Test", "<return>true</return>"));
    m_server->releaseHeld();
    QVERIFY(waitIdle());
    QCOMPARE(settings().qvlAccountVerified, 1);
    QVERIFY(ui("qvlAccountVerified").toBool());
}

void TstTelemedFlow::verifyAccount()
{
    bridge().updateQvlSettings("clinic", "secret", m_goodUrl);
    QVERIFY(waitIdle());
    QCOMPARE(settings().qvlAccountVerified, 1);
}

void TstTelemedFlow::uploadButtonDecides_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("caseId");
    QTest::addColumn<QString>("alert");
    QTest::addColumn<int>("argument");
    // 19.998 s is 9,999 records: (9999 / 500) - 5.
    QTest::newRow("9999 records") << -9999 << "" << "qmlAlertBoxQvlShortFileUpload" << 14;
    QTest::newRow("10000 records") << 20 << "" << "qmlAlertBoxQvlAskUpload" << -1;
    QTest::newRow("uploaded before") << 30 << "C-OLD done" << "qmlAlertBoxQvlFileAlreadyUploaded" << -1;
    // A case without its address is no duplicate: the upload goes on in it.
    QTest::newRow("case open, no address") << 30 << "C-OPEN" << "qmlAlertBoxQvlAskUpload" << -1;
    QTest::newRow("case cancelled") << 30 << "C-GONE cancelled" << "qmlAlertBoxQvlAskUpload" << -1;
}

void TstTelemedFlow::uploadButtonDecides()
{
    QFETCH(int, seconds);
    QFETCH(QString, caseId);
    QFETCH(QString, alert);
    QFETCH(int, argument);
    int ecgId = -1;
    if (seconds < 0) {
        // A recording of an exact record count.
        CFileMan& f = *bridge().fileMan();
        QVERIFY(f.ecgFileCreate(m_patientId, "Bella", "Anna", "Lindqvist", "P-1042", 0, 2, 4, QString()));
        for (int i = 0; i < -seconds; ++i) {
            EcgStreamSample s{};
            s.leadII = float(i % 400);
            f.addEntry(s);
        }
        QVERIFY(f.ecgFileCreateEnd());
        ecgId = f.currentEcgId();
    } else {
        ecgId = m_app.makeRecording(m_patientId, seconds);
    }
    QVERIFY(ecgId > 0);
    const QStringList caseParts = caseId.split(' ');
    if (!caseId.isEmpty())
        QVERIFY(bridge().fileMan()->setQvlCaseId(ecgId, caseParts[0]));
    if (caseParts.contains("done"))
        QVERIFY(bridge().fileMan()->setQvlCaseUrl(ecgId, "https://cases.example/old"));
    if (caseParts.contains("cancelled"))
        QVERIFY(bridge().fileMan()->setQvlCaseStatus(ecgId, "CANCELLED"));
    bridge().selectNShowPatient(m_patientId, ecgId);
    fired();
    bridge().uploadClicked(false);
    QList<QVariantList> args;
    QCOMPARE(fired(&args), QStringList{alert});
    QCOMPARE(args.first().first().toInt(), argument >= 0 ? argument : ecgId);
    QVERIFY(m_ops.isEmpty());
}

void TstTelemedFlow::finishLater()
{
    // An earlier case stays until the service opens the new one.
    QVERIFY(bridge().fileMan()->setQvlCaseId(m_ecgId, "C-OLD"));
    QVERIFY(bridge().fileMan()->setQvlCaseUrl(m_ecgId, "https://cases.example/old"));
    bridge().continueQvlUpload(m_ecgId, false);
    QCOMPARE(row(m_ecgId).caseId, QStringLiteral("C-OLD"));
    QVERIFY(waitForAlert("qmlAlertBoxQvlUploadCompleted"));
    QCOMPARE(fired(), QStringList{"qmlAlertBoxQvlUploadCompleted"});
    QCOMPARE(m_ops, (QList<QByteArray>{"Test", "InitiateCase", "AddFile", "GetCaseURL"}));

    QFile file(bridge().fileMan()->dataFolder() + bridge().fileMan()->currentFileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(m_uploaded, file.readAll());

    const Row r = row(m_ecgId);
    QCOMPARE(r.status, 3);
    QVERIFY(r.caseId.startsWith("C-"));
    QVERIFY(r.caseId != "C-OLD");
    QCOMPARE(r.caseUrl, "http://127.0.0.1:9/case?id=" + r.caseId + "&lang=en");
    QCOMPARE(ui("fileQVLCaseId").toString(), r.caseId);
    QCOMPARE(ui("fileQVLCaseUrl").toString(), r.caseUrl);
    QVERIFY(!ui("busyIndicatorRunning").toBool());
    QVERIFY(m_systemBrowser.opened.isEmpty());
}

void TstTelemedFlow::finishNowOpensTheCasePage()
{
    bridge().continueQvlUpload(m_ecgId, true);
    QVERIFY(waitForAlert("qmlOpenBrowser"));
    QVERIFY(waitIdle());
    QList<QVariantList> args;
    QCOMPARE(fired(&args), QStringList{"qmlOpenBrowser"});
    const Row r = row(m_ecgId);
    QCOMPARE(r.status, 3);
    const QUrl url(r.caseUrl);
    QCOMPARE(args.first().at(0).toUrl(), url);
    QCOMPARE(args.first().at(1).toString(), QStringLiteral("Complete Telemedicine Request for Bella"));
    QCOMPARE(args.first().at(2).toBool(), true);
    // The in-application browser shows it.
    QVERIFY(bridge().items().isBound(Item::BrowserDrawer));
    QCOMPARE(ui("browserUrl").toUrl(), url);
    QCOMPARE(ui("browserTitle").toString(), QStringLiteral("Complete Telemedicine Request for Bella"));
    QObject* drawer = bridge().items().object(Item::BrowserDrawer);
    QVERIFY(AppHarness::waitFor([&] { return drawer->property("opened").toBool(); }));
    QVERIFY(m_systemBrowser.opened.isEmpty());
    QMetaObject::invokeMethod(drawer, "close");
}

// A case finished later: its page opens again from the recording's row in
// the recording list, which shows that recording; a row without a case
// offers nothing.
void TstTelemedFlow::casePageFromTheRecordingList()
{
    const Row withCase = row(m_ecgId);
    QVERIFY(!withCase.caseUrl.isEmpty());
    const int other = makeAssignedRecording(25);
    QVERIFY(other > 0);
    bridge().selectNShowPatient(m_patientId, other);
    QVariant opened;
    QMetaObject::invokeMethod(m_window, "openView", Q_RETURN_ARG(QVariant, opened),
                              Q_ARG(QVariant, QStringLiteral("recordings")));
    QVERIFY(opened.toBool());
    QObject* view = bridge().items().object(Item::FileList);
    QObject* list = m_window->findChild<QObject*>("ecgList");
    QVERIFY(view && list);
    QVERIFY(AppHarness::waitFor([&] { return list->property("count").toInt() >= 2; }));
    QObject* caseButton = nullptr;
    for (int i = 0; i < list->property("count").toInt(); ++i) {
        QQuickItem* r = nullptr;
        QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem*, r), Q_ARG(int, i));
        QVERIFY(r);
        QObject* button = r->findChild<QObject*>(QStringLiteral("openCase%1").arg(i));
        QVERIFY(button);
        const int ecgId = r->property("model").value<QObject*>()->property("id").toInt();
        const bool hasCase = !row(ecgId).caseId.isEmpty();
        QCOMPARE(button->property("visible").toBool(), hasCase);
        if (ecgId == m_ecgId)
            caseButton = button;
    }
    QVERIFY(caseButton);
    QVERIFY(QMetaObject::invokeMethod(caseButton, "clicked"));

    QList<QVariantList> args;
    QCOMPARE(fired(&args), QStringList{"qmlOpenBrowser"});
    QCOMPARE(args.first().at(0).toUrl(), QUrl(withCase.caseUrl));
    QCOMPARE(args.first().at(1).toString(), QStringLiteral("Complete Telemedicine Request for Bella"));
    QVERIFY(!view->property("visible").toBool());
    QCOMPARE(bridge().fileMan()->currentEcgId(), m_ecgId);
    QCOMPARE(ui("fileQVLCaseId").toString(), withCase.caseId);
    QObject* drawer = bridge().items().object(Item::BrowserDrawer);
    QVERIFY(drawer);
    QVERIFY(AppHarness::waitFor([&] { return drawer->property("opened").toBool(); }));
    QCOMPARE(ui("browserUrl").toUrl(), QUrl(withCase.caseUrl));
    QMetaObject::invokeMethod(drawer, "close");
    QVERIFY(m_systemBrowser.opened.isEmpty());
}

void TstTelemedFlow::confirmedRecordingIsUploaded()
{
    // The user confirms one recording, then opens another before the answer.
    const int other = m_app.makeRecording(m_patientId, 25);
    QVERIFY(other > 0);
    bridge().selectNShowPatient(m_patientId, m_ecgId);
    m_server->setAction(QvlStandIn::Action::Hold);
    m_server->setOnRequest([this](const StandInRequest&) {
        m_server->setAction(QvlStandIn::Action::Hold);
    });
    bridge().continueQvlUpload(m_ecgId, false);
    QVERIFY(AppHarness::waitFor([&] { return m_server->requestCount > 0; }));
    bridge().selectNShowPatient(m_patientId, other);
    m_server->setOnRequest([this](const StandInRequest& r) { serve(r); });
    m_server->setAction(QvlStandIn::Action::Reply);
    m_server->setReply(200, okReply("Test", "<return>true</return>"));
    m_server->releaseHeld();
    QVERIFY(waitForAlert("qmlAlertBoxQvlUploadCompleted"));
    QCOMPARE(row(m_ecgId).status, 3);
    QCOMPARE(row(other).status, 0);
    QVERIFY(row(other).caseId.isEmpty());
}

void TstTelemedFlow::failureAlerts_data()
{
    QTest::addColumn<QByteArray>("faultOp");
    QTest::addColumn<QString>("faultKind");
    QTest::addColumn<QString>("alert");
    QTest::addColumn<QString>("title");       // of the dialog on screen
    QTest::addColumn<QString>("says");        // part of its text: the cause
    QTest::addColumn<bool>("offerQueue");     // OK queues the recording
    QTest::addColumn<int>("status");          // the recording's state afterwards
    QTest::addColumn<bool>("newCase");        // whether it has a new case id
    QTest::addColumn<bool>("verifiedAfter");

    const QString failed = "qmlAlertBoxQvlUploadFailed";
    const QString connect = "QVL Connect Problem";
    const QString down = " could not be sent: Quorvale could not be reached.";
    const QString fault = " could not be sent: the Quorvale service reported a fault.";
    const QString refused = " could not be sent: Quorvale refused the user name or password.";
    const QString slow = " could not be sent: Quorvale did not answer in time.";
    QTest::newRow("network check: down") << QByteArray("Test") << "down" << failed << connect << down << true << 3 << false << true;
    QTest::newRow("network check: reset") << QByteArray("Test") << "reset" << failed << connect << down << true << 3 << false << true;
    QTest::newRow("network check: slow") << QByteArray("Test") << "slow" << failed << connect << slow << true << 3 << false << true;
    // An error response alone does not stop the upload; a fault sent as a
    // transfer error does, and says so.
    QTest::newRow("network check: fault") << QByteArray("Test") << "fault" << failed << connect << fault << true << 3 << false << true;
    QTest::newRow("network check: error page") << QByteArray("Test") << "error page" << failed << connect << fault << true << 3 << false << true;
    // Refused credentials are no missing network; queueing would not help.
    QTest::newRow("network check: authentication") << QByteArray("Test") << "authentication" << failed << connect
                                                   << refused << false << 3 << false << false;
    QTest::newRow("network check: error response") << QByteArray("Test") << "fault in a good reply" << "qmlAlertBoxQvlUploadCompleted"
                                                   << "QVL Upload completed" << "The file has successfully been uploaded"
                                                   << false << 3 << true << true;
    QTest::newRow("network check: clock skew") << QByteArray("Test") << "clock skew" << "qmlAlertBoxNoNetworkSync"
                                               << "Network Error" << "Failed to synchronize local time with server"
                                               << true << 3 << false << true;
    QTest::newRow("initiate: down") << QByteArray("InitiateCase") << "down" << failed << connect << down << true << 3 << false << true;
    QTest::newRow("initiate: fault") << QByteArray("InitiateCase") << "fault" << failed << connect << fault << true << 3 << false << true;
    QTest::newRow("initiate: authentication") << QByteArray("InitiateCase") << "authentication" << failed << connect
                                              << refused << false << 3 << false << false;
    QTest::newRow("initiate: clock skew") << QByteArray("InitiateCase") << "clock skew" << failed << connect
                                          << " could not be sent: Quorvale refused the time of this computer."
                                          << false << 3 << false << true;
    // Once the case is open the user may queue the rest.
    const QString cutDown = " was interrupted: Quorvale could not be reached.";
    const QString cutFault = " was interrupted: the Quorvale service reported a fault.";
    QTest::newRow("add file: down") << QByteArray("AddFile") << "down" << failed << connect << cutDown << true << 1 << true << true;
    QTest::newRow("add file: fault") << QByteArray("AddFile") << "fault" << failed << connect << cutFault << true << 1 << true << true;
    QTest::newRow("add file: slow") << QByteArray("AddFile") << "slow" << failed << connect
                                    << " was interrupted: Quorvale did not answer in time." << true << 1 << true << true;
    QTest::newRow("case url: down") << QByteArray("GetCaseURL") << "down" << failed << connect << cutDown << true << 1 << true << true;
    QTest::newRow("case url: fault") << QByteArray("GetCaseURL") << "fault" << failed << connect << cutFault << true << 1 << true << true;
}

void TstTelemedFlow::failureAlerts()
{
    QFETCH(QByteArray, faultOp);
    QFETCH(QString, faultKind);
    QFETCH(QString, alert);
    QFETCH(QString, title);
    QFETCH(QString, says);
    QFETCH(bool, offerQueue);
    QFETCH(int, status);
    QFETCH(bool, newCase);
    QFETCH(bool, verifiedAfter);

    // The recording was uploaded before.
    QVERIFY(bridge().fileMan()->setQvlCaseId(m_ecgId, "C-OLD"));
    QVERIFY(bridge().fileMan()->setQvlCaseUrl(m_ecgId, "https://cases.example/old"));
    m_faultOp = faultOp;
    m_faultKind = faultKind;
    if (faultKind == "down" && faultOp == "Test")
        m_server->stopListening();
    // A service that takes the request and stays silent.
    // AddFile waits as long as its size asks; the test shortens that too.
    if (faultKind == "slow") {
        bridge().qvlComm()->setTransferTimeout(1000);
        bridge().qvlComm()->setRequestDeadline(1000);
    }

    bridge().continueQvlUpload(m_ecgId, false);
    QVERIFY2(waitForAlert(alert.toLatin1()), m_ops.join(',').constData());
    QVERIFY(waitIdle());
    bridge().qvlComm()->setTransferTimeout(CQvlComm::kDefaultTransferTimeoutMs);
    bridge().qvlComm()->setRequestDeadline(0);
    QList<QVariantList> args;
    QCOMPARE(fired(&args), QStringList{alert});
    if (alert == "qmlAlertBoxQvlUploadFailed")
        QCOMPARE(args.first().at(0).toInt(), m_ecgId);
    else if (alert == "qmlAlertBoxNoNetworkSync")
        QCOMPARE(args.first(), (QVariantList{m_ecgId, true}));
    QVERIFY(!ui("busyIndicatorRunning").toBool());

    // What the vet reads: the cause, the recording and its patient, whether
    // it may be queued; never the service's own words or its address.
    QObject* dialog = nullptr;
    QVERIFY(AppHarness::waitFor([&] { return (dialog = openAlert(title)) != nullptr; }));
    const QString text = dialog->property("text").toString();
    const QString informative = dialog->property("informativeText").toString();
    QVERIFY2(text.contains(says), qPrintable(text));
    if (alert == "qmlAlertBoxQvlUploadFailed") {
        const QString name = "ECG of Bella (Anna Lindqvist) recorded on ";
        QVERIFY2(text.startsWith("The " + name) || text.startsWith("The upload of the " + name),
                 qPrintable(text));
    }
    const QString shown = title + text + informative;
    for (const char* raw : {"Server replied", "server replied", "127.0.", "10.0.0.7", "Operation canceled",
                            "No Network", "process request", "security token", "WSE065", "Internal"})
        QVERIFY2(!shown.contains(QLatin1String(raw)), qPrintable(shown));
    QCOMPARE(text.contains("Shall I queue your request and automatically retry at a later time?"), offerQueue);
    QCOMPARE(informative.endsWith("Click OK if I shall queue your request."), offerQueue);
    QCOMPARE(dialog->property("rejectText").toString(), offerQueue ? QString("Cancel") : QString());
    if (alert == "qmlAlertBoxQvlUploadFailed" && !offerQueue)
        QVERIFY2(informative.endsWith("It is not retried on its own: upload it again afterwards."),
                 qPrintable(informative));
    // Cancel leaves the recording as the failure left it.
    QMetaObject::invokeMethod(dialog, offerQueue ? "reject" : "accept");
    QVERIFY(AppHarness::waitFor([&] { return !openAlert(title); }));

    const Row r = row(m_ecgId);
    QCOMPARE(r.status, status);
    if (newCase) {
        QVERIFY(r.caseId.startsWith("C-") && r.caseId != "C-OLD");
        QCOMPARE(r.caseUrl.isEmpty(), status != 3);
    } else {
        QCOMPARE(r.caseId, QStringLiteral("C-OLD"));
        QCOMPARE(r.caseUrl, QStringLiteral("https://cases.example/old"));
    }
    QCOMPARE(settings().qvlAccountVerified, verifiedAfter ? 1 : 0);
    QCOMPARE(ui("qvlAccountVerified").toBool(), verifiedAfter);
    CSettingsMan stored(QStringLiteral("MalvorantQml"), bridge().dbMan()->database(), 1, 1);
    QCOMPARE(stored.qvlAccountVerified, verifiedAfter ? 1 : 0);
}

void TstTelemedFlow::refusedRequestIsAlerted()
{
    // A network check still out: a second confirmation is refused and said so.
    m_server->setAction(QvlStandIn::Action::Hold);
    m_server->setOnRequest([this](const StandInRequest&) {
        m_server->setAction(QvlStandIn::Action::Hold);
    });
    bridge().continueQvlUpload(m_ecgId, false);
    QVERIFY(AppHarness::waitFor([&] { return m_server->requestCount > 0; }));
    bridge().continueQvlUpload(m_ecgId, false);
    QList<QVariantList> args;
    QCOMPARE(fired(&args), QStringList{"qmlAlertBoxQvlCommError"});
    QVERIFY(!args.first().first().toString().isEmpty());
    m_server->setOnRequest([this](const StandInRequest& r) { serve(r); });
    m_server->setAction(QvlStandIn::Action::Reply);
    m_server->setReply(200, okReply("Test", "<return>true</return>"));
    m_server->releaseHeld();
    QVERIFY(waitForAlert("qmlAlertBoxQvlUploadCompleted"));
    fired();

    // A service address the client will not send credentials to: said in
    // words, without the address.
    settings().qvlUrl = "http://quorvale.example/qvl";
    bridge().continueQvlUpload(m_ecgId, false);
    QCOMPARE(fired(&args), QStringList{"qmlAlertBoxQvlUploadFailed"});
    const QString message = args.last().at(2).toString();
    QVERIFY2(message.endsWith(" could not be sent: the service address in the telemedicine "
                              "settings can't be used."),
             qPrintable(message));
    QVERIFY(!message.contains("quorvale.example"));
    QCOMPARE(args.last().at(4).toBool(), false);
}

void TstTelemedFlow::unverifiedAccountIsRefused()
{
    settings().qvlAccountVerified = 0;
    bridge().continueQvlUpload(m_ecgId, false);
    QVERIFY(waitForAlert("qmlAlertBoxQvlCommError"));
    QList<QVariantList> args;
    QCOMPARE(fired(&args), QStringList{"qmlAlertBoxQvlCommError"});
    QCOMPARE(args.first().first().toString(), QStringLiteral("Invalid Quorvale credentials."));
    QCOMPARE(m_ops, QList<QByteArray>{"Test"});
}

void TstTelemedFlow::queuedThenUploadedInTheBackground()
{
    // No network: the user lets it be queued, and the scheduler sends it.
    m_server->stopListening();
    bridge().continueQvlUpload(m_ecgId, false);
    QVERIFY(waitForAlert("qmlAlertBoxQvlUploadFailed"));
    QList<QVariantList> args;
    fired(&args);
    QVERIFY(args.first().at(4).toBool());
    bridge().queueFileUpload(args.first().at(0).toInt(), true);
    QCOMPARE(row(m_ecgId).status, 9);
    QCOMPARE(ui("fileQVLCaseStatus").toString().isEmpty(), false);

    // The service still away at the next upload tick: the user is told once,
    // not at every tick.
    bridge().qvlScheduler()->backgroundUploadTimerExpired();
    QVERIFY(waitForAlert("qmlAlertBoxQvlUploadFailed"));
    QVERIFY(waitIdle());
    QCOMPARE(fired(&args).size(), 1);
    QCOMPARE(args.last().at(0).toInt(), m_ecgId);
    QCOMPARE(args.last().at(1).toString(), QStringLiteral("QVL Upload Delayed"));
    QVERIFY2(args.last().at(2).toString().endsWith(
                 " could not be sent to Quorvale in the background: Quorvale could not be reached."),
             qPrintable(args.last().at(2).toString()));
    QVERIFY(args.last().at(3).toString().endsWith("Another attempt follows automatically in a few minutes."));
    bridge().qvlScheduler()->backgroundUploadTimerExpired();
    QVERIFY(waitIdle());
    QVERIFY(fired().isEmpty());
    QCOMPARE(row(m_ecgId).status, 9);

    QVERIFY(m_server->listenAgain());
    bridge().qvlScheduler()->backgroundUploadTimerExpired();
    QVERIFY(AppHarness::waitFor([&] { return row(m_ecgId).status == 3; }));
    QVERIFY(waitIdle());
    QCOMPARE(ui("fileQVLCaseUrl").toString(), row(m_ecgId).caseUrl);
    QVERIFY(fired().isEmpty());
}

QObject* TstTelemedFlow::alertOnScreen(const QString& title)
{
    QObject* dialog = nullptr;
    AppHarness::waitFor([&] { return (dialog = openAlert(title)) != nullptr; });
    return dialog;
}

QString TstTelemedFlow::shownText(QObject* dialog)
{
    return dialog ? dialog->property("title").toString() + " | " + dialog->property("text").toString()
                        + " | " + dialog->property("informativeText").toString()
                  : QString();
}

void TstTelemedFlow::pressUpload()
{
    QMetaObject::invokeMethod(bridge().items().object(Item::BottomArea), "actionClicked");
}

bool TstTelemedFlow::answerStartCase(const QString& button)
{
    return AppHarness::waitFor([&] { return openAlert("Start a Case") != nullptr; })
        && screen::clickText(m_window, button);
}

void TstTelemedFlow::interruptedUploadGoesOnInItsCase_data()
{
    QTest::addColumn<QString>("road");
    QTest::newRow("from the screen") << "screen";
    QTest::newRow("from the queue") << "queue";
}

void TstTelemedFlow::interruptedUploadGoesOnInItsCase()
{
    QFETCH(QString, road);
    const int ecgId = makeAssignedRecording(30);
    QVERIFY(ecgId > 0);
    settleOtherRecordings({ecgId});
    bridge().selectNShowPatient(m_patientId, ecgId);
    QFile file(bridge().fileMan()->dataFolder() + bridge().fileMan()->currentFileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();

    // The service goes away with the file half received.
    m_server->goAwayMidBody(200000);
    bridge().uploadClicked(false);
    QCOMPARE(fired(), QStringList{"qmlAlertBoxQvlAskUpload"});
    QVERIFY(answerStartCase("Finish Later"));
    QVERIFY(waitForAlert("qmlAlertBoxQvlUploadFailed"));
    QVERIFY(waitIdle());
    m_server->setOnBodyProgress(nullptr);
    QVERIFY(m_server->wentAwayMidBody());
    QList<QVariantList> args;
    QCOMPARE(fired(&args), QStringList{"qmlAlertBoxQvlUploadFailed"});
    QCOMPARE(args.first().at(0).toInt(), ecgId);
    QVERIFY(args.first().at(4).toBool());
    QVERIFY(!ui("busyIndicatorRunning").toBool());
    const Row opened = row(ecgId);
    QCOMPARE(opened.status, 1);
    QVERIFY(opened.caseId.startsWith("C-"));
    QVERIFY(opened.caseUrl.isEmpty());
    QCOMPARE(m_ops, (QList<QByteArray>{"Test", "InitiateCase"}));
    QObject* dialog = nullptr;
    QVERIFY(AppHarness::waitFor([&] { return (dialog = openAlert("QVL Connect Problem")) != nullptr; }));
    QVERIFY(dialog->property("text").toString().contains("Shall I queue your request"));

    // The service is back.
    QVERIFY(m_server->listenAgain());
    m_ops.clear();
    if (road == "screen") {
        QMetaObject::invokeMethod(dialog, "reject");
        // Not queued: the background leaves it to the user.
        bridge().qvlScheduler()->backgroundUploadTimerExpired();
        QVERIFY(waitIdle());
        QVERIFY(m_ops.isEmpty());
        // Not a duplicate: confirmed again, it goes on in its case.
        bridge().uploadClicked(false);
        QCOMPARE(fired(), QStringList{"qmlAlertBoxQvlAskUpload"});
        QVERIFY(answerStartCase("Finish Later"));
        QVERIFY(waitForAlert("qmlAlertBoxQvlUploadCompleted"));
        // Asked first whether the case holds the file; it does not, so it goes.
        QCOMPARE(m_ops, (QList<QByteArray>{"Test", "GetModifiedServices", "AddFile", "GetCaseURL"}));
    } else {
        // OK queues it; the next background tick finishes it in its case.
        QMetaObject::invokeMethod(dialog, "accept");
        QCOMPARE(row(ecgId).status, 9);
        QCOMPARE(row(ecgId).caseId, opened.caseId);
        bridge().qvlScheduler()->backgroundUploadTimerExpired();
        QVERIFY(AppHarness::waitFor([&] { return row(ecgId).status == 3; }));
        QVERIFY(waitIdle());
        QCOMPARE(m_ops, (QList<QByteArray>{"GetModifiedServices", "AddFile", "GetCaseURL"}));
    }
    QVERIFY(waitIdle());
    // Its first case, the whole file, once; no second case.
    const Row done = row(ecgId);
    QCOMPARE(done.status, 3);
    QCOMPARE(done.caseId, opened.caseId);
    QCOMPARE(done.caseUrl, "http://127.0.0.1:9/case?id=" + done.caseId + "&lang=en");
    QCOMPARE(m_uploaded, content);
    QCOMPARE(ui("fileQVLCaseUrl").toString(), done.caseUrl);
    // Finished: now a second upload would be a duplicate.
    bridge().uploadClicked(false);
    QStringList after = fired();
    after.removeAll("qmlAlertBoxQvlUploadCompleted");
    QCOMPARE(after, QStringList{"qmlAlertBoxQvlFileAlreadyUploaded"});
}

void TstTelemedFlow::backgroundFailuresToldOncePerRecordingAndReason()
{
    // Two queued recordings fail in turn while the service is away: each is
    // told once, whatever the order, until its reason changes.
    const int a = makeAssignedRecording(25);
    const int b = makeAssignedRecording(25);
    settleOtherRecordings({a, b});
    bridge().queueFileUpload(a, true);
    bridge().queueFileUpload(b, true);
    fired();
    m_server->stopListening();
    QList<QVariantList> args;
    auto tick = [&]() {
        bridge().qvlScheduler()->backgroundUploadTimerExpired();
        return waitIdle();
    };
    for (int i = 0; i < 4; ++i)
        QVERIFY(tick());
    QCOMPARE(fired(&args), (QStringList{"qmlAlertBoxQvlUploadFailed", "qmlAlertBoxQvlUploadFailed"}));
    QCOMPARE(row(a).status, 9);
    QCOMPARE(row(b).status, 9);

    // Back, but refusing new cases: another reason, told once more for each.
    QVERIFY(m_server->listenAgain());
    m_faultOp = "InitiateCase";
    m_faultKind = "fault";
    for (int i = 0; i < 4; ++i)
        QVERIFY(tick());
    args.clear();
    QCOMPARE(fired(&args).size(), 2);
    for (const QVariantList& a : args)
        QVERIFY2(a.at(2).toString().endsWith(" in the background: the Quorvale service reported a fault."),
                 qPrintable(a.at(2).toString()));

    // Sent at last, then queued again and failing the same way: told again.
    m_faultKind.clear();
    QVERIFY(tick());
    QVERIFY(tick());
    QCOMPARE(row(a).status, 3);
    QCOMPARE(row(b).status, 3);
    QVERIFY(fired().isEmpty());
    bridge().queueFileUpload(a, true);
    m_faultKind = "fault";
    QVERIFY(tick());
    QCOMPARE(fired().size(), 1);
    m_faultKind.clear();
    QVERIFY(tick());
    QCOMPARE(row(a).status, 3);
}

void TstTelemedFlow::casePageAddresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("withWindow");
    QTest::addColumn<QString>("opened"); // "drawer", "system" or "" (refused)
    QTest::newRow("https in the drawer") << "https://127.0.0.1:9/case?id=C-7" << true << "drawer";
    QTest::newRow("no window: system browser") << "https://127.0.0.1:9/case?id=C-7" << false << "system";
    QTest::newRow("http, no window") << "http://127.0.0.1:9/c" << false << "system";
    QTest::newRow("file") << "file:///etc/passwd" << true << "";
    QTest::newRow("javascript") << "javascript:alert(1)" << true << "";
    QTest::newRow("no scheme") << "127.0.0.1/case" << false << "";
    QTest::newRow("empty") << "" << true << "";
}

void TstTelemedFlow::casePageAddresses()
{
    QFETCH(QString, address);
    QFETCH(bool, withWindow);
    QFETCH(QString, opened);
    QObject* window = bridge().items().object(Item::MainWindow);
    if (!withWindow)
        bridge().items().bind(Item::MainWindow, nullptr);
    bridge().openQvlWindow(address);
    if (!withWindow)
        bridge().items().bind(Item::MainWindow, window);
    QList<QVariantList> args;
    const QStringList names = fired(&args);
    if (opened == "drawer") {
        QCOMPARE(names, QStringList{"qmlOpenBrowser"});
        QCOMPARE(ui("browserUrl").toUrl(), QUrl(address));
        QVERIFY(m_systemBrowser.opened.isEmpty());
        QMetaObject::invokeMethod(bridge().items().object(Item::BrowserDrawer), "close");
    } else if (opened == "system") {
        QVERIFY(names.isEmpty());
        QCOMPARE(m_systemBrowser.opened, QList<QUrl>{QUrl(address)});
    } else {
        QCOMPARE(names, QStringList{"qmlAlertBoxQvlCommError"});
        QVERIFY(m_systemBrowser.opened.isEmpty());
    }
}

// From the upload button, as a vet does it: the alert names the cause, the
// recording and its patient; refused credentials are not a missing network.
void TstTelemedFlow::uploadSaysWhy_data()
{
    QTest::addColumn<QString>("faultKind");
    QTest::addColumn<QString>("says");
    QTest::addColumn<bool>("offerQueue");
    QTest::addColumn<int>("statusAfterOk");
    QTest::addColumn<bool>("verifiedAfter");
    QTest::newRow("credentials refused") << "authentication" << "Quorvale refused the user name or password."
                                         << false << 0 << false;
    QTest::newRow("service down") << "down" << "Quorvale could not be reached." << true << 9 << true;
}

void TstTelemedFlow::uploadSaysWhy()
{
    QFETCH(QString, faultKind);
    QFETCH(QString, says);
    QFETCH(bool, offerQueue);
    QFETCH(int, statusAfterOk);
    QFETCH(bool, verifiedAfter);
    const int ecgId = makeAssignedRecording(30);
    QVERIFY(ecgId > 0);
    settleOtherRecordings({ecgId});
    bridge().selectNShowPatient(m_patientId, ecgId);
    m_faultOp = "Test";
    m_faultKind = faultKind;
    if (faultKind == "down")
        m_server->stopListening();

    pressUpload();
    QVERIFY(answerStartCase("Finish Now"));
    QObject* dialog = alertOnScreen("QVL Connect Problem");
    QVERIFY(dialog);
    const QString shown = shownText(dialog);
    QVERIFY2(shown.contains(says), qPrintable(shown));
    QVERIFY2(shown.contains(" | The ECG of Bella (Anna Lindqvist) recorded on "), qPrintable(shown));
    QVERIFY(!shown.contains("No Network") && !shown.contains("no network"));
    QVERIFY(!openAlert("No Network"));
    QCOMPARE(dialog->property("rejectText").toString(), offerQueue ? QString("Cancel") : QString());
    QVERIFY(screen::clickText(m_window, "OK"));
    QVERIFY(AppHarness::waitFor([&] { return !visibleDialog(m_window); }));
    QVERIFY(waitIdle());

    // The database: queued only where OK queues; no case was opened.
    const Row r = row(ecgId);
    QCOMPARE(r.status, statusAfterOk);
    QVERIFY(r.caseId.isEmpty());
    QCOMPARE(m_ops, faultKind == "down" ? QList<QByteArray>{} : QList<QByteArray>{"Test"});
    CSettingsMan stored(QStringLiteral("MalvorantQml"), bridge().dbMan()->database(), 1, 1);
    QCOMPARE(stored.qvlAccountVerified, verifiedAfter ? 1 : 0);
    if (!verifiedAfter) {
        // The settings say the same, and the button now asks for the account first.
        QQuickItem* view = openSettings();
        QVERIFY(view);
        QCOMPARE(accountStateShown(),
                 QStringLiteral("Not verified | Not verified: user name or password refused. "
                                "Correct them and save again."));
        view->setProperty("visible", false);
        pressUpload();
        QObject* refused = alertOnScreen("QVL Connect Problem");
        QVERIFY(refused);
        QCOMPARE(refused->property("text").toString(),
                 QStringLiteral("We could not verify your Quorvale account credentials."));
    }
    settleOtherRecordings({});
}

// What a background failure says, by its cause: the recording and its
// patient, the cause, and whether another attempt follows; never the
// service's words, and never "queued" (a case resumed after a restart may
// be one the user declined to queue).
void TstTelemedFlow::backgroundFailureTexts_data()
{
    QTest::addColumn<QByteArray>("faultOp");
    QTest::addColumn<QString>("faultKind");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("says");
    QTest::addColumn<QString>("next");
    QTest::addColumn<int>("statusAfter");
    QTest::addColumn<bool>("verifiedAfter");
    const QString delayed = "QVL Upload Delayed";
    const QString retry = "Another attempt follows automatically in a few minutes.";
    QTest::newRow("service down") << QByteArray("InitiateCase") << "down" << delayed
                                  << "Quorvale could not be reached." << retry << 9 << true;
    QTest::newRow("service fault") << QByteArray("InitiateCase") << "fault" << delayed
                                   << "the Quorvale service reported a fault." << retry << 9 << true;
    QTest::newRow("error page") << QByteArray("InitiateCase") << "error page" << delayed
                                << "the Quorvale service reported a fault." << retry << 9 << true;
    QTest::newRow("no answer") << QByteArray("InitiateCase") << "slow" << delayed
                               << "Quorvale did not answer in time." << retry << 9 << true;
    QTest::newRow("credentials refused") << QByteArray("InitiateCase") << "authentication" << delayed
                                         << "Quorvale refused the user name or password."
                                         << "It is sent automatically once Quorvale accepts them." << 9 << false;
    QTest::newRow("file gone") << QByteArray("InitiateCase") << "file gone" << "QVL Upload Failed"
                               << "its ECG file could not be read." << "It will not be sent automatically."
                               << 0 << true;
}

void TstTelemedFlow::backgroundFailureTexts()
{
    QFETCH(QByteArray, faultOp);
    QFETCH(QString, faultKind);
    QFETCH(QString, title);
    QFETCH(QString, says);
    QFETCH(QString, next);
    QFETCH(int, statusAfter);
    QFETCH(bool, verifiedAfter);
    const int ecgId = makeAssignedRecording(25);
    QVERIFY(ecgId > 0);
    settleOtherRecordings({ecgId});
    bridge().queueFileUpload(ecgId, true);
    bridge().selectNShowPatient(m_patientId, m_ecgId);
    m_faultOp = faultOp;
    m_faultKind = faultKind;
    if (faultKind == "down")
        m_server->stopListening();
    if (faultKind == "slow")
        bridge().qvlScheduler()->client()->setTransferTimeout(1000);
    if (faultKind == "file gone") {
        QSqlQuery q(*bridge().dbMan()->database());
        q.prepare("select fileName from ecgTable where ecgId=?");
        q.addBindValue(ecgId);
        QVERIFY(q.exec() && q.next());
        QVERIFY(QFile::remove(bridge().fileMan()->dataFolder() + q.value(0).toString()));
    }
    fired();

    bridge().qvlScheduler()->backgroundUploadTimerExpired();
    QVERIFY(waitForAlert("qmlAlertBoxQvlUploadFailed"));
    QVERIFY(waitIdle());
    bridge().qvlScheduler()->client()->setTransferTimeout(CQvlComm::kDefaultTransferTimeoutMs);
    QList<QVariantList> args;
    QCOMPARE(fired(&args), QStringList{"qmlAlertBoxQvlUploadFailed"});
    QCOMPARE(args.first().at(0).toInt(), ecgId);
    QCOMPARE(args.first().at(4).toBool(), false);

    QObject* dialog = alertOnScreen(title);
    QVERIFY(dialog);
    const QString text = dialog->property("text").toString();
    const QString informative = dialog->property("informativeText").toString();
    QVERIFY2(text.startsWith("The ECG of Bella (Anna Lindqvist) recorded on "), qPrintable(text));
    QVERIFY2(text.endsWith(" could not be sent to Quorvale in the background: " + says), qPrintable(text));
    QVERIFY2(informative.endsWith(next), qPrintable(informative));
    const QString shown = shownText(dialog);
    QVERIFY2(!shown.contains("queue", Qt::CaseInsensitive), qPrintable(shown));
    for (const char* raw : {"Server replied", "127.0.", "10.0.0.7", "Operation canceled", "Unable to",
                            "process request", "security token", ".ecg", "Internal"})
        QVERIFY2(!shown.contains(QLatin1String(raw)), qPrintable(shown));
    QCOMPARE(dialog->property("rejectText").toString(), QString());
    QVERIFY(screen::clickText(m_window, "OK"));
    QVERIFY(AppHarness::waitFor([&] { return !visibleDialog(m_window); }));

    QCOMPARE(row(ecgId).status, statusAfter);
    CSettingsMan stored(QStringLiteral("MalvorantQml"), bridge().dbMan()->database(), 1, 1);
    QCOMPARE(stored.qvlAccountVerified, verifiedAfter ? 1 : 0);
    settleOtherRecordings({});
}

// A question on screen stays until the user answers it, with its own OK:
// a background failure meanwhile waits behind it and shows afterwards.
void TstTelemedFlow::alertWaitsBehindAnOpenQuestion_data()
{
    QTest::addColumn<QString>("answer");
    QTest::newRow("OK queues") << "OK";
    QTest::newRow("Cancel does not") << "Cancel";
}

void TstTelemedFlow::alertWaitsBehindAnOpenQuestion()
{
    QFETCH(QString, answer);
    // Another recording waits in the background queue.
    const int waiting = makeAssignedRecording(25);
    // The one on screen was uploaded before.
    const int mine = makeAssignedRecording(30);
    QVERIFY(waiting > 0 && mine > 0);
    settleOtherRecordings({waiting, mine});
    QVERIFY(bridge().fileMan()->setQvlCaseId(mine, "C-OLD"));
    QVERIFY(bridge().fileMan()->setQvlCaseUrl(mine, "https://cases.example/old"));
    bridge().queueFileUpload(waiting, true);
    bridge().selectNShowPatient(m_patientId, mine);
    m_server->stopListening();

    // The answer's own next question comes first.
    pressUpload();
    QObject* duplicate = alertOnScreen("Duplicate Upload");
    QVERIFY(duplicate);
    QVERIFY(screen::clickText(m_window, "OK"));
    QVERIFY(answerStartCase("Finish Later"));
    QObject* question = alertOnScreen("QVL Connect Problem");
    QVERIFY(question);
    QVERIFY(waitIdle());
    const QString asked = shownText(question);
    QVERIFY2(asked.contains("Shall I queue your request and automatically retry at a later time?"),
             qPrintable(asked));
    QVERIFY(asked.endsWith("Click OK if I shall queue your request."));

    // The background fails meanwhile: the question and its buttons stay.
    fired();
    bridge().qvlScheduler()->backgroundUploadTimerExpired();
    QVERIFY(waitForAlert("qmlAlertBoxQvlUploadFailed"));
    QVERIFY(waitIdle());
    QTest::qWait(100);
    QCOMPARE(visibleDialog(m_window), question);
    QCOMPARE(shownText(question), asked);
    QCOMPARE(question->property("rejectText").toString(), QStringLiteral("Cancel"));
    QVERIFY(!openAlert("QVL Upload Delayed"));

    // The question's own action runs on OK, and only then the later alert shows.
    QVERIFY(screen::clickText(m_window, answer));
    QCOMPARE(row(mine).status, answer == "OK" ? 9 : 3);
    QObject* later = alertOnScreen("QVL Upload Delayed");
    QVERIFY(later);
    const QString told = shownText(later);
    QVERIFY2(told.contains(" could not be sent to Quorvale in the background: Quorvale could not be reached."),
             qPrintable(told));
    QVERIFY(!told.contains("queue", Qt::CaseInsensitive));
    QCOMPARE(later->property("rejectText").toString(), QString());
    QVERIFY(screen::clickText(m_window, "OK"));
    QVERIFY(AppHarness::waitFor([&] { return !visibleDialog(m_window); }));
    QTest::qWait(100);
    QVERIFY(!visibleDialog(m_window));

    // The database: each recording as its own answer left it.
    QCOMPARE(row(waiting).status, 9);
    const Row r = row(mine);
    QCOMPARE(r.status, answer == "OK" ? 9 : 3);
    QCOMPARE(r.caseId, QStringLiteral("C-OLD"));
    settleOtherRecordings({});
}

int main(int argc, char** argv)
{
    // The in-application browser as the program prepares it.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QQuickWindow::setGraphicsApi(QSGRendererInterface::OpenGL);
    platform::prepareEmbeddedBrowser();
    QApplication app(argc, argv);
    TstTelemedFlow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_telemedflow.moc"
