// Every button of the real main.qml can be found by a screen reader: each
// one a user can reach, in every display state, every view (its lists
// filled, each settings section open) and every box, is read out by a name
// in words - an icon or a symbol alone is no name.

#include "appharness.h"
#include "isolatedhome.h"
#include "qmlmodule.h"
#include "screenclicks.h"
#include "updateandterms.h"
#include "viewdata.h"

#include <QAccessible>
#include <QQmlContext>
#include <QQuickItem>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QtQml/qqmlmoduleregistration.h>
#include <QtTest>

#include <functional>
#include <utility>
#include <vector>

static IsolatedHome isolatedHome;
static const QQmlModuleRegistration malvorantModule("Malvorant", qml_register_types_Malvorant);

using namespace qml;

namespace {

// What a screen reader says for the button: the name it was given, else
// (the controls' default) its text.
QString spokenName(QQuickItem* button)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(button);
    const QString name = face ? face->text(QAccessible::Name) : QString();
    return name.isEmpty() ? button->property("text").toString() : name;
}

QString describe(QQuickItem* button)
{
    const QQmlContext* context = qmlContext(button);
    return QString::fromLatin1(button->metaObject()->className()) + " \"" + button->property("text").toString()
           + "\" " + button->objectName() + " in " + (context ? context->baseUrl().toString() : QString());
}

// The visible buttons under the item whose spoken name has no letter.
void unnamedButtons(QQuickItem* item, QStringList& out)
{
    if (!item || !item->isVisible())
        return;
    static const QRegularExpression letter(QStringLiteral("\\p{L}"));
    if (item->inherits("QQuickAbstractButton") && item->width() > 0 && item->height() > 0
        && !spokenName(item).contains(letter))
        out << describe(item);
    for (QQuickItem* child : item->childItems())
        unnamedButtons(child, out);
}

} // namespace

class TstAccessibleNames : public QObject
{
    Q_OBJECT

    AppHarness m_app;
    QQuickWindow* m_window = nullptr;
    int m_patient = -1;
    int m_recording = -1;
    int m_pending = -1;

    CQmlInterface& bridge() { return m_app.bridge(); }
    QmlItems& items() { return m_app.bridge().items(); }
    QObject* item(Item i) { return items().object(i); }

    QObject* openView(const QString& name)
    {
        closeViews();
        QVariant opened;
        QMetaObject::invokeMethod(m_window, "openView", Q_RETURN_ARG(QVariant, opened), Q_ARG(QVariant, name));
        QObject* loader = m_window->property("viewLoaders").toMap().value(name).value<QObject*>();
        return loader ? loader->property("item").value<QObject*>() : nullptr;
    }

    void closeViews()
    {
        for (const QVariant& v : m_window->property("viewLoaders").toMap()) {
            QObject* loader = v.value<QObject*>();
            if (QObject* view = loader ? loader->property("item").value<QObject*>() : nullptr)
                view->setProperty("visible", false);
        }
    }

    void closeBoxes()
    {
        for (QObject* o : m_window->findChildren<QObject*>()) {
            if (o->inherits("QQuickPopup") && o->property("visible").toBool())
                QMetaObject::invokeMethod(o, "close");
        }
        QCoreApplication::processEvents();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(isolatedHome.isValid());
        QVERIFY(m_app.isValid());
        // As with a screen reader running: the controls give their names.
        QAccessible::setActive(true);
        m_window = m_app.loadReturningUser();
        QVERIFY(m_window);
        QVERIFY(viewdata::fill(*m_app.bridge().dbMan()->database(), 30, 10, 5));
        m_patient = m_app.makePatient();
        m_recording = m_app.makeRecording(m_patient, 12);
        m_pending = m_app.makeRecording(0, 12);
        QVERIFY(m_patient > 0 && m_recording > 0 && m_pending > 0);
        QSqlQuery q(*m_app.bridge().dbMan()->database());
        QVERIFY(q.exec(QStringLiteral("update ecgTable set qvlCaseId='QV-20931' where ecgId=%1").arg(m_recording)));
        QVERIFY(q.exec("insert into discoveryTable (idx, source, device, mac) values (0, 0, 'Kx-2041', "
                       "'00:80:2a:4b:58:41')"));
    }

    void init() { AppHarness::warnings().clear(); }

