#ifndef MALVORANT_TESTS_CHARTBRIDGE_H
#define MALVORANT_TESTS_CHARTBRIDGE_H

// The chart's part of the bridge, published as "cQmlInterface" to the real
// EcgView and GridViewQd: each slot hands over to EcgChart or ViewerSettings
// exactly as the bridge's face does. The slots of other concerns that the two
// views call exist here as small stand-ins.

#include "chartitems.h"
#include "ecgchart.h"
#include "viewersettings.h"

#include <QAbstractSeries>
#include <QXYSeries>
#include <QObject>

class ChartBridge : public QObject
{
    Q_OBJECT

public:
    ChartBridge(CSettingsMan* settings, QSqlDatabase* db, CFileMan* files)
        : chart(settings, files, &publisher), viewer(settings, db, &chart, &publisher, nullptr)
    {
    }

    ItemsChartPublisher publisher;
    EcgChart chart;
    ViewerSettings viewer;
    QObject* gridChartItem = nullptr;
    int sizeCalls = 0;
    int streamedCalls = 0;

public slots:
    void setUiDataObject(QObject* item) { publisher.uiData = item; }
    void setEcgChartObject(QObject* item) { publisher.ecgChart = item; }
    void setGridChartObject(QObject* item) { gridChartItem = item; }
    void setHorizontalFlickableObject(QObject* item)
    {
        publisher.flickable = item;
        chart.setHorizontalFlickableWidth(chart.speed());
    }

    void setSize(int width, int height)
    {
        ++sizeCalls;
        chart.setSize(width, height);
    }
    void initGrid(int gridIdx, QAbstractSeries* fine, QAbstractSeries* medium, QAbstractSeries* coarse)
    {
        chart.initGrid(gridIdx, qobject_cast<QXYSeries*>(fine), qobject_cast<QXYSeries*>(medium),
                       qobject_cast<QXYSeries*>(coarse));
    }
    void initEcg(QAbstractSeries* s0, QAbstractSeries* s1, QAbstractSeries* s2, QAbstractSeries* s3,
                 QAbstractSeries* s4, QAbstractSeries* s5, QAbstractSeries* cursor, QAbstractSeries* error,
                 QAbstractSeries* marker)
    {
        chart.initEcg(EcgSeries::from({s0, s1, s2, s3, s4, s5, cursor, error, marker}));
    }
    void updateStoredEcg(double posX, QAbstractSeries* s0, QAbstractSeries* s1, QAbstractSeries* s2,
                         QAbstractSeries* s3, QAbstractSeries* s4, QAbstractSeries* s5,
                         QAbstractSeries* cursor, QAbstractSeries* error, QAbstractSeries* marker)
    {
        chart.updateStoredEcg(posX, EcgSeries::from({s0, s1, s2, s3, s4, s5, cursor, error, marker}));
    }
    void hideEcg(QAbstractSeries* s0, QAbstractSeries* s1, QAbstractSeries* s2, QAbstractSeries* s3,
                 QAbstractSeries* s4, QAbstractSeries* s5, QAbstractSeries* cursor, QAbstractSeries* error,
                 QAbstractSeries* marker)
    {
        chart.hideEcg(EcgSeries::from({s0, s1, s2, s3, s4, s5, cursor, error, marker}));
    }

    void setViewerParams(int mode, double gain, double speed, bool power, bool artifact, bool heartRate,
                         bool beat, bool hints)
    {
        viewer.setViewerParams({mode, gain, speed, power, artifact, heartRate, beat, hints});
    }
    void updateViewerParams(int mode, double gain, double speed, bool power, bool artifact, bool heartRate,
                            bool beat, bool hints)
    {
        viewer.updateViewerParams({mode, gain, speed, power, artifact, heartRate, beat, hints});
    }
    int getUiDataEcgModeValue() { return viewer.getUiDataEcgModeValue(); }
    double getUiDataGainValue() { return viewer.getUiDataGainValue(); }
    double getUiDataSpeedValue() { return viewer.getUiDataSpeedValue(); }

    // Stand-ins for the recording control, the live tick and the update check.
    void setBookmark(int, int posX)
    {
        chart.bookmarks().push_back({int(posX * chart.samplesPerPixel()), QDateTime()});
    }
    void deleteBookmark() { chart.bookmarks().clear(); }
    void updateStreamedEcg(QAbstractSeries*, QAbstractSeries*, QAbstractSeries*, QAbstractSeries*,
                           QAbstractSeries*, QAbstractSeries*, QAbstractSeries*, QAbstractSeries*,
                           QAbstractSeries*)
    {
        ++streamedCalls;
    }
    void streamStartStop(bool) {}
    void doUpdate(bool) {}
    void setUiDefsObject(QObject*) {}
    int getOsType() { return 0; }
    void setupCompleted() {}
};

#endif
