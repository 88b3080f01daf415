// Through the bridge and the real QML against the stand-in service with its
// store: the account's state after a second Save during a check belongs to
// the second password, and an upload whose AddFile ends without a clear
// answer after the service stored the file leaves one copy in one case.

#include "appharness.h"
#include "dbman.h"
#include "isolatedhome.h"
#include "qmlitems.h"
#include "qmlmodule.h"
#include "qvlcomm.h"
#include "qvlreplies.h"
#include "qvlscheduler.h"
#include "qvlservicestore.h"
#include "qvlstandin.h"
#include "settingsman.h"
#include "telemedscreen.h"

#include <QCryptographicHash>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QtQml/qqmlmoduleregistration.h>
#include <QtTest>

#include <map>
#include <memory>

static IsolatedHome isolatedHome;
static const QQmlModuleRegistration malvorantModule("Malvorant", qml_register_types_Malvorant);

using qml::Item;

namespace {

// The password a request carried.
QByteArray passwordOf(const QByteArray& body)
{
    const qsizetype tag = body.indexOf("<wsse:Password");
    const qsizetype from = tag < 0 ? -1 : body.indexOf('>', tag);
    const qsizetype to = from < 0 ? -1 : body.indexOf("</wsse:Password>", from);
    return to < 0 ? QByteArray() : body.mid(from + 1, to - from - 1);
}

using Row = QvlCaseRow;

} // namespace

class TstTelemedOnce : public QObject
{
    Q_OBJECT

    AppHarness m_app;
    QQuickWindow* m_window = nullptr;
    QvlStandIn* m_server = nullptr;
    QString m_goodUrl;
    int m_patientId = -1;
    std::map<QByteArray, std::unique_ptr<QSignalSpy>> m_alerts;

    CQmlInterface& bridge() { return m_app.bridge(); }
    CSettingsMan& settings() { return *bridge().settingsMan(); }
    QObject* uiData() { return bridge().items().object(Item::UiData); }
    QVariant ui(const char* name) { return uiData()->property(name); }

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void secondSaveDuringACheck_data();
    void secondSaveDuringACheck();
    void fileOnceFromTheScreen_data();
    void fileOnceFromTheScreen();
    void closedCaseIsNotResumed_data();
    void closedCaseIsNotResumed();
    void refusedQuestionAfterACutSaysSo();

private:
    // The service as the store keeps it, except that the password "wrong" is refused.
    void serve(QvlServiceStore& store, const StandInRequest& r);
    Row row(int ecgId) { return readCaseRow(bridge().dbMan()->database(), ecgId); }
    QStringList fired();
    bool waitForAlert(const QByteArray& name, int ms = 20000);
    bool waitIdle(int ms = 20000) { return waitQvlIdle(bridge(), ms); }
    int makeAssignedRecording(int seconds)
    {
        return ::makeAssignedRecording(m_app, m_patientId, seconds);
    }
    QQuickItem* openSettings() { return openSettingsView(m_window); }
    QString accountStateShown() { return qvlAccountStateShown(m_window); }
    QObject* openAlert(const QString& title) { return openAlertTitled(m_window, title); }
    void settleOtherRecordings(const QList<int>& keep)
    {
        ::settleOtherRecordings(bridge().dbMan()->database(), keep);
    }
};

void TstTelemedOnce::initTestCase()
{
    QVERIFY(isolatedHome.isValid());
    m_window = m_app.load();
    QVERIFY(m_window);
    QVERIFY(AppHarness::waitFor([&] { return bridge().items().isBound(Item::BottomArea); }));
    // The background work is driven by calling its slots.
    bridge().qvlScheduler()->modifiedServicesTimer()->stop();
    bridge().qvlScheduler()->backgroundUploadTimer()->stop();

    m_server = new QvlStandIn(49, this);
    QVERIFY2(m_server->start(), qPrintable(m_server->errorText()));
    m_server->trust();
    m_server->setKeepRequests(false);
    m_goodUrl = m_server->url(true, QLatin1String(kPath));
    m_patientId = m_app.makePatient();
    QVERIFY(m_patientId > 0);

    QObject* bottom = bridge().items().object(Item::BottomArea);
    for (const char* signal :
         {"qmlAlertBoxNoNetwork(int,bool)", "qmlAlertBoxQvlAskUpload(int)",
          "qmlAlertBoxQvlCommError(QString)",
          "qmlAlertBoxQvlUploadFailed(int,QString,QString,QString,bool)",
          "qmlAlertBoxQvlUploadCompleted()"}) {
        const QByteArray s(signal);
        auto spy = std::make_unique<QSignalSpy>(bottom, QByteArray("2" + s).constData());
        QVERIFY2(spy->isValid(), signal);
        m_alerts[s.left(s.indexOf('('))] = std::move(spy);
    }
}

