// The real EcgView and GridViewQd, loaded offscreen over the chart's units:
// binding, series names and styles, labels per mode, scrolling and pinch steps.

#include "chartbridge.h"
#include "chartrecording.h"
#include "isolatedhome.h"

#include "../store/storetestenv.h"

#include <QLineSeries>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QtTest>

#include <memory>

static IsolatedHome isolatedHome;

namespace {

QStringList g_warnings;

void collectWarnings(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_warnings << text;
}

// The series of both ChartViews (the charts keep them outside the item tree).
QXYSeries* seriesNamed(QQuickItem* root, const QString& name)
{
    for (QQuickItem* item : root->findChildren<QQuickItem*>()) {
        if (!QByteArray(item->metaObject()->className()).contains("DeclarativeChart"))
            continue;
        const int count = item->property("count").toInt();
        for (int i = 0; i < count; ++i) {
            QAbstractSeries* s = nullptr;
            QMetaObject::invokeMethod(item, "series", Q_RETURN_ARG(QAbstractSeries*, s), Q_ARG(int, i));
            auto* xy = qobject_cast<QXYSeries*>(s);
            if (xy && xy->name() == name)
                return xy;
        }
    }
    return nullptr;
}

} // namespace

class TstEcgViewQml : public QObject
{
    Q_OBJECT

    std::unique_ptr<StoreEnv> m_env;
    std::unique_ptr<ChartBridge> m_bridge;
    std::unique_ptr<QQuickView> m_view;
    QQuickItem* m_root = nullptr;
    QObject* m_uiData = nullptr;

    QObject* ecgView() const { return m_root->property("ecgView").value<QObject*>(); }

private slots:
    void initTestCase()
    {
        useBerlinTime();
        QVERIFY(isolatedHome.isValid());
        m_env = std::make_unique<StoreEnv>();
        ChartRecording::Layout l;
        l.samples = 20000;
        l.eventsBefore = {{3000, ECG_EVENT_CHANNEL_ERROR}};
        const int id = ChartRecording::record(*m_env->files, l);
        QCOMPARE(m_env->files->selectFile(id), id);

        m_bridge = std::make_unique<ChartBridge>(m_env->settings.get(), m_env->db->database(),
                                                 m_env->files.get());
        m_bridge->chart.setStreaming(false);
        m_bridge->chart.setLeadInLength(l.leadIn);

        qInstallMessageHandler(collectWarnings);
        m_view = std::make_unique<QQuickView>();
        m_view->engine()->rootContext()->setContextProperty("cQmlInterface", m_bridge.get());
        m_view->setSource(QUrl::fromLocalFile(MALVORANT_SOURCE_DIR "/tests/app/chartharness.qml"));
        QCOMPARE(m_view->status(), QQuickView::Ready);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        m_root = m_view->rootObject();
        QVERIFY(m_root);
        m_uiData = m_root->findChild<QObject*>("uiData");
        QVERIFY(m_uiData);
    }

    void cleanupTestCase()
    {
        m_view.reset();
        qInstallMessageHandler(nullptr);
    }

