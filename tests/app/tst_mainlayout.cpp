// The main window's layout at the smallest and the usual window size, as a vet
// reads it: the top area's texts and buttons stay inside their row and never
// run into each other in any display state, long names are cut short, and the
// heart rate of the live view hides as little of the first trace as it can.
// The screens draw with the font the program carries, so the layout is the
// same whatever fonts the machine has: CTest runs this again with the
// system's fonts narrowed to DejaVu alone and to the URW fonts alone
// (MALVORANT_TEST_FONTS, see narrowedfonts.h).

#include "appharness.h"
#include "ecgchart.h"
#include "isolatedhome.h"
#include "narrowedfonts.h"
#include "qmlmodule.h"
#include "settingsman.h"
#include "uifont.h"
#include "updateandterms.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QQuickItem>
#include <QRegularExpression>
#include <QtQml/qqmlmoduleregistration.h>
#include <QtTest>

static IsolatedHome isolatedHome;
static NarrowedFonts narrowedFonts;
static const QQmlModuleRegistration malvorantModule("Malvorant", qml_register_types_Malvorant);

namespace {

// What a person sees of an item: a text's painted extent (it can be wider
// than the item when it is not cut short), any other item's own box; in the
// coordinates of `into`.
QRectF seenRect(QQuickItem* item, QQuickItem* into)
{
    qreal w = item->width();
    qreal h = item->height();
    if (item->inherits("QQuickText")) {
        w = std::max(w, item->property("contentWidth").toReal());
        h = std::max(h, item->property("contentHeight").toReal());
    }
    return item->mapRectToItem(into, QRectF(0, 0, w, h));
}

QString describe(QQuickItem* item)
{
    const QString text = item->property("text").toString();
    const QString tip = item->property("tip").toString();
    return QString::fromLatin1(item->metaObject()->className()) + " \""
           + (text.isEmpty() ? tip : text) + "\"";
}

// The visible texts, buttons, text fields and images under root: what can
// collide. A button counts as one piece, whatever it is drawn of.
void collectPieces(QQuickItem* root, QList<QQuickItem*>& pieces)
{
    for (QQuickItem* child : root->childItems()) {
        if (!child->isVisible() || child->opacity() == 0)
            continue;
        // A text field is one piece too, its placeholder included.
        const bool whole = child->inherits("QQuickAbstractButton") || child->inherits("QQuickTextInput");
        const bool piece = whole || child->inherits("QQuickText") || child->inherits("QQuickImage");
        if (piece && child->width() > 0 && child->height() > 0)
            pieces << child;
        if (!whole)
            collectPieces(child, pieces);
    }
}

} // namespace

class TstMainLayout : public QObject
{
    Q_OBJECT

    AppHarness m_app;
    QQuickWindow* m_window = nullptr;
    // A patient as most are and one whose every name is long, each with a
    // recording and each without one.
    struct Patient {
        int id = -1;
        int ecgId = -1;
        int emptyId = -1;
        QString caseId;
    };
    Patient m_usual;
    Patient m_long;
    int m_pendingId = -1;

    QObject* uiData() { return m_app.bridge().items().object(qml::Item::UiData); }
    QQuickItem* topArea() { return qobject_cast<QQuickItem*>(m_app.bridge().items().object(qml::Item::TopArea)); }
    QQuickItem* ecgView() { return qobject_cast<QQuickItem*>(m_app.bridge().items().object(qml::Item::EcgChart)); }

    // Layouts place their items when the window next draws; two frames, so
    // one whose layout pass began before the last change does not count.
    void drawn()
    {
        int frames = 0;
        const auto drawnOnce = connect(m_window, &QQuickWindow::frameSwapped, this, [&] {
            if (++frames < 2)
                m_window->update();
        });
        m_window->update();
        QTRY_VERIFY(frames >= 2);
        disconnect(drawnOnce);
    }