void TstTelemedOnce::init()
{
    QVERIFY(m_server->listenAgain());
    m_server->setAction(QvlStandIn::Action::Reply);
    m_server->setReply(200, okReply("Test", "<return>true</return>"));
    m_server->setOnRequest(nullptr);
    settings().qvlUrl = m_goodUrl;
    settings().qvlUserName = "clinic";
    settings().qvlPwd = "secret";
    QVERIFY(settings().saveSettings(SettingsQvlService));
    bridge().qvlRespCheckUser(false, false, true);
    // Alerts wait their turn: those of the last test are closed, each letting the next show.
    dismissAlerts(m_window);
    fired();
    AppHarness::warnings().clear();
}

void TstTelemedOnce::cleanup()
{
    QVERIFY(waitIdle());
    m_server->setOnRequest(nullptr);
    m_server->abortConnections();
    bridge().qvlComm()->setRequestDeadline(0);
    QVERIFY2(AppHarness::warnings().isEmpty(), qPrintable(AppHarness::warnings().join('\n')));
}

void TstTelemedOnce::serve(QvlServiceStore& store, const StandInRequest& r)
{
    store.serve(r);
    if (operationOf(r.body) == "Test" && passwordOf(r.body) == "wrong")
        m_server->setReply(500, soapFault(kAuthFault));
}

QStringList TstTelemedOnce::fired()
{
    QStringList names;
    for (auto& [name, spy] : m_alerts) {
        for (int i = 0; i < spy->size(); ++i)
            names << QString::fromLatin1(name);
        spy->clear();
    }
    return names;
}

bool TstTelemedOnce::waitForAlert(const QByteArray& name, int ms)
{
    return AppHarness::waitFor([&] { return !m_alerts[name]->isEmpty(); }, ms);
}

void TstTelemedOnce::secondSaveDuringACheck_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("verified");
    QTest::addColumn<QString>("shown");
    QTest::newRow("right, then wrong")
        << "secret" << "wrong" << false
        << "Not verified | Not verified: user name or password refused. Correct them and save again.";
    QTest::newRow("wrong, then right") << "wrong" << "secret" << true << "Verified | Account verified.";
}

// Saved while the check of the first password is still out: the answer about
// the first one is dropped, the second one is checked, and only its answer
// counts, on screen and in the database.
void TstTelemedOnce::secondSaveDuringACheck()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(bool, verified);
    QFETCH(QString, shown);
    QQuickItem* view = openSettings();
    QVERIFY(view);
    QvlServiceStore store(m_server);
    QStringList passwords;
    m_server->setOnRequest([this, &store, &passwords](const StandInRequest& r) {
        passwords << QString::fromUtf8(passwordOf(r.body));
        serve(store, r);
        // The first check is held until the second password is saved.
        if (passwords.size() == 1)
            m_server->setAction(QvlStandIn::Action::Hold);
    });
    bridge().updateQvlSettings("clinic", first, m_goodUrl);
    QVERIFY(AppHarness::waitFor([&] { return passwords.size() == 1; }));
    bridge().updateQvlSettings("clinic", second, m_goodUrl);
    // Busy with the first check: the second is being checked, not unreachable.
    QCOMPARE(accountStateShown(), QStringLiteral("Checking\u2026 | Checking the account with Quorvale\u2026"));
    QCOMPARE(settings().qvlAccountVerified, 0);
    m_server->releaseHeld();
    QVERIFY(AppHarness::waitFor([&] { return passwords.size() == 2; }));
    QVERIFY(waitIdle());
    m_server->setOnRequest(nullptr);
    QCOMPARE(passwords, (QStringList{first, second}));
    QCOMPARE(accountStateShown(), shown);
    QCOMPARE(ui("qvlAccountVerified").toBool(), verified);
    CSettingsMan stored(QStringLiteral("MalvorantQml"), bridge().dbMan()->database(), 1, 1);
    QCOMPARE(stored.qvlPwd, second);
    QCOMPARE(stored.qvlAccountVerified, verified ? 1 : 0);
    view->setProperty("visible", false);
    QVERIFY(fired().isEmpty());
}

void TstTelemedOnce::fileOnceFromTheScreen_data()
{
    QTest::addColumn<QString>("end");
    QTest::addColumn<bool>("gone"); // the service is gone right after it stored the file
    QTest::newRow("line cut after the file was stored") << "cut" << false;
    QTest::newRow("reply slower than the deadline") << "slow" << false;
    QTest::newRow("line cut, service gone, uploaded again") << "cut" << true;
}

