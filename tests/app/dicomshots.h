#ifndef MALVORANT_TESTS_DICOMSHOTS_H
#define MALVORANT_TESTS_DICOMSHOTS_H

// The screenshot rows of the DICOM servers' states: the DICOM settings with
// each server's test result, a recording's place in the ECG Storage queue and
// the alert of a failed send. Included by screenshots.cpp after viewshots.h.

#include "dicomtexts.h"
#include "headerlesscheck.h"
#include "screenclicks.h"
#include "uitexts.h"

namespace dicomshots {

// The DICOM section as a clinic fills it, with the two test lines.
inline void showDicomSettings(Context& c, int mwlState, const QString& mwlLine, int pacsState,
                              const QString& pacsLine)
{
    QObject* view = viewshots::openView(c, "settings");
    // A PACS not configured has its fields empty.
    const bool pacs = pacsState != dicomtexts::TestNotConfigured;
    const QList<std::pair<const char*, QVariant>> values = {
        {"initializerDcmLocalAe", "MALVORANT"}, {"initializerDcmLocalPort", 11112},
        {"initializerDcmInstName", "Clinic Nord"}, {"initializerDcmLocalIpAddress", "192.168.20.14"},
        {"initializerDcmMwlAe", "WLMSCP"}, {"initializerDcmMwlIp", "192.168.20.2"},
        {"initializerDcmMwlPort", 104}, {"initializerDcmPacsAe", pacs ? "ECGSTORE" : ""},
        {"initializerDcmPacsIp", pacs ? "192.168.20.3" : ""}, {"initializerDcmPacsPort", pacs ? 11112 : 0}};
    for (const auto& [name, value] : values)
        view->setProperty(name, value);
    QMetaObject::invokeMethod(view, "loadFromInitializers");
    view->setProperty("openedAccordion", 7);
    view->setProperty("dcmMwlTestState", mwlState);
    view->setProperty("dcmMwlTestText", mwlLine);
    view->setProperty("dcmPacsTestState", pacsState);
    view->setProperty("dcmPacsTestText", pacsLine);
}

inline DcmFailure failureOf(DcmFailureKind kind)
{
    DcmFailure f;
    f.kind = kind;
    f.calledTitle = "ECGSTORE";
    f.callingTitle = "MALVORANT";
    return f;
}

inline void addRows(std::vector<Shot>& list)
{
    using namespace dicomtexts;
    list.push_back({"view-settings-dicom-passed", [](Context& c) {
        showDicomSettings(c, TestPassed, testState(TestPassed), TestPassed, testState(TestPassed));
    }});
    list.push_back({"view-settings-dicom-testing", [](Context& c) {
        showDicomSettings(c, TestRunning, testState(TestRunning), TestRunning, testState(TestRunning));
    }});
    list.push_back({"view-settings-dicom-rejected-refused", [](Context& c) {
        showDicomSettings(c, TestFailed, testFailure(failureOf(DcmFailureKind::Rejected), QString()),
                          TestFailed, testFailure(failureOf(DcmFailureKind::Refused), QString()));
    }});
    list.push_back({"view-settings-dicom-no-answer-not-configured", [](Context& c) {
        showDicomSettings(c, TestFailed, testFailure(failureOf(DcmFailureKind::NoAnswer), QString()),
                          TestNotConfigured, testState(TestNotConfigured));
    }});
    list.push_back({"view-settings-dicom-bad-setting", [](Context& c) {
        showDicomSettings(c, TestPassed, testState(TestPassed), TestFailed,
                          testFailure(failureOf(DcmFailureKind::Settings),
                                      QStringLiteral("The PACS AE title \"ECG STORAGE OF THE CLINIC\" is "
                                                     "longer than 16 characters")));
    }});

    // The shown recording in the ECG Storage queue.
    auto queued = [](Context& c, int state, const QString& why, const DcmFailure& f = DcmFailure()) {
        viewshots::closeViews(c);
        showRecording(c, 0);
        c.items().set<qml::P::FilePacsQueue>(state);
        c.items().set<qml::P::FilePacsQueueText>(why);
        c.items().set<qml::P::FilePacsQueueReason>(setAsideReason(f));
    };
    list.push_back({"state0-pacs-waiting", [queued](Context& c) { queued(c, 1, QString()); }});
    // The settings in the smallest window: the DICOM groups one under
    // another where three do not fit, the device's name beside "Bluetooth"
    // (the stored one is put back for the rows after).
    auto withDevice = [](Context& c, const std::function<void()>& open) {
        QString& stored = c.bridge().settingsMan()->bzdevice;
        const QString before = stored;
        stored = QStringLiteral("Kx-2041 Simulated");
        open();
        stored = before;
    };
    list.push_back({"view-settings-dicom-minimum-window", [withDevice](Context& c) {
        c.window->setGeometry(0, 0, 1024, 768);
        withDevice(c, [&c] {
            showDicomSettings(c, TestFailed, testFailure(failureOf(DcmFailureKind::Refused), QString()),
                              TestPassed, testState(TestPassed));
        });
    }});
    list.push_back({"view-settings-bluetooth-minimum-window", [withDevice](Context& c) {
        withDevice(c, [&c] { viewshots::openView(c, "settings")->setProperty("openedAccordion", 1); });
    }});
    // In the smallest window.
    list.push_back({"state0-pacs-waiting-minimum-window", [queued](Context& c) {
        c.window->setGeometry(0, 0, 1024, 768);
        queued(c, 1, QString());
    }});
    list.push_back({"state0-pacs-sending", [queued](Context& c) {
        c.window->setGeometry(0, 0, 1280, 800);
        queued(c, 2, QString());
    }});
    list.push_back({"state0-pacs-not-sent-details", [queued](Context& c) {
        queued(c, 3, failure(failureOf(DcmFailureKind::Recording), QString(), Server::Pacs),
               failureOf(DcmFailureKind::Recording));
        // The user clicks the recording's facts.
        if (auto* facts = qobject_cast<QQuickItem*>(screen::find(c.window, QStringLiteral("recordingDetails"))))
            QTest::mouseClick(c.window, Qt::LeftButton, {},
                              facts->mapToScene(QPointF(20, facts->height() / 2)).toPoint());
    }});
    // A recording whose file is no recording: why, beside the mark, in the
    // smallest window and the usual one.
    auto damaged = [] {
        EcgFileRecord r{};
        r.type = -23956;
        CHeaderlessCheck check(sizeof(r));
        check.add(&r, 1);
        DcmFailure f = failureOf(DcmFailureKind::Recording);
        f.reason = check.reason();
        return f;
    };
    list.push_back({"state0-pacs-not-sent-damaged-minimum-window", [queued, damaged](Context& c) {
        c.window->setGeometry(0, 0, 1024, 768);
        queued(c, 3, failure(damaged(), QString(), Server::Pacs), damaged());
    }});
    list.push_back({"state0-pacs-not-sent-refused", [queued](Context& c) {
        c.window->setGeometry(0, 0, 1280, 800);
        DcmFailure f = failureOf(DcmFailureKind::ObjectRefused);
        f.status = 0xA900;
        queued(c, 3, failure(f, QString(), Server::Pacs), f);
    }});
    list.push_back({"alert-file-refused", [queued, damaged](Context& c) {
        queued(c, 0, QString());
        c.items().invoke<qml::C::QmlAlertBoxFileReadError>(
            uitexts::refusedRecording(QString::fromStdString(damaged().reason)));
    }});
    list.push_back({"alert-dcm-send-failed", [queued](Context& c) {
        queued(c, 1, QString());
        c.items().invoke<qml::C::QmlAlertBoxDcmCommError>(
            sendFailure(failureOf(DcmFailureKind::Refused), QString()));
    }});
    list.push_back({"alert-dcm-fetch-wrong-title", [](Context& c) {
        viewshots::closeViews(c);
        showRecording(c, 0);
        DcmFailure f = failureOf(DcmFailureKind::WrongPeerTitle);
        f.peerTitle = "ORTHANC";
        c.items().invoke<qml::C::QmlAlertBoxDcmCommError>(failure(f, QString(), Server::Pacs));
    }});
    // Back to no queue for the rows after.
    list.push_back({"state0-pacs-sent", [queued](Context& c) {
        queued(c, 0, QString());
        c.items().set<qml::P::FilePacsStatus>(2);
    }});
}

} // namespace dicomshots

#endif
