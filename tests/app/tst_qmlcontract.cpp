// The contract between the bridge and the QML: every property the bridge
// writes and every signal it invokes exists on its item, with its type, and
// the screens load without a single warning.

#include "appharness.h"
#include "isolatedhome.h"
#include "qmlitems.h"
#include "qmlmodule.h"
#include "settingsman.h"
#include "updateandterms.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QRegularExpression>
#include <QtQml/qqmlmoduleregistration.h>
#include <QtTest>

static IsolatedHome isolatedHome;
static const QQmlModuleRegistration malvorantModule("Malvorant", qml_register_types_Malvorant);

using qml::Item;

Q_DECLARE_METATYPE(qml::Item)

// Stands in for the bridge where a screen file is loaded on its own, so its
// start values are seen before any bridge writes to it.
class BridgeStandIn : public QObject
{
    Q_OBJECT
public:
    QObject* uiData = nullptr;
public slots:
    void setUiDefsObject(QObject*) {}
    void setUiDataObject(QObject* o) { uiData = o; }
    void setGridChartObject(QObject*) {}
    int getOsType() { return 0; }
    void setupCompleted() {}
    // Values none of the lists holds: each index falls to its list's middle.
    int getUiDataEcgModeValue() { return -1; }
    double getUiDataGainValue() { return 7.0; }
    double getUiDataSpeedValue() { return 12.0; }
};

class TstQmlContract : public QObject
{
    Q_OBJECT

    AppHarness m_app;
    QQuickWindow* m_window = nullptr;
    BridgeStandIn m_standIn;

    // Loads a screen file of a folder (the resources or a mutated copy) with
    // the stand-in bridge.
    QObject* createWithStandIn(QQmlEngine& engine, const QByteArray& body, const QUrl& base)
    {
        engine.rootContext()->setContextProperty("cQmlInterface", &m_standIn);
        QQmlComponent component(&engine);
        component.setData(body, base);
        if (!component.isReady()) {
            qWarning().noquote() << component.errorString();
            return nullptr;
        }
        return component.create();
    }