// "Finish Later" while the line drops, or the answer comes too late, after
// the service stored the file: the program asks the service for the case's
// state and goes on without sending the file again; when the service is gone
// for that question, the upload confirmed again asks first. One copy, in one
// case, in the service's store; the recording holds that case.
void TstTelemedOnce::fileOnceFromTheScreen()
{
    QFETCH(QString, end);
    QFETCH(bool, gone);
    const int ecgId = makeAssignedRecording(30);
    QVERIFY(ecgId > 0);
    settleOtherRecordings({ecgId});
    bridge().selectNShowPatient(m_patientId, ecgId);
    QFile file(bridge().fileMan()->dataFolder() + bridge().fileMan()->currentFileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray sha = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);

    QvlServiceStore store(m_server);
    m_server->setOnRequest([&](const StandInRequest& r) {
        store.serve(r);
        if (gone && operationOf(r.body) == "AddFile")
            m_server->stopListening();
    });
    if (end == "slow") {
        bridge().qvlComm()->setRequestDeadline(1000);
        store.slowMs = 3000;
        store.nextAddFileEnd = QvlServiceStore::AddFileEnd::Slow;
    } else {
        store.nextAddFileEnd = QvlServiceStore::AddFileEnd::CutReset;
    }
    bridge().continueQvlUpload(ecgId, false);
    if (gone) {
        QVERIFY(waitForAlert("qmlAlertBoxQvlUploadFailed"));
        QVERIFY(waitIdle());
        QCOMPARE(row(ecgId).status, 1);
        // The cut's cause, in the case already opened; a retry is offered.
        const QVariantList args = m_alerts["qmlAlertBoxQvlUploadFailed"]->first();
        QCOMPARE(args.at(0).toInt(), ecgId);
        QVERIFY2(args.at(2).toString().contains("was interrupted: Quorvale could not be reached."),
                 qPrintable(args.at(2).toString()));
        QVERIFY(args.at(4).toBool());
        QObject* dialog = nullptr;
        QVERIFY(AppHarness::waitFor([&] { return (dialog = openAlert("QVL Connect Problem")) != nullptr; }));
        QMetaObject::invokeMethod(dialog, "reject");
        fired();
        QVERIFY(m_server->listenAgain());
        bridge().uploadClicked(false);
        QCOMPARE(fired(), QStringList{"qmlAlertBoxQvlAskUpload"});
        bridge().continueQvlUpload(ecgId, false);
    }
    QVERIFY(waitForAlert("qmlAlertBoxQvlUploadCompleted"));
    QVERIFY(waitIdle());
    bridge().qvlComm()->setRequestDeadline(0);
    m_server->setOnRequest(nullptr);
    if (end == "slow")
        QTest::qWait(2500); // the late answer has come and gone
    QCOMPARE(fired(), QStringList{"qmlAlertBoxQvlUploadCompleted"});
    QCOMPARE(store.ops.count("AddFile"), 1);
    QCOMPARE(store.ops.count("InitiateCase"), 1);
    QCOMPARE(store.cases.size(), 1);
    QCOMPARE(store.copiesOf(sha), 1);
    const Row done = row(ecgId);
    QCOMPARE(done.status, 3);
    QCOMPARE(done.caseId.toUtf8(), store.cases.first().id);
    QCOMPARE(store.cases.first().files.size(), 1);
    QCOMPARE(ui("fileQVLCaseUrl").toString(), done.caseUrl);
}

void TstTelemedOnce::closedCaseIsNotResumed_data()
{
    QTest::addColumn<bool>("background");
    QTest::addColumn<QByteArray>("state");
    QTest::addColumn<int>("statusAfter");
    QTest::newRow("cancelled, from the screen") << false << QByteArray("CANCELLED") << 7;
    QTest::newRow("cleared, in the background") << true << QByteArray("CLEARED") << 0;
}