    void resizeWindow(int width, int height)
    {
        m_window->setVisibility(QWindow::Windowed);
        m_window->resize(width, height);
        QVERIFY(AppHarness::waitFor([&] {
            return m_window->width() == width && m_window->height() == height
                   && topArea()->width() == width;
        }));
        drawn();
    }

    // The window in the display state, showing the patient; a shown
    // recording has a telemedicine case, is stored in the ECG Storage and
    // is not sent there again for a long reason, the most a recording's
    // lines can hold.
    void showState(int state, const Patient& patient)
    {
        CQmlInterface& bridge = m_app.bridge();
        bridge.setUiDataDisplayState(0);
        if (state == 4) {
            bridge.fileSelectedLocal(0, m_pendingId);
        } else if (state == 3) {
            bridge.selectNShowPatient(patient.emptyId, -1);
        } else {
            bridge.selectNShowPatient(patient.id, patient.ecgId);
            bridge.setUiDataDisplayState(state);
        }
        QObject* ui = uiData();
        const bool shown = state == 0 || state == 4;
        ui->setProperty("fileQVLCaseId", shown ? patient.caseId : QString());
        ui->setProperty("fileQVLCaseStatus", shown ? QStringLiteral("needs attention") : QString());
        ui->setProperty("filePacsStatus", shown ? 2 : 0);
        ui->setProperty("filePacsQueue", shown ? 3 : 0);
        ui->setProperty("filePacsQueueText",
                        shown ? QStringLiteral("The ECG file can't be read or converted. It has no header and is not "
                                               "laid out as an ECG recording: its record 12794 has a type (-23956) "
                                               "that no recording holds.")
                              : QString());
        ui->setProperty("filePacsQueueReason", shown ? QStringLiteral("the ECG file can't be read") : QString());
        const bool live = state == 1 || state == 2;
        ui->setProperty("isBtConnected", live);
        ui->setProperty("showBeatsPerMinute", live);
        ui->setProperty("beatsPerMinuteLabel", live ? QStringLiteral("120") : QString());
        drawn();
        QCOMPARE(ui->property("displayState").toInt(), state);
    }

    Patient makePatient(const QString& name, const QString& extId, const QString& ownerFirst,
                        const QString& ownerLast, const QString& breed, const QString& caseId)
    {
        CPatientMan& patients = *m_app.bridge().patientMan();
        Patient p;
        p.caseId = caseId;
        p.emptyId = patients.createPatient(name, extId, ownerFirst, ownerLast, 2, 4, 31.25f, 0, breed,
                                           1262304000, QString(), QString());
        p.id = patients.createPatient(name, extId + "-2", ownerFirst, ownerLast, 2, 4, 31.25f, 0, breed,
                                      1262304000, QString(), QString());
        p.ecgId = m_app.makeRecording(p.id, 12);
        return p;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(isolatedHome.isValid());
        QVERIFY(m_app.isValid());
        m_window = m_app.loadReturningUser();
        QVERIFY(m_window);
        m_usual = makePatient("Bella", "P-1042", "Anna", "Lindqvist", "Labrador Retriever", "QV-20931");
        m_long = makePatient("Princess Anastasia Wilhelmina of the Sunny Meadow Kennels", "KX-2024-000871-B",
                             "Maximiliane Charlotte", "Oberhauser-Wittgenstein von Lindenfels",
                             "Nova Scotia Duck Tolling Retriever", "QV-2024-0012345678");
        m_pendingId = m_app.makeRecording(0, 12);
        for (const Patient& p : {m_usual, m_long})
            QVERIFY(p.id > 0 && p.emptyId > 0 && p.ecgId > 0);
        QVERIFY(m_pendingId > 0);
        QVERIFY2(AppHarness::warnings().isEmpty(), qPrintable(AppHarness::warnings().join('\n')));
    }

    void init()
    {
        AppHarness::warnings().clear();
        QTest::failOnWarning(QRegularExpression(".*"));
    }