    static QString resourceText(const QString& file)
    {
        QFile f(":/qml/win/" + file);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    // UiDefs and UiData of a folder, created together.
    static QByteArray uiPair()
    {
        return "import QtQuick\nItem {\n property QtObject d: d_\n UiDefs { id: defs_ }\n"
               " UiData { id: d_; defs: defs_ }\n}\n";
    }

private slots:
    void initTestCase()
    {
        QVERIFY(isolatedHome.isValid());
        QVERIFY(m_app.isValid());
        AppHarness::warnings().clear();
        m_window = m_app.load();
        QVERIFY(m_window);
        // Start-up completes once, after everything has bound.
        QVERIFY(AppHarness::waitFor([&] { return m_app.bridge().updateAndTerms().setupCount() > 0; }));
    }

    void mainLoadsWithoutWarning()
    {
        QVERIFY2(AppHarness::warnings().isEmpty(), qPrintable(AppHarness::warnings().join('\n')));
        QCOMPARE(m_window->title(), QStringLiteral("Malvorant"));
        QCOMPARE(m_app.bridge().updateAndTerms().setupCount(), 1);
    }

    // No dialog is carried before it is asked for: at a first start only the
    // terms are up.
    void noDialogMadeBeforeItIsAskedFor()
    {
        QObject* splash = m_app.bridge().items().object(Item::SplashScreen);
        QVERIFY(splash);
        QStringList made;
        for (QObject* o : m_window->findChildren<QObject*>()) {
            if (!o->inherits("QQuickPopup"))
                continue;
            QObject* a = o;
            while (a && a != splash)
                a = a->parent();
            if (!a)
                made << QString::fromLatin1(o->metaObject()->className());
        }
        QVERIFY2(made.isEmpty(), qPrintable(made.join(", ")));
    }

    // The terms gate: start-up found the splash screen bound and showed it.
    void firstStartShowsTheTerms()
    {
        QObject* splash = m_app.bridge().items().object(Item::SplashScreen);
        QVERIFY(splash);
        QVERIFY(splash->property("visible").toBool());
        QCOMPARE(m_app.bridge().settingsMan()->tucAccepted, 0);
    }

    void boundItemsKeepTheContract_data()
    {
        QTest::addColumn<Item>("item");
        for (Item item : {Item::MainWindow, Item::UiData, Item::UiDefs, Item::TopArea,
                          Item::BottomArea, Item::EcgChart, Item::GridChart, Item::Flickable,
                          Item::SplashScreen})
            QTest::newRow(qml::itemName(item)) << item;
    }

    void boundItemsKeepTheContract()
    {
        QFETCH(Item, item);
        QObject* object = m_app.bridge().items().object(item);
        QVERIFY2(object, "the item did not bind itself");
        const QStringList faults = qml::contractFaults(item, object, qml::propTable(), qml::callTable());
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
    }

    // The patient and recording views and the patient confirmation are not
    // built for the live view at start: the bridge's first write or call
    // builds them through the main window, and the write reaches the view it
    // built.
    void viewsBuiltWhenTheBridgeFirstNeedsThem()
    {
        QmlItems& items = m_app.bridge().items();
        QVERIFY(!items.isBound(Item::PatientView));
        QVERIFY(!items.isBound(Item::FileList));
        QVERIFY(!items.isBound(Item::PatientPopup));
        AppHarness::warnings().clear();
        items.set<qml::P::PatHeaderLabel>(QStringLiteral("New Patient ?"));
        items.set<qml::P::ListHeaderLabel>(QStringLiteral("All ECGs"));
        QVERIFY(items.ensureBound(Item::PatientPopup));
        for (Item item : {Item::PatientView, Item::FileList, Item::PatientPopup}) {
            QObject* view = items.object(item);
            QVERIFY2(view, qml::itemName(item));
            QVERIFY(!view->property("visible").toBool());
            const QStringList faults = qml::contractFaults(item, view, qml::propTable(), qml::callTable());
            QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
        }
        QCOMPARE(items.read(qml::Prop::PatHeaderLabel).toString(), QStringLiteral("New Patient ?"));
        QCOMPARE(items.read(qml::Prop::ListHeaderLabel).toString(), QStringLiteral("All ECGs"));
        QVERIFY(items.ensureBound(Item::PatientView));
        QVERIFY2(AppHarness::warnings().isEmpty(), qPrintable(AppHarness::warnings().join('\n')));
    }

    // The full views load on first use; each keeps the contract once it exists.
    void viewsKeepTheContract_data()
    {
        QTest::addColumn<Item>("item");
        for (Item item : {Item::FileList, Item::PatientView, Item::PatientPopup, Item::SettingsView,
                          Item::ToolsView, Item::ExportView})
            QTest::newRow(qml::itemName(item)) << item;
    }

    void viewsKeepTheContract()
    {
        QFETCH(Item, item);
        const QString file = QString::fromLatin1(qml::itemFile(item)) + ".qml";
        if (!QFile::exists(":/qml/win/" + file))
            QSKIP(qPrintable(file + " is not part of the program yet"));
        AppHarness::warnings().clear();
        QQmlComponent component(m_app.engine(), QUrl("qrc:/qml/win/" + file));
        // What main hands to the views when it loads them.
        CQmlInterface& bridge = m_app.bridge();
        QVariantMap initial{{"defs", QVariant::fromValue(bridge.items().object(Item::UiDefs))},
                            {"ui", QVariant::fromValue(bridge.items().object(Item::UiData))}};
        if (item == Item::PatientView || item == Item::FileList)
            initial["listModel"] = QVariant::fromValue(bridge.dataModel(1));
        if (item == Item::PatientView || item == Item::SettingsView)
            initial["pickerModel"] = QVariant::fromValue(bridge.dataModel(2));
        std::unique_ptr<QObject> view(
            component.createWithInitialProperties(initial, qmlContext(m_window)));
        QVERIFY2(view, qPrintable(component.errorString()));
        const QStringList faults = qml::contractFaults(item, view.get(), qml::propTable(), qml::callTable());
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
        QVERIFY2(AppHarness::warnings().isEmpty(), qPrintable(AppHarness::warnings().join('\n')));
    }

    void uiDataStartValues()
    {
        QQmlEngine engine;
        std::unique_ptr<QObject> pair(
            createWithStandIn(engine, uiPair(), QUrl("qrc:/qml/win/pair.qml")));
        QVERIFY(pair);
        QObject* uiData = pair->property("d").value<QObject*>();
        QVERIFY(uiData);
        QCOMPARE(m_standIn.uiData, uiData);
        int checked = 0;
        for (const auto& [prop, info] : qml::propTable()) {
            if (info.item != Item::UiData || info.writer == qml::Qml || !info.start.isValid())
                continue;
            QCOMPARE(uiData->property(info.name), info.start);
            ++checked;
        }
        QVERIFY(checked > 50);
        QCOMPARE(uiData->property("ecgGridIdx").toInt(), 3);
        QCOMPARE(uiData->property("showIndicatorHints").toBool(), true);
        QCOMPARE(uiData->property("displayState").toInt(), 0);
        QCOMPARE(uiData->property("isStreamingView").toBool(), false);
        // Values outside the lists select the middle entry: "Einthoven",
        // "20 mm/mV", "25 mm/sec".
        QCOMPARE(uiData->property("ecgDisplayModeIdx").toInt(), 1);
        QCOMPARE(uiData->property("ecgGainIdx").toInt(), 3);
        QCOMPARE(uiData->property("ecgSpeedIdx").toInt(), 3);
    }

    // A renamed or retyped declaration on the QML side breaks the contract.
    void qmlSideMutationsAreCaught_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("fault");
        QTest::newRow("renamed property") << "UiData.qml" << "property int displayState:"
                                          << "property int displayStat:" << "displayState";
        QTest::newRow("retyped property") << "UiData.qml" << "property int fileCount: 0"
                                          << "property string fileCount: \"\"" << "fileCount";
        QTest::newRow("renamed parameter") << "GridViewQd.qml" << "signal qmlInitGrid(int gridIdx)"
                                           << "signal qmlInitGrid(int grid)" << "qmlInitGrid";
        QTest::newRow("retyped parameter") << "GridViewQd.qml" << "signal qmlInitGrid(int gridIdx)"
                                           << "signal qmlInitGrid(real gridIdx)" << "qmlInitGrid";
        QTest::newRow("renamed signal") << "GridViewQd.qml" << "signal qmlInitGrid(int gridIdx)"
                                        << "signal qmlInitGrids(int gridIdx)" << "qmlInitGrid";
    }

