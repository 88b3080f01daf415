#include "ecgchart.h"

EcgChart::EcgChart(QmlItems& items, const EngineParts& engine, Bookmarks& bookmarks)
    : m_items(items), m_engine(engine), m_bookmarks(bookmarks)
{
}

void EcgChart::setSize(int, int) {}
void EcgChart::initGrid(int, QAbstractSeries*, QAbstractSeries*, QAbstractSeries*) {}
void EcgChart::initEcg(const EcgSeries&) {}
void EcgChart::updateStoredEcg(double, const EcgSeries&) {}
void EcgChart::hideEcg(const EcgSeries&) {}
void EcgChart::setHorizontalFlickableWidth(double) {}
void EcgChart::flickableBound() {}