    void cleanup() { QVERIFY2(AppHarness::warnings().isEmpty(), qPrintable(AppHarness::warnings().join('\n'))); }

    // Every text names the carried font, or none and gets the application's,
    // which is the carried one too; so does a request for Arial (the lead
    // placement picture's). With the system's fonts narrowed, the narrowing
    // is in place.
    void screensUseTheCarriedFont()
    {
        QVERIFY2(narrowedFonts.isValid(), qPrintable(narrowedFonts.error()));
        const QStringList families = QFontDatabase::families();
        // A family several foundries make is listed once for each, as
        // "Nimbus Sans [urw]".
        const auto has = [&](const QString& family) {
            return !families.filter(QRegularExpression("^" + QRegularExpression::escape(family) + "( \\[.*\\])?$"))
                        .isEmpty();
        };
        if (narrowedFonts.isNarrowed()) {
            QVERIFY2(has(narrowedFonts.presentFamily()), qPrintable(families.join(", ")));
            QVERIFY2(!has(narrowedFonts.absentFamily()), qPrintable(families.join(", ")));
        }
        const QString carried = QString::fromLatin1(kCarriedUiFontFamily);
        QVERIFY(families.contains(carried));
        QObject* defs = m_app.bridge().items().object(qml::Item::UiDefs);
        QVERIFY(defs);
        QCOMPARE(defs->property("carriedFont").toString(), carried);
        QCOMPARE(defs->property("commonFont").toString(), carried);
        QCOMPARE(defs->property("linkFont").toString(), carried);
        QCOMPARE(QFontInfo(QGuiApplication::font()).family(), carried);
        // Where the machine has no Arial of its own (a real one is as wide).
        if (!has(QStringLiteral("Arial")))
            QCOMPARE(QFontInfo(QFont(QStringLiteral("Arial"))).family(), carried);
        QFont bold(carried);
        bold.setBold(true);
        QCOMPARE(QFontInfo(bold).family(), carried);
        QVERIFY(QFontInfo(bold).bold());

        // What the top area's texts are drawn with.
        showState(0, m_usual);
        QList<QQuickItem*> pieces;
        collectPieces(topArea(), pieces);
        int texts = 0;
        for (QQuickItem* piece : pieces) {
            if (!piece->inherits("QQuickText"))
                continue;
            ++texts;
            const QFont font = piece->property("font").value<QFont>();
            QVERIFY2(QFontInfo(font).family() == carried,
                     qPrintable(describe(piece) + " is drawn with " + QFontInfo(font).family()));
        }
        QVERIFY(texts > 5);
    }