    void cleanup() { QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join('\n'))); }

    void itemsBindThemselves()
    {
        QVERIFY(m_bridge->publisher.ecgChart);
        QVERIFY(m_bridge->publisher.flickable);
        QVERIFY(m_bridge->gridChartItem);
        QVERIFY(m_bridge->sizeCalls >= 1);
        QCOMPARE(m_bridge->chart.chartWidth(), 1600);
        QCOMPARE(m_bridge->chart.chartHeight(), 800);
        QCOMPARE(m_bridge->chart.pointBudget(), 8000);
    }

    void seriesNamesAndStyles()
    {
        const QStringList names{"ecg0", "ecg1", "ecg2", "ecg3", "ecg4", "ecg5", "cursor", "error", "marker",
                                "grid fine", "grid med", "grid coarse"};
        const QList<int> widths{2, 2, 2, 2, 2, 2, 5, 10, 2, 1, 1, 1};
        const QStringList colours{"#000000", "#000000", "#000000", "#000000", "#000000", "#000000",
                                  "#000000", "#d8292f", "#008000", "#e6e8ea", "#cccfd1", "#97999b"};
        // Grid "none" has no grid chart at all; choosing a grid makes it.
        QCOMPARE(m_uiData->property("ecgGridIdx").toInt(), 3);
        QVERIFY(!seriesNamed(m_root, "grid fine"));
        QVERIFY(QMetaObject::invokeMethod(m_bridge->gridChartItem, "qmlInitGrid", Q_ARG(int, 1)));
        for (int i = 0; i < names.size(); ++i) {
            QXYSeries* s = seriesNamed(m_root, names[i]);
            QVERIFY2(s, qPrintable(names[i]));
            QVERIFY(s->useOpenGL());
            QCOMPARE(s->pen().width(), widths[i]);
            QCOMPARE(s->color().name(), colours[i]);
        }
        m_uiData->setProperty("displayState", 2);
        QCOMPARE(seriesNamed(m_root, "cursor")->color().name(), QStringLiteral("#d8292f"));
        m_uiData->setProperty("displayState", 0);
        // Back to "none": the chart goes, the choice is kept.
        QVERIFY(QMetaObject::invokeMethod(m_bridge->gridChartItem, "qmlInitGrid", Q_ARG(int, 3)));
        QTRY_VERIFY(!seriesNamed(m_root, "grid fine"));
        QCOMPARE(m_env->settings->ecgGridIdx, 3);
    }

    void faultyLeadFollowsTheLeadTable_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("flag");
        QTest::addColumn<int>("trace"); // the trace drawn yellow, -1 none
        QTest::newRow("single, lead I") << 0 << "vectorError0" << -1;
        QTest::newRow("single, lead II") << 0 << "vectorError1" << 0;
        QTest::newRow("einthoven, lead I") << 1 << "vectorError0" << 0;
        QTest::newRow("einthoven, lead II") << 1 << "vectorError1" << 1;
        QTest::newRow("goldberger I, lead I") << 2 << "vectorError0" << 1;
        QTest::newRow("goldberger I, lead II") << 2 << "vectorError1" << 3;
        QTest::newRow("goldberger, lead I") << 3 << "vectorError0" << 0;
        QTest::newRow("goldberger, lead II") << 3 << "vectorError1" << 1;
    }

    // A fault of lead I or II marks the trace that shows that lead, thicker
    // and yellow (only yellow for other species).
    void faultyLeadFollowsTheLeadTable()
    {
        QFETCH(int, mode);
        QFETCH(QString, flag);
        QFETCH(int, trace);
        m_bridge->setViewerParams(mode, 10, 25, false, false, false, false, true);
        QVERIFY(QMetaObject::invokeMethod(ecgView(), "qmlInitEcgData"));
        m_uiData->setProperty(qPrintable(flag), true);
        for (int species : {0, 3}) {
            m_uiData->setProperty("tmpSpecies", species);
            for (int k = 0; k < 6; ++k) {
                QXYSeries* s = seriesNamed(m_root, QStringLiteral("ecg%1").arg(k));
                QCOMPARE(s->color().name(), QString::fromLatin1(k == trace ? "#e6bb48" : "#000000"));
                QCOMPARE(s->pen().width(), k == trace && species != 3 ? 3 : 2);
            }
        }
        m_uiData->setProperty(qPrintable(flag), false);
        m_uiData->setProperty("tmpSpecies", 0);
        QCOMPARE(seriesNamed(m_root, QStringLiteral("ecg%1").arg(std::max(trace, 0)))->color().name(),
                 QStringLiteral("#000000"));
    }

    void gridFromQml()
    {
        QVERIFY(QMetaObject::invokeMethod(m_bridge->gridChartItem, "qmlInitGrid", Q_ARG(int, 0)));
        QCOMPARE(seriesNamed(m_root, "grid fine")->count(), 481);
        QCOMPARE(m_uiData->property("ecgGridIdx").toInt(), 0);
        QCOMPARE(m_env->settings->ecgGridIdx, 0);
    }

    void labelsPerMode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("labels");
        QTest::newRow("single") << 0 << QStringList{"II"};
        QTest::newRow("einthoven") << 1 << QStringList{"I", "II", "III"};
        QTest::newRow("goldberger I") << 2 << QStringList{"aVL", "I", "aVR", "II", "aVF", "III"};
        QTest::newRow("goldberger") << 3 << QStringList{"I", "II", "III", "aVR", "aVL", "aVF"};
    }

    // A stored mode 2 shows its own six labels; the maker variant writes aVR.
    void labelsPerMode()
    {
        QFETCH(int, mode);
        QFETCH(QStringList, labels);
        m_bridge->setViewerParams(mode, 10, 25, false, false, false, false, true);
        QVERIFY(QMetaObject::invokeMethod(ecgView(), "qmlInitEcgData"));
        QStringList shown;
        QList<double> baselines;
        QList<QQuickItem*> texts;
        QList<QQuickItem*> walk{m_root};
        while (!walk.isEmpty()) {
            QQuickItem* item = walk.takeFirst();
            walk << item->childItems();
            if (QByteArray(item->metaObject()->className()).startsWith("QQuickText") && item->property("label").isValid())
                texts << item;
        }
        std::sort(texts.begin(), texts.end(), [](QQuickItem* a, QQuickItem* b) { return a->y() < b->y(); });
        for (QQuickItem* t : texts) {
            if (t->isVisible())
                shown << t->property("text").toString(), baselines << t->y() + t->baselineOffset();
        }
        QCOMPARE(shown, labels);
        const EcgModeLayout* layout = EcgChart::modeLayout(mode);
        // The letters stand a millimetre (a hundredth of the sheet's
        // height) above their trace's zero line, so the line does not run
        // through them.
        for (int k = 0; k < shown.size(); ++k)
            QCOMPARE(baselines[k], 800 * (1 - layout->offset[k]) - 8);
        QCOMPARE(seriesNamed(m_root, "ecg5")->isVisible(), layout->traces == 6);
    }

    // Scrolling the flickable redraws from the new position.
    void scrollingRedraws()
    {
        m_bridge->setViewerParams(1, 10, 25, false, false, false, false, true);
        QObject* flick = m_bridge->publisher.flickable;
        const int n = m_env->files->ecgBuffer().getRecordCount() - 2500;
        QCOMPARE(flick->property("contentWidth").toDouble(), 1600.0 * n * 25 / 100000);
        flick->setProperty("contentX", 800.0);
        QCOMPARE(m_bridge->chart.firstShownEntry(), int(800 * m_bridge->chart.samplesPerPixel()));
        QVERIFY(m_bridge->chart.firstShownEntry() > 0);
        flick->setProperty("contentX", 0.0);
        QCOMPARE(m_bridge->chart.firstShownEntry(), 0);
        // The error event before sample 3000 has its bar.
        QCOMPARE(seriesNamed(m_root, "error")->count(), 2);
    }

    void pinchSteps_data()
    {
        QTest::addColumn<QVariantList>("values");
        QTest::addColumn<int>("current");
        QTest::addColumn<double>("ratio");
        QTest::addColumn<int>("chosen");
        const QVariantList speeds{2.5, 5, 10, 25, 50, 100, 200};
        QTest::newRow("no movement") << speeds << 3 << 1.0 << 3;
        QTest::newRow("not yet 50") << speeds << 3 << 1.49 << 3;
        QTest::newRow("50") << speeds << 3 << 1.5 << 4;
        QTest::newRow("100") << speeds << 3 << 2.5 << 5;
        QTest::newRow("200") << speeds << 3 << 9.0 << 6;
        QTest::newRow("not yet 10") << speeds << 3 << 0.71 << 3;
        QTest::newRow("10") << speeds << 3 << 0.7 << 2;
        QTest::newRow("2.5") << speeds << 3 << 0.5 << 0;
        QTest::newRow("from the top") << speeds << 6 << 0.7 << 5;
    }

    void pinchSteps()
    {
        QFETCH(QVariantList, values);
        QFETCH(int, current);
        QFETCH(double, ratio);
        QFETCH(int, chosen);
        QVariant result;
        QVERIFY(QMetaObject::invokeMethod(ecgView(), "pinchChoice", Q_RETURN_ARG(QVariant, result),
                                          Q_ARG(QVariant, values), Q_ARG(QVariant, current), Q_ARG(QVariant, ratio)));
        QCOMPARE(result.toInt(), chosen);
    }
};

QTEST_MAIN(TstEcgViewQml)
#include "tst_ecgviewqml.moc"
#include "moc_chartbridge.cpp"
