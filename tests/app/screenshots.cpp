// Pictures of the screens for a person to look at: the main window in each
// display state, the splash screen with the terms, every alert. Run by
// `make screenshots` under Xvfb (xcb, OpenGL); writes PNGs into the folder
// given as the first argument.
//
// To add a screen, add a row to shots(): a name and what to do before the
// picture is taken. Every open popup is closed after each picture.

#include "appharness.h"
#include "ecgchart.h"
#include "ecgrecords.h"
#include "embeddedbrowser.h"
#include "fileman.h"
#include "isolatedhome.h"
#include "liveview.h"
#include "qmlitems.h"
#include "qmlmodule.h"
#include "qvltexts.h"
#include "settingsman.h"
#include "synthecg.h"
#include "updateandterms.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QQuickWindow>
#include <QTest>
#include <QtQml/qqmlmoduleregistration.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

static const QQmlModuleRegistration malvorantModule("Malvorant", qml_register_types_Malvorant);

using namespace qml;

namespace {

struct Context {
    AppHarness& app;
    QQuickWindow* window;
    int patientId;
    int emptyPatientId;
    int ecgId;
    int pendingEcgId = -1; // a recording that waits for its patient

    CQmlInterface& bridge() { return app.bridge(); }
    QmlItems& items() { return app.bridge().items(); }
    QObject* item(Item i) { return items().object(i); }
};

struct Shot {
    const char* name;
    std::function<void(Context&)> before;
};

// A recording a vet would take from a medium-sized dog: 1.6 mV R waves in
// lead II at 110 bpm, a little noise and breathing in the baseline.
int makeDogRecording(AppHarness& app, int patientId, int seconds)
{
    const double unitsPerMv = 1000.0 / 5.2;
    SynthEcgParams p;
    p.heartRate = 110;
    p.amplitude = 1.6 * unitsPerMv;
    p.noise = 0.01 * unitsPerMv;
    p.baselineWander = 0.05 * unitsPerMv;
    p.rrVariation = 0.04;
    CSynthEcg ecg(p);
    CFileMan& f = *app.bridge().fileMan();
    if (!f.ecgFileCreate(patientId, "Bella", "Anna", "Lindqvist", "P-1042", 0, 2, 4, QString()))
        return -1;
    const int leadIn = 2499;
    for (int i = 0; i < seconds * CSynthEcg::kSampleRate; ++i) {
        const SynthEcgSample v = ecg.next();
        EcgStreamSample s{};
        s.leadI = static_cast<float>(v.leadI);
        s.leadII = static_cast<float>(v.leadII);
        s.type = i < leadIn ? 45 : 0;
        if (!f.addEntry(s))
            return -1;
    }
    return f.ecgFileCreateEnd() ? f.currentEcgId() : -1;
}

void settle(int ms = 400)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// The recording shown in state 0 and 4.
void showRecording(Context& c, int state)
{
    c.bridge().selectNShowPatient(c.patientId, c.ecgId);
    c.bridge().setUiDataDisplayState(state);
}

// The live view with a connected device whose lead-in has passed.
void showLive(Context& c, int state)
{
    c.bridge().selectNShowPatient(c.patientId, c.ecgId);
    c.bridge().setUiDataDisplayState(state);
    QObject* ui = c.item(Item::UiData);
    ui->setProperty("isBtConnected", true);
    ui->setProperty("isLeadInComplete", true);
    ui->setProperty("inputDescriptiveName", QStringLiteral("Kx-2041"));
    ui->setProperty("tmpSpecies", 1);
}

// The viewer as the top area's buttons set it: mode, gain and speed indexes
// of the lists the user picks from.
void setViewer(Context& c, int modeIdx, int gainIdx, int speedIdx)
{
    QObject* ui = c.item(Item::UiData);
    ui->setProperty("ecgDisplayModeIdx", modeIdx);
    ui->setProperty("ecgGainIdx", gainIdx);
    ui->setProperty("ecgSpeedIdx", speedIdx);
    QMetaObject::invokeMethod(ui, "sendViewerParams", Q_ARG(QVariant, true));
}

// Where each live trace runs over the last second, in millimetres from its
// zero line (a chart unit of y is 100 mm at every gain), for the reader of
// the picture. The device's words sit at mid-scale (6.3 mV); the decoder's
// 0.05 Hz high-pass starts settled on the first value, so the baselines lie
// on their zero lines from the start instead of swinging in from the offset.
void printBaselines(Context& c, const char* name)
{
    const EcgChart& chart = c.bridge().chart();
    const LiveView& live = c.bridge().liveView();
    const EcgModeLayout* layout = EcgChart::modeLayout(chart.displayMode());
    const int length = chart.sweepLength();
    if (!layout || length <= 0)
        return;
    const int d = chart.decimationFactor();
    const int span = std::min(length, d <= 1 ? CSynthEcg::kSampleRate : 2 * CSynthEcg::kSampleRate / d);
    std::printf("%s: %.1f s streamed; baselines", name, live.sampleCount() / double(CSynthEcg::kSampleRate));
    for (int j = 0; j < layout->traces; ++j) {
        double sum = 0;
        for (int i = 1; i <= span; ++i)
            sum += live.point(j, (chart.sweepPosition() - i + length) % length).y();
        std::printf(" %s %+.1f mm", layout->label[j], (sum / span - layout->offset[j]) * 100.0);
    }
    std::printf("\n");
}

} // namespace

