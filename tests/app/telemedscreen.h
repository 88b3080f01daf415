#ifndef MALVORANT_TESTS_TELEMEDSCREEN_H
#define MALVORANT_TESTS_TELEMEDSCREEN_H

// Pieces shared by the telemedicine tests that go through the bridge and the
// real QML: waits on the two clients, the settings page and its account
// state, alerts on screen, and recordings set up for an upload.
#include "appharness.h"
#include "dbman.h"
#include "qvlcaserow.h"
#include "qvlcomm.h"
#include "qvlscheduler.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QSqlQuery>
#include <QStringList>
#include <QtTest>

// Neither the user's client nor the background one has a request open.
inline bool waitQvlIdle(CQmlInterface& bridge, int ms)
{
    return AppHarness::waitFor(
        [&] {
            return !bridge.qvlComm()->requestInProgress()
                && !bridge.qvlScheduler()->client()->requestInProgress();
        },
        ms);
}

// As the recorder leaves it: pending (no patient), then given to the patient.
inline int makeAssignedRecording(AppHarness& app, int patientId, int seconds)
{
    const int ecgId = app.makeRecording(0, seconds);
    if (ecgId <= 0 || !app.bridge().fileMan()->assignPendingEcg(patientId, false))
        return -1;
    return ecgId;
}

// The settings page, opened; null when it does not open.
inline QQuickItem* openSettingsView(QQuickWindow* window)
{
    QVariant opened;
    QMetaObject::invokeMethod(window, "openView", Q_RETURN_ARG(QVariant, opened),
                              Q_ARG(QVariant, QStringLiteral("settings")));
    if (!opened.toBool())
        return nullptr;
    QObject* loader = window->property("viewLoaders").toMap().value("settings").value<QObject*>();
    return loader ? qobject_cast<QQuickItem*>(loader->property("item").value<QObject*>()) : nullptr;
}

// The state line of the telemedicine section and the summary on its heading.
inline QString qvlAccountStateShown(QQuickWindow* window)
{
    QObject* line = window->findChild<QObject*>("qvlAccountState");
    QString summary;
    for (QObject* o : window->findChildren<QObject*>()) {
        if (o->property("title").toString() == "Telemedicine" && o->property("summary").isValid())
            summary = o->property("summary").toString();
    }
    return line ? summary + " | " + line->property("text").toString() : QString();
}

// The alert dialog on screen with that title, null when none is open.
inline QObject* openAlertTitled(QQuickWindow* window, const QString& title)
{
    for (QObject* o : window->findChildren<QObject*>()) {
        if (o->inherits("QQuickDialog") && o->property("visible").toBool()
            && o->property("title").toString() == title)
            return o;
    }
    return nullptr;
}

// Every alert on screen and waiting closed, unanswered: each closed alert
// lets the next one waiting show.
inline void dismissAlerts(QQuickWindow* window)
{
    for (int i = 0; i < 100; ++i) {
        if (!visibleDialog(window)
            && !AppHarness::waitFor([&] { return visibleDialog(window) != nullptr; }, 50))
            return;
        closeVisibleDialogs(window);
    }
}

// Every recording but those kept out of the background queue.
inline void settleOtherRecordings(QSqlDatabase* db, const QList<int>& keep)
{
    QSqlQuery q(*db);
    QStringList ids;
    for (int id : keep)
        ids << QString::number(id);
    QVERIFY(q.exec("update ecgTable set qvlCaseStatus=8 where ecgId not in (" + ids.join(',') + ")"));
}

#endif