    // What the user can have on screen, each shown by its function.
    std::vector<std::pair<QString, std::function<void()>>> scenes()
    {
        std::vector<std::pair<QString, std::function<void()>>> list;
        auto recordingShown = [this] {
            closeViews();
            bridge().selectNShowPatient(m_patient, m_recording);
            bridge().setUiDataDisplayState(0);
        };
        for (int state : {0, 1, 2, 3, 4}) {
            list.emplace_back(QStringLiteral("main window state %1").arg(state), [=] {
                recordingShown();
                if (state == 4)
                    bridge().fileSelectedLocal(0, m_pending);
                else if (state == 3)
                    bridge().selectNShowPatient(bridge().patientMan()->createPatient(
                        "Empty", "E-1", "", "Berg", 2, 1, 3.0f, 0, "", 0, QString(), QString()), -1);
                else
                    bridge().setUiDataDisplayState(state);
            });
        }
        auto view = [this, recordingShown](const QString& name, const std::function<void(QObject*)>& then) {
            return [=] {
                recordingShown();
                QObject* v = openView(name);
                if (v && then)
                    then(v);
            };
        };
        list.emplace_back("patients", view("patients", {}));
        list.emplace_back("new patient", view("patients", [](QObject* v) { QMetaObject::invokeMethod(v, "openNewPatient"); }));
        for (int mode : {0, 1, 2}) {
            list.emplace_back(QStringLiteral("recordings mode %1").arg(mode), view("recordings", [mode](QObject* v) {
                QMetaObject::invokeMethod(v, "showMode", Q_ARG(QVariant, mode));
            }));
        }
        for (int section = 0; section < 9; ++section) {
            list.emplace_back(QStringLiteral("settings section %1").arg(section), view("settings", [section](QObject* v) {
                QMetaObject::invokeMethod(v, "qmlStreamsRetrieved", Q_ARG(int, 1), Q_ARG(int, 0));
                v->setProperty("openedAccordion", section);
            }));
        }
        list.emplace_back("tools", view("tools", {}));
        list.emplace_back("export", view("export", {}));
        auto box = [recordingShown](const std::function<void()>& raise) {
            return [=] {
                recordingShown();
                raise();
            };
        };
        list.emplace_back("alert with cancel", box([this] { items().invoke<C::QmlAlertBoxNoNetwork>(7, true); }));
        list.emplace_back("start a case", box([this] { items().invoke<C::QmlAlertBoxQvlAskUpload>(7); }));
        list.emplace_back("update", box([this] { items().invoke<C::UpdateDialog>(); }));
        list.emplace_back("no updates", box([this] { items().invoke<C::NoUpdates>(); }));
        list.emplace_back("species", box([this] {
            bridge().setUiDataDisplayState(1);
            item(Item::UiData)->setProperty("selectedSpecies", 0);
            items().invoke<C::QmlDoStreaming>();
        }));
        list.emplace_back("warnings", box([this] {
            items().invoke<C::QmlInterferenceWarning>();
            items().invoke<C::QmlLeadWarning>();
        }));
        list.emplace_back("confirm patient", box([this] {
            items().invoke<C::QmlOpenPopup>(QStringLiteral("Bella"), QStringLiteral("P-1042"),
                                          QStringLiteral("Anna Lindqvist"), QStringLiteral("Canine"),
                                          QStringLiteral("Labrador Retriever"), QStringLiteral("Female, Spayed"),
                                          QStringLiteral("6Y11M"), QStringLiteral("23.5 Kg"),
                                          QStringLiteral("14-Jan-2026 09:30:12"));
        }));
        list.emplace_back("about", box([this] { QMetaObject::invokeMethod(m_window, "openAbout"); }));
        list.emplace_back("menu", box([this] { QMetaObject::invokeMethod(m_window, "openMenu"); }));
        list.emplace_back("folder chooser", box([this] {
            QMetaObject::invokeMethod(m_window, "openFolderDialog", Q_ARG(QVariant, QStringLiteral("pdf")));
        }));
        list.emplace_back("terms", box([this] { items().invoke<C::QmlShowSplashScreen>(); }));
        return list;
    }

    void everyButtonHasAName_data()
    {
        QTest::addColumn<int>("scene");
        const auto all = scenes();
        for (int i = 0; i < int(all.size()); ++i)
            QTest::newRow(qPrintable(all[i].first)) << i;
    }

    void everyButtonHasAName()
    {
        QFETCH(int, scene);
        scenes()[scene].second();
        // Lists make their rows, boxes open, when the window next draws.
        AppHarness::waitFor([] { return false; }, 200);
        QStringList unnamed;
        unnamedButtons(m_window->contentItem(), unnamed);
        closeBoxes();
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join('\n')));
        QVERIFY2(AppHarness::qmlWarnings().isEmpty(), qPrintable(AppHarness::qmlWarnings().join('\n')));
    }

    // The delete button of each "All ECGs" row says what it deletes.
    void deleteButtonsNameTheirRecording()
    {
        closeBoxes();
        m_app.bridge().selectNShowPatient(m_patient, m_recording);
        m_app.bridge().setUiDataDisplayState(0);
        QObject* view = openView("recordings");
        QVERIFY(view);
        QMetaObject::invokeMethod(view, "showMode", Q_ARG(QVariant, 1));
        QObject* list = screen::waitFor(m_window, "ecgList");
        QVERIFY(list);
        QStringList names;
        QVERIFY(AppHarness::waitFor([&] {
            names.clear();
            for (int i = 0; i < list->property("count").toInt(); ++i) {
                if (auto* button = qobject_cast<QQuickItem*>(screen::find(m_window, "deleteEcg" + QString::number(i))))
                    names << spokenName(button);
            }
            return names.size() >= 2;
        }));
        QVERIFY2(names.filter(QRegularExpression("^Delete ECG: Not assigned  \u00B7  ")).size() == 1, qPrintable(names.join('\n')));
        QVERIFY2(names.filter(QRegularExpression("^Delete ECG: Bella  \u00B7  ")).size() >= 1, qPrintable(names.join('\n')));
        closeViews();
    }
};

QTEST_MAIN(TstAccessibleNames)
#include "tst_accessiblenames.moc"