#include "viewshots.h"
#include "dicomshots.h"
#include "importshots.h"

namespace {
QList<QObject*> openPopups(QQuickWindow* window);

std::vector<Shot> shots()
{
    std::vector<Shot> list;
    // The display states.
    list.push_back({"state0-assigned-recording", [](Context& c) { showRecording(c, 0); }});
    list.push_back({"state1-streaming", [](Context& c) { showLive(c, 1); }});
    // A search for devices stopped the monitor's stream: no trace, no rate,
    // Record off, and the screen says so.
    list.push_back({"state1-stream-stopped", [](Context& c) {
        showLive(c, 1);
        QObject* ui = c.item(Item::UiData);
        ui->setProperty("isBtConnected", false);
        ui->setProperty("isLeadInComplete", false);
        ui->setProperty("streamRefreshTimerRunning", false);
        ui->setProperty("showBeatsPerMinute", true);
        c.items().invoke<C::QmlHideEcg>();
    }});
    list.push_back({"state2-recording", [](Context& c) {
        showLive(c, 2);
        c.item(Item::UiData)->setProperty("recordingTime", 60);
        c.item(Item::UiData)->setProperty("recordingTime10th", 230);
        c.item(Item::BottomArea)->setProperty("elapsedSeconds", 23);
        c.item(Item::UiData)->setProperty("batteryLowIndicator", true);
    }});
    list.push_back({"state3-no-recording", [](Context& c) {
        c.item(Item::UiData)->setProperty("batteryLowIndicator", false);
        c.bridge().selectNShowPatient(c.emptyPatientId, -1);
    }});
    list.push_back({"state4-unassigned-recording", [](Context& c) {
        c.bridge().fileSelectedLocal(0, c.pendingEcgId);
        c.items().set<P::ButtonActionImgType>(2);
    }});
    list.push_back({"state4-recordings-recovered", [](Context& c) {
        c.bridge().fileSelectedLocal(0, c.pendingEcgId);
        c.items().set<P::ButtonActionImgType>(2);
        c.items().invoke<C::QmlAlertBoxRecordingsRecovered>(3);
    }});
    list.push_back({"state4-recording-link-lost", [](Context& c) {
        c.bridge().fileSelectedLocal(0, c.pendingEcgId);
        c.items().set<P::ButtonActionImgType>(2);
        c.items().invoke<C::QmlAlertBoxRecordingLinkLost>(23);
    }});
    // A recording waiting for its patient lies on its paper, as any shown one.
    list.push_back({"state4-unassigned-recording-grid", [](Context& c) {
        c.bridge().fileSelectedLocal(0, c.pendingEcgId);
        c.items().set<P::ButtonActionImgType>(2);
        c.items().invoke<C::QmlInitGrid>(1);
    }});
    // The New Patient form for the recording just made, of a cat.
    list.push_back({"state4-new-patient-species", [](Context& c) {
        c.items().invoke<C::QmlInitGrid>(3);
        const int cat = c.app.makeRecording(0, 12, 2499, 3);
        c.bridge().fileSelectedLocal(0, cat);
        c.items().set<P::ButtonActionImgType>(2);
        QObject* view = viewshots::openView(c, "patients", false);
        QMetaObject::invokeMethod(view, "openNewPatient");
    }});
    list.push_back({"state0-telemedicine-verified", [](Context& c) {
        viewshots::closeViews(c);
        c.bridge().ecgPatientAssignmentAborted();
        showRecording(c, 0);
        c.items().set<P::QvlAccountVerified>(true);
        c.items().set<P::FilePacsStatus>(2);
        c.items().set<P::FileQvlCaseId>(QStringLiteral("QV-20931"));
        c.items().set<P::FileQvlCaseStatus>(QStringLiteral("in process"));
    }});
    // Every alert of the bottom area, over the shown recording.
    auto alert = [&list](const char* name, std::function<void(QmlItems&)> raise) {
        list.push_back({name, [raise](Context& c) {
            showRecording(c, 0);
            raise(c.items());
        }});
    };
    alert("alert-file-write-error-create", [](QmlItems& i) { i.invoke<C::QmlAlertBoxFileWriteError>(true); });
    alert("alert-file-write-error-write", [](QmlItems& i) { i.invoke<C::QmlAlertBoxFileWriteError>(false); });
    alert("alert-file-read-error", [](QmlItems& i) { i.invoke<C::QmlAlertBoxFileReadError>(QString()); });
    alert("alert-file-read-reason", [](QmlItems& i) {
        i.invoke<C::QmlAlertBoxFileReadError>(QStringLiteral(
            "It holds only leads V1, V2, V3, V4, V5, V6; this program needs lead I, II or III, or two limb leads."));
    });
    alert("alert-export-error", [](QmlItems& i) { i.invoke<C::QmlAlertBoxExportError>(QString()); });
    alert("alert-export-nothing-shown", [](QmlItems& i) {
        i.invoke<C::QmlAlertBoxExportError>(
            QStringLiteral("No saved ECG is shown. Open one under \"Saved ECGs\", then save it to PDF."));
    });
    alert("alert-replace-file", [](QmlItems& i) {
        i.invoke<C::QmlAlertBoxReplaceFile>(QStringLiteral("Bella_12_17_20240101_101500.pdf"),
                                            QStringLiteral("/home/vet/Reports"));
    });
    alert("alert-no-network", [](QmlItems& i) { i.invoke<C::QmlAlertBoxNoNetwork>(7, true); });
    alert("alert-no-network-sync", [](QmlItems& i) { i.invoke<C::QmlAlertBoxNoNetworkSync>(7, true); });
    alert("alert-qvl-already-uploaded", [](QmlItems& i) { i.invoke<C::QmlAlertBoxQvlFileAlreadyUploaded>(7); });
    alert("alert-qvl-ask-upload", [](QmlItems& i) { i.invoke<C::QmlAlertBoxQvlAskUpload>(7); });
    alert("alert-qvl-short-file", [](QmlItems& i) { i.invoke<C::QmlAlertBoxQvlShortFileUpload>(14); });
    alert("alert-qvl-comm-error", [](QmlItems& i) {
        i.invoke<C::QmlAlertBoxQvlCommError>(QStringLiteral("Server replied: the user name or password is not valid"));
    });
    // Failed uploads as the bridge words them, for the recording on screen.
    static const struct {
        const char* name;
        qvltexts::Cause cause;
        qvltexts::Road road;
        const char* lastError;
    } failures[] = {
        {"alert-qvl-upload-unreachable", qvltexts::Cause::Unreachable, qvltexts::Road::Upload, ""},
        {"alert-qvl-upload-credentials", qvltexts::Cause::CredentialsRefused, qvltexts::Road::Upload, ""},
        {"alert-qvl-upload-interrupted", qvltexts::Cause::Timeout, qvltexts::Road::UploadInterrupted, ""},
        {"alert-qvl-background-retried", qvltexts::Cause::ServiceFault, qvltexts::Road::BackgroundRetried, ""},
        {"alert-qvl-upload-case-closed", qvltexts::Cause::CaseClosed, qvltexts::Road::Upload, ""},
        {"alert-qvl-background-given-up", qvltexts::Cause::Local, qvltexts::Road::BackgroundGivenUp,
         "Unable to load data for file=x.ecg"},
    };
    for (const auto& f : failures) {
        list.push_back({f.name, [f](Context& c) {
            showRecording(c, 0);
            const qvltexts::Alert a = qvltexts::uploadFailure(
                f.cause, f.road, qvltexts::recordingName(*c.bridge().dbMan()->database(), c.ecgId),
                QString::fromLatin1(f.lastError));
            c.items().invoke<C::QmlAlertBoxQvlUploadFailed>(c.ecgId, a.title, a.text,
                                                            a.informativeText, a.offerQueue);
        }});
    }
    // A background failure while the queue question is open waits behind it,
    // and shows once the question is answered (closed after the picture).
    list.push_back({"alert-queue-question-first", [](Context& c) {
        showRecording(c, 0);
        c.items().invoke<C::QmlAlertBoxNoNetworkSync>(c.ecgId, true);
        const qvltexts::Alert a = qvltexts::uploadFailure(
            qvltexts::Cause::Unreachable, qvltexts::Road::BackgroundRetried,
            qvltexts::recordingName(*c.bridge().dbMan()->database(), c.ecgId), QString());
        c.items().invoke<C::QmlAlertBoxQvlUploadFailed>(c.ecgId, a.title, a.text,
                                                        a.informativeText, a.offerQueue);
    }});
    list.push_back({"alert-queue-background-follows", [](Context&) {}});
    alert("alert-qvl-upload-completed", [](QmlItems& i) { i.invoke<C::QmlAlertBoxQvlUploadCompleted>(); });
    alert("alert-dcm-comm-error", [](QmlItems& i) {
        i.invoke<C::QmlAlertBoxDcmCommError>(QStringLiteral("Association rejected by the peer (9912)"));
    });
    alert("alert-dcm-upload-completed", [](QmlItems& i) { i.invoke<C::QmlAlertBoxDcmUploadCompleted>(); });
    alert("ecg-update-available", [](QmlItems& i) { i.invoke<C::UpdateDialog>(); });
    alert("ecg-no-updates", [](QmlItems& i) { i.invoke<C::NoUpdates>(); });

    list.push_back({"species-selector", [](Context& c) {
        showLive(c, 1);
        c.item(Item::UiData)->setProperty("selectedSpecies", 0);
        c.items().invoke<C::QmlDoStreaming>();
    }});
    list.push_back({"left-drawer", [](Context& c) {
        showRecording(c, 0);
        for (QObject* o : c.window->findChildren<QObject*>()) {
            if (QByteArray(o->metaObject()->className()).startsWith("TopHeader"))
                QMetaObject::invokeMethod(o, "menuRequested");
        }
    }});
    list.push_back({"about-dialog", [](Context& c) {
        showRecording(c, 0);
        QMetaObject::invokeMethod(c.window, "openAbout");
    }});
    // The help boxes of the two live warnings, as their drawers' help opens
    // them: the warning opens its drawer, then its help is asked for.
    static const struct {
        const char* picture;
        const char* warning;
        const char* drawer;
    } helps[] = {{"help-interference", "qmlInterferenceWarning", "DrawerInterference"},
                 {"help-lead-placement", "qmlLeadWarning", "DrawerLeadWarning"}};
    for (const auto& help : helps) {
        list.push_back({help.picture, [help](Context& c) {
            showRecording(c, 0);
            QMetaObject::invokeMethod(c.item(Item::BottomArea), help.warning);
            for (QObject* o : c.window->findChildren<QObject*>()) {
                if (QByteArray(o->metaObject()->className()).startsWith(help.drawer))
                    QMetaObject::invokeMethod(o, "helpRequested");
            }
        }});
    }
    list.push_back({"browser-terms-page", [](Context& c) {
        showRecording(c, 0);
        QMetaObject::invokeMethod(c.window, "openBrowser", Q_ARG(QVariant, QUrl("qrc:/qml/win/html/tuc.html")),
                                  Q_ARG(QVariant, QStringLiteral("Malvorant Terms of Use")),
                                  Q_ARG(QVariant, false));
        settle(3000);
    }});
    // The telemedicine settings in each state of the account: verified,
    // checking, and each reason it is not.
    static const struct {
        const char* name;
        int verified;
        int problem;
    } accountStates[] = {{"view-settings-telemedicine-verified", 1, 0},
                         {"view-settings-telemedicine-checking", 0, 1},
                         {"view-settings-telemedicine-not-checked", 0, 0},
                         {"view-settings-telemedicine-incomplete", 0, 2},
                         {"view-settings-telemedicine-credentials-refused", 0, 3},
                         {"view-settings-telemedicine-unreachable", 0, 4},
                         {"view-settings-telemedicine-clock", 0, 5},
                         {"view-settings-telemedicine-refused", 0, 6}};
    for (const auto& state : accountStates) {
        list.push_back({state.name, [state](Context& c) {
            CSettingsMan& s = *c.bridge().settingsMan();
            s.qvlUserName = QStringLiteral("vet@tierklinik-sued.example");
            s.qvlPwd = QStringLiteral("correct horse");
            s.qvlUrl = QString::fromLatin1(CSettingsMan::kDefaultQvlUrl);
            QObject* view = viewshots::openView(c, "settings");
            view->setProperty("openedAccordion", 0);
            view->setProperty("initializerQvlAccountVerified", state.verified);
            view->setProperty("initializerQvlAccountProblem", state.problem);
        }});
    }
    viewshots::addRows(list);
    dicomshots::addRows(list);
    importshots::addRows(list);
    // The simulated device's ECG a few seconds after "New ECG", as a newcomer sees it.
    list.push_back({"live-simulated-device", [](Context& c) {
        showRecording(c, 0);
        c.item(Item::UiData)->setProperty("showHeartRateActive", true);
        setViewer(c, 1, 2, 3); // Einthoven, 10 mm/mV, 25 mm/s
        for (QObject* o : c.window->findChildren<QObject*>()) {
            if (o->inherits("QQuickAbstractButton") && o->property("text").toString() == "New ECG")
                QMetaObject::invokeMethod(o, "clicked");
        }
        c.items().invoke<C::QmlInitGrid>(1);
        // The species question that follows the first samples: a dog.
        AppHarness::waitFor([&] { return c.item(Item::UiData)->property("isBtConnected").toBool(); }, 15000);
        // The question comes once streaming is under way: wait for it, then answer.
        AppHarness::waitFor([&] {
            for (QObject* o : c.window->findChildren<QObject*>()) {
                if (o->inherits("QQuickAbstractButton") && o->property("text").toString() == "Canine"
                    && o->property("visible").toBool()) {
                    QMetaObject::invokeMethod(o, "clicked");
                    return true;
                }
            }
            return false;
        }, 15000);
        // The analysis learns the beats.
        settle(12000);
        printBaselines(c, "live-simulated-device");
    }});
    // The same stream once the decoder's high-pass has settled.
    list.push_back({"live-simulated-device-settled", [](Context& c) {
        AppHarness::waitFor([&] { return c.bridge().liveView().sampleCount() >= 30 * CSynthEcg::kSampleRate; },
                            40000);
        printBaselines(c, "live-simulated-device-settled");
    }});
    // The live view over each grid: the raster is drawn once into a layer and
    // hidden for "none"; the pictures must show the same paper as before.
    static const char* const grids[] = {"live-grid-fine", "live-grid-medium", "live-grid-coarse", "live-grid-none"};
    for (int grid = 0; grid < 4; ++grid) {
        list.push_back({grids[grid], [grid](Context& c) { c.items().invoke<C::QmlInitGrid>(grid); }});
    }
    // The live view at the smallest window in each display mode: the heart
    // rate's box over the chart, the lead labels clear of their traces.
    static const struct {
        const char* name;
        int modeIdx;
    } liveModes[] = {{"live-single-lead-minimum-window", 0},
                     {"live-three-leads-minimum-window", 1},
                     {"live-six-leads-minimum-window", 2}};
    for (const auto& mode : liveModes) {
        list.push_back({mode.name, [mode](Context& c) {
            c.items().invoke<C::QmlInitGrid>(1);
            c.window->setGeometry(0, 0, 1024, 768);
            setViewer(c, mode.modeIdx, 2, 3);
            settle(4000);
        }});
    }
    list.push_back({"after-live-stopped", [](Context& c) {
        c.window->setGeometry(0, 0, 1280, 800);
        setViewer(c, 1, 2, 3);
        c.items().invoke<C::QmlInitGrid>(1);
        c.bridge().setUiDataDisplayState(0);
        c.bridge().streamStartStop(false);
        showRecording(c, 0);
    }});
    // The top area at the smallest window with the most it can hold: a
    // telemedicine case and the ECG Storage mark; long names.
    list.push_back({"state0-telemedicine-minimum-window", [](Context& c) {
        c.window->setGeometry(0, 0, 1024, 768);
        showRecording(c, 0);
        c.items().set<P::FilePacsStatus>(2);
        c.items().set<P::FileQvlCaseId>(QStringLiteral("QV-20931"));
        c.items().set<P::FileQvlCaseStatus>(QStringLiteral("needs attention"));
    }});
    list.push_back({"state0-long-names-minimum-window", [](Context& c) {
        c.window->setGeometry(0, 0, 1024, 768);
        const int id = c.bridge().patientMan()->createPatient(
            "Princess Anastasia Wilhelmina of the Sunny Meadow Kennels", "KX-2024-000871-B",
            "Maximiliane Charlotte", "Oberhauser-Wittgenstein von Lindenfels", 2, 4, 31.25f, 0,
            "Nova Scotia Duck Tolling Retriever", 1262304000, QString(), QString());
        const int ecgId = makeDogRecording(c.app, id, 20);
        c.bridge().selectNShowPatient(id, ecgId);
        c.bridge().setUiDataDisplayState(0);
        c.items().set<P::FilePacsStatus>(2);
        c.items().set<P::FilePacsQueue>(1);
        c.items().set<P::FileQvlCaseId>(QStringLiteral("QV-2024-0012345678"));
        c.items().set<P::FileQvlCaseStatus>(QStringLiteral("receipt failure"));
    }});
    list.push_back({"state3-no-recording-minimum-window", [](Context& c) {
        c.window->setGeometry(0, 0, 1024, 768);
        c.bridge().selectNShowPatient(c.emptyPatientId, -1);
    }});
    list.push_back({"state0-six-leads-minimum-window", [](Context& c) {
        c.window->setGeometry(0, 0, 1024, 768);
        showRecording(c, 0);
        setViewer(c, 2, 2, 3);
    }});
    // Last: the smallest window the program allows.
    list.push_back({"state0-minimum-window", [](Context& c) {
        c.window->setGeometry(0, 0, 1024, 768);
        setViewer(c, 1, 2, 3);
        showRecording(c, 0);
    }});
    return list;
}

QList<QObject*> openPopups(QQuickWindow* window)
{
    QList<QObject*> open;
    for (QObject* o : window->findChildren<QObject*>()) {
        if (o->inherits("QQuickPopup") && o->property("visible").toBool())
            open << o;
    }
    return open;
}

bool save(QQuickWindow* window, const QString& folder, const QString& name)
{
    settle();
    const QImage image = window->grabWindow();
    const QString path = QDir(folder).filePath(name + ".png");
    if (image.isNull() || !image.save(path)) {
        std::fprintf(stderr, "screenshots: could not write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s (%dx%d)\n", qPrintable(path), image.width(), image.height());
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    IsolatedHome home;
    // "New ECG" finds and streams the simulated device.
    qputenv("MALVORANT_DEVICE", "simulated");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QQuickWindow::setGraphicsApi(QSGRendererInterface::OpenGL);
    platform::prepareEmbeddedBrowser();
    QApplication application(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(folder);

    AppHarness app;
    QQuickWindow* window = app.load();
    if (!window) {
        std::fprintf(stderr, "screenshots: main.qml did not load\n");
        return 1;
    }
    window->setGeometry(0, 0, 1280, 800);
    AppHarness::waitFor([&] { return app.bridge().updateAndTerms().setupCount() > 0; });

    bool ok = save(window, folder, "splash-terms");

    // Accept the terms as the user does.
    for (QObject* o : window->findChildren<QObject*>()) {
        if (o->inherits("QQuickAbstractButton") && o->property("text").toString() == "Accept")
            QMetaObject::invokeMethod(o, "clicked");
    }

    Context context{app, window, app.makePatient(), -1, -1};
    context.ecgId = makeDogRecording(app, context.patientId, 40);
    context.pendingEcgId = makeDogRecording(app, 0, 30);
    context.emptyPatientId = app.bridge().patientMan()->createPatient(
        "Milo", "P-2077", "", "Okafor", 3, 3, 4.2f, 0, "Maine Coon", 1514764800, QString(), QString());

    for (const Shot& shot : shots()) {
        shot.before(context);
        ok = save(window, folder, QString::fromLatin1(shot.name)) && ok;
        for (QObject* popup : openPopups(window))
            QMetaObject::invokeMethod(popup, "close");
        settle(100);
    }

    // The web engine registers types of its own that Qt itself warns about.
    QStringList warnings = AppHarness::warnings();
    // The browser engine loads with the first page, after the application
    // object, and says so; the program prepared what it needs before it.
    warnings.removeIf([](const QString& w) {
        return (w.startsWith("QWebEngine") && w.contains("You should not use it as a QML type"))
               || w.startsWith("QtWebEngineQuick::initialize() called with QCoreApplication object already created");
    });
    for (const QString& w : warnings)
        std::fprintf(stderr, "warning: %s\n", qPrintable(w));
    return ok && warnings.isEmpty() ? 0 : 1;
}
