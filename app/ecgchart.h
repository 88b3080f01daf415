#ifndef MALVORANT_ECGCHART_H
#define MALVORANT_ECGCHART_H

#include "bridgeparts.h"

class Bookmarks;
class QmlItems;

// The ECG and grid charts: geometry, grid rasters, lead layout, the drawing
// of a stored recording and its scroll range.
class EcgChart
{
public:
    EcgChart(QmlItems& items, const EngineParts& engine, Bookmarks& bookmarks);

    EcgChart(const EcgChart&) = delete;
    EcgChart& operator=(const EcgChart&) = delete;

    void setSize(int width, int height);
    void initGrid(int gridIdx, QAbstractSeries* fine, QAbstractSeries* medium,
                  QAbstractSeries* coarse);
    void initEcg(const EcgSeries& series);
    void updateStoredEcg(double posX, const EcgSeries& series);
    void hideEcg(const EcgSeries& series);
    void setHorizontalFlickableWidth(double speed);
    // The flickable has just bound: its width follows the current speed.
    void flickableBound();

    // Entries at the start of the shown recording that are not drawn.
    int leadInLength() const { return m_leadInLength; }
    void setLeadInLength(int length) { m_leadInLength = length; }
    // Counter of lead-in (type 45) entries met while drawing.
    void resetLeadInCount() { m_leadInCount = 0; }

private:
    QmlItems& m_items;
    EngineParts m_engine;
    Bookmarks& m_bookmarks;
    int m_leadInLength = 2500;
    int m_leadInCount = 0;
};

#endif