    void qmlSideMutationsAreCaught()
    {
        QFETCH(QString, file);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, fault);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        for (const QString name : {"UiDefs.qml", "UiData.qml", "GridViewQd.qml"}) {
            QString text = resourceText(name);
            QVERIFY(!text.isEmpty());
            if (name == file) {
                QVERIFY2(text.contains(from), qPrintable(from));
                text.replace(from, to);
                text.replace(QRegularExpression("onQmlInitGrid.*\\n"), "\n");
            }
            QFile out(dir.filePath(name));
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(text.toUtf8());
        }
        const QByteArray body = uiPair().replace(
            " UiData { id: d_; defs: defs_ }\n",
            " UiData { id: d_; defs: defs_ }\n property QtObject g: g_\n"
            " GridViewQd { id: g_; defs: defs_; ui: d_ }\n");
        QQmlEngine engine;
        std::unique_ptr<QObject> pair(
            createWithStandIn(engine, body, QUrl::fromLocalFile(dir.filePath("pair.qml"))));
        QVERIFY(pair);
        const Item item = file == "UiData.qml" ? Item::UiData : Item::GridChart;
        QObject* object = pair->property(item == Item::UiData ? "d" : "g").value<QObject*>();
        QVERIFY(object);
        const QStringList faults = qml::contractFaults(item, object, qml::propTable(), qml::callTable());
        QCOMPARE(faults.size(), 1);
        QVERIFY2(faults.first().contains(fault), qPrintable(faults.first()));
    }

    // A renamed or retyped entry on the bridge's side breaks it too.
    void bridgeSideMutationsAreCaught()
    {
        QObject* uiData = m_app.bridge().items().object(Item::UiData);
        QObject* grid = m_app.bridge().items().object(Item::GridChart);
        QVERIFY(uiData && grid);

        auto props = qml::propTable();
        for (auto& [id, info] : props) {
            if (id == qml::Prop::PatientName)
                info.name = "patientNam";
        }
        QCOMPARE(qml::contractFaults(Item::UiData, uiData, props, qml::callTable()).size(), 1);

        props = qml::propTable();
        for (auto& [id, info] : props) {
            if (id == qml::Prop::FileCount)
                info.type = QMetaType::fromType<QString>();
        }
        QCOMPARE(qml::contractFaults(Item::UiData, uiData, props, qml::callTable()).size(), 1);

        auto calls = qml::callTable();
        for (auto& [id, info] : calls) {
            if (id == qml::Call::QmlInitGrid)
                info.types = {QMetaType::fromType<bool>()};
        }
        QCOMPARE(qml::contractFaults(Item::GridChart, grid, qml::propTable(), calls).size(), 1);
    }

    // Writes and invocations reach the bound item through the resolved handles.
    void writesAndInvocationsReachTheItems()
    {
        QmlItems& items = m_app.bridge().items();
        items.set<qml::P::BeatsPerMinuteLabel>(QStringLiteral("123"));
        QCOMPARE(items.object(Item::UiData)->property("beatsPerMinuteLabel").toString(),
                 QStringLiteral("123"));
        items.set<qml::P::BeatsPerMinuteLabel>(QString());

        QSignalSpy spy(items.object(Item::GridChart), SIGNAL(qmlInitGrid(int)));
        items.invoke<qml::C::QmlInitGrid>(1);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.first().first().toInt(), 1);
        QCOMPARE(items.object(Item::UiData)->property("ecgGridIdx").toInt(), 1);
        items.invoke<qml::C::QmlInitGrid>(3);
    }

    // An item that is not bound takes nothing and the bridge goes on.
    void unboundItemsAreSkipped()
    {
        QmlItems items;
        items.set<qml::P::DisplayState>(2);
        items.invoke<qml::C::QmlAlertBoxQvlCommError>(QStringLiteral("x"));
        QVERIFY(!items.read(qml::Prop::DisplayState).isValid());
    }

    QObject* findByText(const char* type, const QString& text)
    {
        for (QObject* o : m_window->findChildren<QObject*>()) {
            if (o->inherits(type) && o->property("text").toString() == text)
                return o;
        }
        return nullptr;
    }

    QObject* openAlert() { return visibleDialog(m_window); }

    void closeAll()
    {
        for (QObject* o : m_window->findChildren<QObject*>()) {
            if (o->inherits("QQuickPopup") && o->property("visible").toBool())
                QMetaObject::invokeMethod(o, "close");
        }
        AppHarness::waitFor([&] { return openAlert() == nullptr; }, 1000);
    }

    // Each alert the bridge raises shows its own title and texts.
    void alertsShowTheirTexts_data()
    {
        QTest::addColumn<int>("alert");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("informative");
        QTest::addColumn<bool>("cancel");
        QTest::newRow("file creation") << 0 << "File Write Error" << "Unable to create the ECG file"
            << "Please check whether there is space left on the device." << false;
        QTest::newRow("file write") << 1 << "File Write Error" << "Unable to write to the ECG file"
            << "Please check whether there is space left on the device." << false;
        QTest::newRow("file read") << 2 << "File Read Error" << "Unable to read the ECG file"
            << "Please check whether the file has an appropriate format." << false;
        QTest::newRow("file read with its reason") << 14 << "File Read Error" << "Unable to read the ECG file"
            << "It was recorded at 250 samples per second; this program reads 500." << false;
        QTest::newRow("export") << 3 << "Error exporting File" << "Unable to export the ECG file"
            << "Please check whether there is space left on the device." << false;
        QTest::newRow("export with its reason") << 17 << "Error exporting File" << "Unable to export the ECG file"
            << "No saved ECG is shown." << false;
        QTest::newRow("replace") << 18 << "Replace File" << "The file Bella_1_2.pdf already exists."
            << "Folder: /home/vet/Reports\nClick 'Replace' to overwrite it, or 'Cancel' to keep the earlier file."
            << true;
        QTest::newRow("short") << 4 << "Short ECG"
            << "The length of this ECG (14 seconds) is insufficient for a diagnostic read."
            << "Please upload an alternate ECG for this patient." << false;
        QTest::newRow("no network sync") << 5 << "Network Error"
            << "Failed to synchronize local time with server, please correct time on local workstation.\n"
               "Shall I queue your request and automatically retry at a later time?"
            << "Click OK if I shall queue your request." << true;
        QTest::newRow("no network") << 6 << "No Network"
            << "There is currently no network available\nShall I queue your request and automatically retry at a later time?"
            << "Click OK if I shall queue your request." << true;
        QTest::newRow("duplicate") << 7 << "Duplicate Upload"
            << "This file was previously uploaded to Quorvale.\nDo you wish to upload the file again?"
            << "Click OK to continue." << true;
        QTest::newRow("qvl comm") << 8 << "QVL Connect Problem" << "Unable to communicate with Quorvale."
            << "Server replied: fault" << false;
        QTest::newRow("qvl completed") << 9 << "QVL Upload completed" << "The file has successfully been uploaded"
            << "Click OK to continue." << false;
        QTest::newRow("dcm comm") << 10 << "Server Connect Problem"
            << "Unable to communicate with Worklist or ECG Storage." << "Dicom currently busy" << false;
        QTest::newRow("ask upload") << 11 << "Start a Case" << "The ECG is uploaded to Quorvale as a new case."
            << "Complete the request on the case page now, or finish it later." << true;
        QTest::newRow("one recovered") << 12 << "ECG Recovered"
            << "An ECG that was not saved when the program last ended has been recovered."
            << "It is shown now, waiting for its patient. Click \"Select Patient & Save\" at the bottom to "
               "save it for a patient, or \"Cancel\" at the top to delete it." << false;
        QTest::newRow("three recovered") << 13 << "ECGs Recovered"
            << "3 ECGs that were not saved when the program last ended have been recovered."
            << "The newest is shown now, waiting for its patient. Click \"Select Patient & Save\" at the "
               "bottom to save it for a patient, or \"Cancel\" at the top to delete it. Then click "
               "\"Saved ECGs\" and \"All ECGs\": the others are listed there as \"Not assigned\"." << false;
        // A failed upload in the bridge's words; Cancel only where OK queues it.
        QTest::newRow("upload failed, may be queued") << 15 << "QVL Connect Problem"
            << "The ECG could not be sent: Quorvale could not be reached." << "Click OK if I shall queue your request."
            << true;
        QTest::newRow("upload failed") << 16 << "QVL Upload Delayed"
            << "The ECG could not be sent to Quorvale in the background: Quorvale did not answer in time."
            << "Another attempt follows automatically in a few minutes." << false;
    }

    void alertsShowTheirTexts()
    {
        QFETCH(int, alert);
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(QString, informative);
        QFETCH(bool, cancel);
        using namespace qml;
        QmlItems& items = m_app.bridge().items();
        switch (alert) {
        case 0: items.invoke<C::QmlAlertBoxFileWriteError>(true); break;
        case 1: items.invoke<C::QmlAlertBoxFileWriteError>(false); break;
        case 2: items.invoke<C::QmlAlertBoxFileReadError>(QString()); break;
        case 3: items.invoke<C::QmlAlertBoxExportError>(QString()); break;
        case 4: items.invoke<C::QmlAlertBoxQvlShortFileUpload>(14); break;
        case 5: items.invoke<C::QmlAlertBoxNoNetworkSync>(3, true); break;
        case 6: items.invoke<C::QmlAlertBoxNoNetwork>(3, true); break;
        case 7: items.invoke<C::QmlAlertBoxQvlFileAlreadyUploaded>(3); break;
        case 8: items.invoke<C::QmlAlertBoxQvlCommError>(QStringLiteral("Server replied: fault")); break;
        case 9: items.invoke<C::QmlAlertBoxQvlUploadCompleted>(); break;
        case 10: items.invoke<C::QmlAlertBoxDcmCommError>(QStringLiteral("Dicom currently busy")); break;
        case 11: items.invoke<C::QmlAlertBoxQvlAskUpload>(3); break;
        case 12: items.invoke<C::QmlAlertBoxRecordingsRecovered>(1); break;
        case 13: items.invoke<C::QmlAlertBoxRecordingsRecovered>(3); break;
        case 15:
        case 16:
            items.invoke<C::QmlAlertBoxQvlUploadFailed>(3, title, text, informative, cancel);
            break;
        case 17: items.invoke<C::QmlAlertBoxExportError>(QStringLiteral("No saved ECG is shown.")); break;
        case 18:
            items.invoke<C::QmlAlertBoxReplaceFile>(QStringLiteral("Bella_1_2.pdf"), QStringLiteral("/home/vet/Reports"));
            break;
        case 14:
            items.invoke<C::QmlAlertBoxFileReadError>(
                QStringLiteral("It was recorded at 250 samples per second; this program reads 500."));
            break;
        }
        QObject* dialog = openAlert();
        QVERIFY(dialog);
        QCOMPARE(dialog->property("title").toString(), title);
        QCOMPARE(dialog->property("text").toString(), text);
        QCOMPARE(dialog->property("informativeText").toString(), informative);
        QCOMPARE(!dialog->property("rejectText").toString().isEmpty(), cancel);
        closeAll();
    }

    // Recording or a recording waiting for its patient hides the views that
    // would leave it.
    void headerFollowsTheDisplayState_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("browsing");
        QTest::addColumn<QString>("monitor");
        QTest::newRow("0") << 0 << true << "New ECG";
        QTest::newRow("1") << 1 << true << "Stop Monitor";
        QTest::newRow("2") << 2 << false << "Stop Monitor";
        QTest::newRow("3") << 3 << true << "New ECG";
    }

    void headerFollowsTheDisplayState()
    {
        QFETCH(int, state);
        QFETCH(bool, browsing);
        QFETCH(QString, monitor);
        m_app.bridge().setUiDataDisplayState(state);
        for (const char* name : {"Saved ECGs", "Import ECGs", "Export ECGs"}) {
            QObject* button = findByText("QQuickAbstractButton", name);
            QVERIFY(button);
            QCOMPARE(button->property("visible").toBool(), browsing);
        }
        QObject* button = findByText("QQuickAbstractButton", monitor);
        QVERIFY(button);
        QVERIFY(button->property("visible").toBool());
        m_app.bridge().setUiDataDisplayState(3);
    }

    // With "always ask" the species selector opens when streaming starts;
    // "Other" is species 3 on the screen. It is made only when first asked.
    void speciesSelectorOpensOnlyWhenAsked()
    {
        QObject* ui = m_app.bridge().items().object(Item::UiData);
        auto findSelector = [this]() -> QObject* {
            for (QObject* o : m_window->findChildren<QObject*>()) {
                if (o->inherits("QQuickPopup")
                    && QByteArray(o->metaObject()->className()).startsWith("SpeciesSelector"))
                    return o;
            }
            return nullptr;
        };
        m_app.bridge().setUiDataDisplayState(1);
        ui->setProperty("selectedSpecies", 1);
        m_app.bridge().items().invoke<qml::C::QmlDoStreaming>();
        QVERIFY(!findSelector());
        ui->setProperty("selectedSpecies", 0);
        m_app.bridge().items().invoke<qml::C::QmlDoStreaming>();
        QObject* selector = findSelector();
        QVERIFY(selector);
        QVERIFY(selector->property("visible").toBool());
        QObject* other = findByText("QQuickAbstractButton", "Other");
        QVERIFY(other);
        QMetaObject::invokeMethod(other, "clicked");
        QCOMPARE(ui->property("tmpSpecies").toInt(), 3);
        QVERIFY(AppHarness::waitFor([&] { return !selector->property("visible").toBool(); }, 1000));
        m_app.bridge().setUiDataDisplayState(3);
    }

    // Accepting the terms stores them; the next start shows no splash screen.
    void acceptingTheTermsOpensTheMainScreen()
    {
        QObject* splash = m_app.bridge().items().object(Item::SplashScreen);
        QObject* accept = nullptr;
        for (QObject* o : m_window->findChildren<QObject*>()) {
            if (o->inherits("QQuickAbstractButton") && o->property("text").toString() == "Accept")
                accept = o;
        }
        QVERIFY(accept);
        QVERIFY(QMetaObject::invokeMethod(accept, "clicked"));
        QCOMPARE(m_app.bridge().settingsMan()->tucAccepted, 1);
        QVERIFY(!splash->property("visible").toBool());

        AppHarness::warnings().clear();
        m_window = m_app.load();
        QVERIFY(m_window);
        QVERIFY(AppHarness::waitFor([&] { return m_app.bridge().updateAndTerms().setupCount() > 1; }));
        // Not even built: nothing asked for it.
        QVERIFY(!m_app.bridge().items().isBound(Item::SplashScreen));
        QVERIFY2(AppHarness::warnings().isEmpty(), qPrintable(AppHarness::warnings().join('\n')));
    }
};

QTEST_MAIN(TstQmlContract)
#include "tst_qmlcontract.moc"
