#ifndef MALVORANT_TESTS_LIVETAP_H
#define MALVORANT_TESTS_LIVETAP_H

#include "appharness.h"
#include "liveview.h"
#include "settingsman.h"
#include "updateandterms.h"

#include <QAccessible>
#include <QHash>
#include <QList>
#include <QVector>

#include <memory>

// Sits between the live view and its real source and notes the index of
// every beat-flagged sample it hands on, and every record it hands on.
class TapSource : public LiveSource
{
public:
    explicit TapSource(LiveSource* inner) : m_inner(inner) {}
    bool getData(EcgStreamSample* out) override
    {
        const bool ok = m_inner->getData(out);
        if (ok)
            records << *out;
        if (ok && out->type >= 0) {
            if (out->type == ECG_SAMPLE_RPEAK)
                beats << samples;
            ++samples;
        }
        return ok;
    }
    bool isConnected() const override { return m_inner->isConnected(); }
    bool isBatteryLow() const override { return m_inner->isBatteryLow(); }
    void startStop(bool start) override
    {
        ++(start ? starts : stops);
        m_inner->startStop(start);
    }
    bool hasDevice() const override { return m_inner->hasDevice(); }

    QList<int> beats;
    int samples = 0;
    int starts = 0;
    int stops = 0;
    // Samples and events in the order the live view got them.
    QVector<EcgStreamSample> records;

private:
    LiveSource* m_inner;
};

// The buttons of a window as assistive technology sees them, by name.
inline void findButtons(QAccessibleInterface* iface, QHash<QString, QAccessibleInterface*>& out,
                        int depth = 0)
{
    if (!iface || depth > 80)
        return;
    if (iface->role() == QAccessible::Button && !iface->state().invisible)
        out.insert(iface->text(QAccessible::Name), iface);
    for (int i = 0; i < iface->childCount(); ++i)
        findButtons(iface->child(i), out, depth + 1);
}

// The program on the simulated device (120 beats per minute) in one test
// process: main.qml loaded with the terms accepted, start-up done, and a tap
// between the live view and its source.
class LiveApp
{
public:
    // timeScale: stream seconds per real second. The program's folders are
    // the harness's own, or with givenFolders those the environment names.
    // Empty when all went well, else the step that failed.
    QString start(const char* timeScale, bool givenFolders = false)
    {
        qputenv("MALVORANT_DEVICE", "simulated");
        qputenv("MALVORANT_SIM_HEART_RATE", "120");
        qputenv("MALVORANT_SIM_TIME_SCALE", timeScale);
        QAccessible::setActive(true);
        const QByteArray documents = qgetenv("MALVORANT_PUBLIC_DOCUMENTS");
        const QByteArray profile = qgetenv("ALLUSERSPROFILE");
        m_app = std::make_unique<AppHarness>();
        if (!m_app->isValid())
            return QStringLiteral("no temporary folder");
        if (givenFolders) {
            qputenv("MALVORANT_PUBLIC_DOCUMENTS", documents);
            qputenv("ALLUSERSPROFILE", profile);
        }
        CQmlInterface& b = bridge();
        b.settingsMan()->tucAccepted = 1;
        m_window = m_app->load();
        if (!m_window)
            return QStringLiteral("main.qml did not load");
        // Start-up ends with the stream stopped; "New ECG" comes after it.
        if (!AppHarness::waitFor([&] { return b.updateAndTerms().setupCount() > 0; }))
            return QStringLiteral("start-up did not complete");
        m_tap = std::make_unique<TapSource>(b.liveView().source());
        b.liveView().setSource(m_tap.get());
        b.liveView().loadSpeciesAnalysisParams(1);
        return QString();
    }

    // The stream stopped and the window gone while the test log still takes
    // messages: the stream logs as it ends.
    void finish()
    {
        if (m_app) {
            m_app->bridge().streamStartStop(false);
            m_app->unload();
        }
        m_app.reset();
    }

    AppHarness& app() const { return *m_app; }
    CQmlInterface& bridge() const { return m_app->bridge(); }
    QQuickWindow* window() const { return m_window; }
    TapSource& tap() const { return *m_tap; }
    QVariant ui(const char* name) const
    {
        return bridge().items().object(qml::Item::UiData)->property(name);
    }

    QHash<QString, QAccessibleInterface*> buttons() const
    {
        QHash<QString, QAccessibleInterface*> out;
        findButtons(QAccessible::queryAccessibleInterface(m_window), out);
        return out;
    }

private:
    std::unique_ptr<AppHarness> m_app;
    QQuickWindow* m_window = nullptr;
    std::unique_ptr<TapSource> m_tap;
};

#endif