// A case left half done whose state the service reports as closed: nothing
// is sent into it, the alert names the recording and says to upload it
// again; uploaded again, it goes in one new case, once.
void TstTelemedOnce::closedCaseIsNotResumed()
{
    QFETCH(bool, background);
    QFETCH(QByteArray, state);
    QFETCH(int, statusAfter);
    const int ecgId = makeAssignedRecording(30);
    QVERIFY(ecgId > 0);
    settleOtherRecordings({ecgId});
    bridge().selectNShowPatient(m_patientId, ecgId);
    QFile file(bridge().fileMan()->dataFolder() + bridge().fileMan()->currentFileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray sha = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);

    QvlServiceStore store(m_server);
    store.addCase("C-77", state);
    m_server->setOnRequest([&](const StandInRequest& r) { store.serve(r); });
    QVERIFY(bridge().fileMan()->setQvlCaseId(ecgId, "C-77"));
    if (background) {
        QVERIFY(bridge().fileMan()->queueForUpload(ecgId, true));
        bridge().qvlScheduler()->backgroundUploadTimerExpired();
    } else {
        bridge().continueQvlUpload(ecgId, false);
    }
    QVERIFY(waitForAlert("qmlAlertBoxQvlUploadFailed"));
    QVERIFY(waitIdle());
    const QVariantList args = m_alerts["qmlAlertBoxQvlUploadFailed"]->first();
    QCOMPARE(args.at(0).toInt(), ecgId);
    QCOMPARE(args.at(1).toString(), QStringLiteral("QVL Upload Failed"));
    const QString message = args.at(2).toString();
    QVERIFY2(message.startsWith("The ECG of Bella (Anna Lindqvist) recorded on "), qPrintable(message));
    QVERIFY2(message.endsWith(background ? " could not be sent to Quorvale in the background: "
                                           "Quorvale closed its case."
                                         : " could not be sent: Quorvale closed its case."),
             qPrintable(message));
    QVERIFY2(!message.contains("C-77"), qPrintable(message));
    const QString informative = args.at(3).toString();
    QVERIFY2(informative.startsWith("Upload it again for a new case."), qPrintable(informative));
    QCOMPARE(args.at(4).toBool(), false);
    QCOMPARE(fired(), QStringList{"qmlAlertBoxQvlUploadFailed"});
    QCOMPARE(store.ops.count("AddFile"), 0);
    QCOMPARE(store.ops.count("InitiateCase"), 0);
    QCOMPARE(row(ecgId).status, statusAfter);
    QCOMPARE(row(ecgId).caseId, QStringLiteral("C-77"));

    // Uploaded again: a new case, the file once.
    bridge().uploadClicked(false);
    QCOMPARE(fired(), QStringList{"qmlAlertBoxQvlAskUpload"});
    bridge().continueQvlUpload(ecgId, false);
    QVERIFY(waitForAlert("qmlAlertBoxQvlUploadCompleted"));
    QVERIFY(waitIdle());
    m_server->setOnRequest(nullptr);
    QCOMPARE(store.ops.count("AddFile"), 1);
    QCOMPARE(store.cases.size(), 2);
    QCOMPARE(store.copiesOf(sha), 1);
    const Row done = row(ecgId);
    QCOMPARE(done.status, 3);
    QVERIFY(done.caseId != "C-77");
    QCOMPARE(store.find(done.caseId.toUtf8())->files.size(), 1);
}

// The line drops during AddFile and the service refuses the credentials of
// the question that follows: the user reads that the credentials were
// refused (not a lost line), no retry is offered, and the account is no
// longer verified. Nothing is sent twice.
void TstTelemedOnce::refusedQuestionAfterACutSaysSo()
{
    const int ecgId = makeAssignedRecording(30);
    QVERIFY(ecgId > 0);
    settleOtherRecordings({ecgId});
    bridge().selectNShowPatient(m_patientId, ecgId);
    QvlServiceStore store(m_server);
    store.nextAddFileEnd = QvlServiceStore::AddFileEnd::CutReset;
    m_server->setOnRequest([&](const StandInRequest& r) {
        store.serve(r);
        if (operationOf(r.body) == "GetModifiedServices")
            m_server->setReply(500, soapFault(kAuthFault));
    });
    bridge().continueQvlUpload(ecgId, false);
    QVERIFY(waitForAlert("qmlAlertBoxQvlUploadFailed"));
    QVERIFY(waitIdle());
    m_server->setOnRequest(nullptr);
    const QVariantList args = m_alerts["qmlAlertBoxQvlUploadFailed"]->first();
    QCOMPARE(fired(), QStringList{"qmlAlertBoxQvlUploadFailed"});
    QCOMPARE(args.at(0).toInt(), ecgId);
    QVERIFY2(args.at(2).toString().endsWith(
                 " was interrupted: Quorvale refused the user name or password."),
             qPrintable(args.at(2).toString()));
    QCOMPARE(args.at(4).toBool(), false);
    QCOMPARE(settings().qvlAccountVerified, 0);
    QCOMPARE(store.ops, (QList<QByteArray>{"Test", "InitiateCase", "AddFile", "GetModifiedServices"}));
    QCOMPARE(row(ecgId).status, 1);
    settleOtherRecordings({});
}

QTEST_MAIN(TstTelemedOnce)
#include "tst_telemedonce.moc"