    void topAreaFitsItsRow_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("longNames");
        for (const QSize size : {QSize(1024, 768), QSize(1280, 800)}) {
            for (int state = 0; state <= 4; ++state) {
                for (bool longNames : {false, true}) {
                    if (state == 4 && longNames)
                        continue; // a waiting recording shows no patient
                    QTest::addRow("%dx%d state %d%s", size.width(), size.height(), state,
                                  longNames ? " long names" : "")
                        << size.width() << size.height() << state << longNames;
                }
            }
        }
    }

    // Every text and button of the top area lies inside it and apart from
    // the others; a name too long for its place is cut short.
    void topAreaFitsItsRow()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, state);
        QFETCH(bool, longNames);
        resizeWindow(width, height);
        showState(state, longNames ? m_long : m_usual);

        QQuickItem* area = topArea();
        const QRectF row(0, 0, area->width(), area->height());
        // A long name is cut short; a usual one is whole.
        QObject* name = m_window->findChild<QObject*>("topAreaPatientName");
        QVERIFY(name);
        QCOMPARE(name->property("truncated").toBool(), longNames);
        QCOMPARE(name->property("lineCount").toInt(), 1);
        QList<QQuickItem*> pieces;
        collectPieces(area, pieces);
        QVERIFY(pieces.size() > 10);
        for (int i = 0; i < pieces.size(); ++i) {
            const QRectF a = seenRect(pieces[i], area);
            QVERIFY2(row.adjusted(-0.5, -0.5, 0.5, 0.5).contains(a),
                     qPrintable(describe(pieces[i]) + QStringLiteral(" leaves the row: %1,%2 %3x%4")
                                                          .arg(a.x()).arg(a.y()).arg(a.width()).arg(a.height())));
            for (int j = i + 1; j < pieces.size(); ++j) {
                if (pieces[j]->parentItem() == pieces[i] || pieces[i]->parentItem() == pieces[j])
                    continue;
                const QRectF overlap = a.intersected(seenRect(pieces[j], area));
                QVERIFY2(overlap.width() <= 0.5 || overlap.height() <= 0.5,
                         qPrintable(describe(pieces[i]) + " overlaps " + describe(pieces[j])));
            }
        }
    }

    void heartRateBoxInChart_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("smallest window") << 1024 << 768;
        QTest::newRow("usual window") << 1280 << 800;
    }

    // The live view's heart rate stands in the chart at 10 mm/10 mm while
    // streaming or recording with the rate switched on; its box hugs the
    // figures, so in the three-lead view it stays above the first trace's
    // zero line.
    void heartRateBoxInChart()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        resizeWindow(width, height);
        QQuickItem* box = m_window->findChild<QQuickItem*>("heartRateBox");
        QVERIFY(box);
        QQuickItem* chart = ecgView();
        QCOMPARE(box->parentItem(), chart);
        for (int state = 0; state <= 4; ++state) {
            showState(state, m_usual);
            const bool live = state == 1 || state == 2;
            QCOMPARE(box->isVisible(), live);
            if (!live)
                continue;
            m_app.bridge().setViewerParams(1, 10, 25, false, false, true, false, true);
            drawn();
            QCOMPARE(box->x(), 10 * chart->width() / 200);
            QCOMPARE(box->y(), 10 * chart->height() / 100);
            const qreal firstZeroLine = chart->height() * (1 - EcgChart::modeLayout(1)->offset[0]);
            QVERIFY2(box->y() + box->height() < firstZeroLine,
                     qPrintable(QStringLiteral("box bottom %1, zero line %2").arg(box->y() + box->height()).arg(firstZeroLine)));
            QStringList read;
            for (QQuickItem* t : box->childItems()) {
                if (!t->inherits("QQuickText"))
                    continue;
                read << t->property("text").toString();
                // The figures and the unit lie side by side within the box.
                const QRectF glyphs = t->mapRectToItem(box, QRectF(0, 0, t->width(), t->height()));
                QVERIFY(glyphs.left() >= 0 && glyphs.right() <= box->width());
            }
            QCOMPARE(read, (QStringList{"120", "BPM"}));
            uiData()->setProperty("showBeatsPerMinute", false);
            QVERIFY(!box->isVisible());
        }
    }

    void settingsFitTheWindow_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("section");
        static const char* const names[] = {"telemedicine", "bluetooth", "recording time", "mains",
                                            "weight unit", "species", "quality indicator", "DICOM",
                                            "about"};
        for (const QSize size : {QSize(1024, 768), QSize(1280, 800)}) {
            for (int section = 0; section < 9; ++section)
                QTest::addRow("%dx%d %s", size.width(), size.height(), names[section])
                    << size.width() << size.height() << section;
        }
    }

    // Each section of the settings, filled as a clinic fills it, lies within
    // the window's width with nothing over anything else: the DICOM servers'
    // fields side by side where they fit, one under another where not, and
    // the device's name beside "Bluetooth" whole.
    void settingsFitTheWindow()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, section);
        resizeWindow(width, height);
        showState(0, m_usual);
        // The device the settings name beside "Bluetooth".
        m_app.bridge().settingsMan()->bzdevice = QStringLiteral("Kx-2041 Simulated");
        QVariant opened;
        QMetaObject::invokeMethod(m_window, "openView", Q_RETURN_ARG(QVariant, opened), Q_ARG(QVariant, "settings"));
        QObject* loader = m_window->property("viewLoaders").toMap().value("settings").value<QObject*>();
        auto* view = qobject_cast<QQuickItem*>(loader->property("item").value<QObject*>());
        QVERIFY(view);
        const QList<std::pair<const char*, QVariant>> values = {
            {"initializerQvlUserName", "vet@tierklinik-sued.example"}, {"initializerQvlUrl", "https://quorvale.example/api"},
            {"initializerDcmLocalAe", "MALVORANT"}, {"initializerDcmLocalPort", 11112},
            {"initializerDcmInstName", "Tierklinik Sued"}, {"initializerDcmLocalIpAddress", "192.168.20.14"},
            {"initializerDcmMwlAe", "WLMSCP"}, {"initializerDcmMwlIp", "192.168.20.2"}, {"initializerDcmMwlPort", 104},
            {"initializerDcmPacsAe", "ECGSTORE"}, {"initializerDcmPacsIp", "192.168.20.3"},
            {"initializerDcmPacsPort", 11112}, {"dcmMwlTestState", 3},
            {"dcmMwlTestText", "Connection refused: check the address and port"}, {"dcmPacsTestState", 1},
            {"dcmPacsTestText", "Connection test passed"}};
        for (const auto& [name, value] : values)
            view->setProperty(name, value);
        QMetaObject::invokeMethod(view, "loadFromInitializers");
        view->setProperty("openedAccordion", section);
        drawn();

        QCOMPARE(view->width(), qreal(width));
        const QRectF frame(0, 0, view->width(), view->height());
        QList<QQuickItem*> pieces;
        collectPieces(view, pieces);
        QVERIFY(pieces.size() > 10);
        // The device's name in the Bluetooth heading (a button: one piece
        // above) is whole and within the heading.
        QQuickItem* device = nullptr;
        QList<QQuickItem*> below{view};
        while (!below.isEmpty() && !device) {
            QQuickItem* item = below.takeFirst();
            if (item->inherits("QQuickText") && item->isVisible()
                && item->property("text").toString() == QStringLiteral("Kx-2041 Simulated"))
                device = item;
            below += item->childItems();
        }
        QVERIFY(device);
        QQuickItem* heading = device;
        while (heading && !heading->inherits("QQuickAbstractButton"))
            heading = heading->parentItem();
        QVERIFY(heading);
        const QRectF name = seenRect(device, view);
        QVERIFY2(seenRect(heading, view).contains(name) && name.right() <= frame.right(),
                 qPrintable(QStringLiteral("the device's name lies at %1..%2").arg(name.left()).arg(name.right())));
        for (int i = 0; i < pieces.size(); ++i) {
            const QRectF a = seenRect(pieces[i], view);
            QVERIFY2(a.left() >= -0.5 && a.right() <= frame.right() + 0.5,
                     qPrintable(describe(pieces[i]) + QStringLiteral(" is cut off: %1..%2 of %3")
                                                          .arg(a.left()).arg(a.right()).arg(frame.width())));
            if (pieces[i]->inherits("QQuickText"))
                QVERIFY2(!pieces[i]->property("truncated").toBool(), qPrintable(describe(pieces[i]) + " is cut short"));
            for (int j = i + 1; j < pieces.size(); ++j) {
                if (pieces[j]->parentItem() == pieces[i] || pieces[i]->parentItem() == pieces[j])
                    continue;
                const QRectF overlap = a.intersected(seenRect(pieces[j], view));
                QVERIFY2(overlap.width() <= 0.5 || overlap.height() <= 0.5,
                         qPrintable(describe(pieces[i]) + " overlaps " + describe(pieces[j])));
            }
        }
        view->setProperty("visible", false);
    }
};

QTEST_MAIN(TstMainLayout)
#include "tst_mainlayout.moc"
