#ifndef MALVORANT_TESTS_CHARTITEMS_H
#define MALVORANT_TESTS_CHARTITEMS_H

// The chart's publisher over real QObjects (QML items or plain objects with
// dynamic properties), as the bridge's bound items do it, keeping a journal
// of every write and call so tests can tell what was published.

#include "chartpublisher.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

class ItemsChartPublisher : public ChartPublisher
{
public:
    QPointer<QObject> uiData;
    QPointer<QObject> ecgChart;
    QPointer<QObject> flickable;
    QStringList journal; // "name=value" per write, "call:name" per invocation

    bool isUiDataBound() const override { return uiData; }
    void setUiData(UiValue which, const QVariant& value) override
    {
        journal << QString::fromLatin1(name(which)) + QLatin1Char('=') + value.toString();
        if (uiData)
            uiData->setProperty(name(which), value);
    }
    void invokeEcgChart(ChartCall call) override
    {
        journal << QStringLiteral("call:") + QString::fromLatin1(name(call));
        if (ecgChart)
            QMetaObject::invokeMethod(ecgChart, name(call));
    }
    bool isFlickableBound() const override { return flickable; }
    std::optional<double> flickableContentX() const override
    {
        const QVariant x = flickable ? flickable->property("contentX") : QVariant();
        if (!x.isValid())
            return std::nullopt;
        return x.toDouble();
    }
    void setFlickableContentWidth(double width) override
    {
        journal << QStringLiteral("contentWidth=") + QString::number(width);
        if (flickable)
            flickable->setProperty("contentWidth", width);
    }
    void setFlickableContentX(double x) override
    {
        journal << QStringLiteral("contentX=") + QString::number(x);
        if (flickable)
            flickable->setProperty("contentX", x);
    }
    // Entries of the journal that begin with prefix.
    QStringList written(const QString& prefix) const { return journal.filter(QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(prefix))); }
};

#endif
