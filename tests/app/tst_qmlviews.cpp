// The full views on the real bridge and a database of a few hundred patients
// and recordings: each opens without a warning, the searches narrow the lists
// whatever the user types, the patient form reports what is missing in the
// order the user reads it, and the title bar shows what each state allows.

#include "appharness.h"
#include "isolatedhome.h"
#include "dbman.h"
#include "liveview.h"
#include "settingsman.h"
#include "qmlmodule.h"
#include "updateandterms.h"
#include "viewdata.h"

#include <QQuickItem>
#include <QRegularExpression>

#include <functional>
#include <QSqlQuery>
#include <QtQml/qqmlmoduleregistration.h>
#include <QtTest>

#include <algorithm>
#include <tuple>

static IsolatedHome isolatedHome;
static const QQmlModuleRegistration malvorantModule("Malvorant", qml_register_types_Malvorant);

namespace {

// SQLite's NOCASE folds ASCII letters only.
QString asciiLower(const QString& s)
{
    QString out = s;
    for (QChar& c : out) {
        if (c.unicode() >= 'A' && c.unicode() <= 'Z')
            c = QChar(c.unicode() + 32);
    }
    return out;
}

struct Row {
    int id;
    QString name;
    QString extId;
};

} // namespace

class TstQmlViews : public QObject
{
    Q_OBJECT

    mutable AppHarness m_app;
    QQuickWindow* m_window = nullptr;

    QObject* find(const char* name) const
    {
        QObject* o = m_window->findChild<QObject*>(QLatin1String(name));
        if (!o)
            qWarning("no object %s", name);
        return o;
    }

    // Opens a full view through main, as the title bar's buttons do.
    QQuickItem* openView(const QString& name)
    {
        closeViews();
        QVariant opened;
        QMetaObject::invokeMethod(m_window, "openView", Q_RETURN_ARG(QVariant, opened),
                                  Q_ARG(QVariant, name));
        if (!opened.toBool())
            return nullptr;
        const QVariantMap loaders = m_window->property("viewLoaders").toMap();
        QObject* loader = loaders.value(name).value<QObject*>();
        return loader ? qobject_cast<QQuickItem*>(loader->property("item").value<QObject*>()) : nullptr;
    }

    void closeViews()
    {
        const QVariantMap loaders = m_window->property("viewLoaders").toMap();
        for (const QVariant& v : loaders) {
            QObject* loader = v.value<QObject*>();
            if (QObject* item = loader ? loader->property("item").value<QObject*>() : nullptr)
                item->setProperty("visible", false);
        }
    }

    CSqlQueryModel* model(int idx) const
    {
        return qobject_cast<CSqlQueryModel*>(m_app.bridge().dataModel(idx));
    }

    // Every row the list model holds: id, name and external id.
    QList<Row> listed(int idx = 1) const
    {
        CSqlQueryModel* m = model(idx);
        while (m->canFetchMore())
            m->fetchMore();
        const QHash<int, QByteArray> roles = m->roleNames();
        const int idRole = roles.key("id"), nameRole = roles.key("patientName"),
                  extRole = roles.key("extId");
        QList<Row> rows;
        for (int r = 0; r < m->rowCount(); ++r) {
            const QModelIndex i = m->index(r, 0);
            rows.append({m->data(i, idRole).toInt(), m->data(i, nameRole).toString(),
                         m->data(i, extRole).toString()});
        }
        return rows;
    }

    // The rows a search must find, read without the search's SQL.
    QList<Row> expectedPatients(const QString& text) const
    {
        QSqlQuery q(*m_app.bridge().dbMan()->database());
        q.exec("select t1.patientId, t1.patientName, t1.extId from patientTable t1 "
               "join speciesTable t2 on t1.species = t2.id");
        QList<Row> rows;
        while (q.next()) {
            const Row row{q.value(0).toInt(), q.value(1).toString(), q.value(2).toString()};
            if (asciiLower(row.name).contains(asciiLower(text))
                || asciiLower(row.extId).contains(asciiLower(text)))
                rows.append(row);
        }
        std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
            return std::make_tuple(asciiLower(a.name), a.extId, a.id)
                   < std::make_tuple(asciiLower(b.name), b.extId, b.id);
        });
        return rows;
    }

    static QStringList ids(const QList<Row>& rows)
    {
        QStringList out;
        for (const Row& r : rows)
            out << QString::number(r.id);
        return out;
    }

    static void setText(QObject* field, const QString& text)
    {
        QVERIFY(field);
        field->setProperty("text", text);
    }

    QVariantMap save(QObject* view)
    {
        QVariant result;
        QMetaObject::invokeMethod(view, "saveForm", Q_RETURN_ARG(QVariant, result));
        return result.toMap();
    }

    // The radio buttons of a choice list (a Repeater's items are the list's
    // items, not its children), by their texts.
    QHash<QString, QQuickItem*> choiceButtons(const char* list) const
    {
        QHash<QString, QQuickItem*> buttons;
        QList<QQuickItem*> items{qobject_cast<QQuickItem*>(find(list))};
        while (!items.isEmpty()) {
            QQuickItem* item = items.takeFirst();
            if (!item)
                continue;
            if (item->inherits("QQuickRadioButton"))
                buttons.insert(item->property("text").toString(), item);
            items += item->childItems();
        }
        return buttons;
    }

    // The texts of a choice list's checked buttons.
    QStringList checkedChoices(const char* list) const
    {
        QStringList checked;
        const QHash<QString, QQuickItem*> buttons = choiceButtons(list);
        for (auto it = buttons.cbegin(); it != buttons.cend(); ++it) {
            if (it.value()->property("checked").toBool())
                checked << it.key();
        }
        return checked;
    }

    // A click where the user clicks: in the middle of the item.
    void clickItem(QQuickItem* item)
    {
        QVERIFY(item);
        QTRY_VERIFY(item->isVisible() && item->width() > 0);
        QTest::mouseClick(m_window, Qt::LeftButton, {},
                          item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint());
    }

    // An icon button of the top area by its tool tip.
    QObject* topAreaButton(const QString& tip) const
    {
        QObject* area = m_app.bridge().items().object(qml::Item::TopArea);
        for (QObject* o : area->findChildren<QObject*>()) {
            if (o->inherits("QQuickAbstractButton") && o->property("tip").toString() == tip)
                return o;
        }
        return nullptr;
    }

    void noWarnings()
    {
        QVERIFY2(AppHarness::warnings().isEmpty(), qPrintable(AppHarness::warnings().join('\n')));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(isolatedHome.isValid());
        QVERIFY(m_app.isValid());
        // A returning user: no terms to accept before the views are used.
        m_window = m_app.loadReturningUser();
        QVERIFY(m_window);
        QVERIFY(viewdata::fill(*m_app.bridge().dbMan()->database(), 320, 150, 30));
        noWarnings();
    }

    void init()
    {
        AppHarness::warnings().clear();
        // Qt's own warnings (a component that cannot be made, a binding loop) fail too.
        QTest::failOnWarning(QRegularExpression(".*"));
    }

    void eachViewOpens_data()
    {
        QTest::addColumn<QString>("view");
        QTest::addColumn<QString>("title");
        QTest::newRow("patients") << "patients" << "Local Patients";
        QTest::newRow("recordings") << "recordings" << "Saved ECGs";
        QTest::newRow("settings") << "settings" << "Malvorant Settings";
        QTest::newRow("tools") << "tools" << "ECG Tools";
        QTest::newRow("export") << "export" << "Export ECGs";
    }

    void eachViewOpens()
    {
        QFETCH(QString, view);
        QFETCH(QString, title);
        QQuickItem* item = openView(view);
        QVERIFY(item);
        QVERIFY(item->isVisible());
        QCOMPARE(item->property("title").toString(), title);
        QCOMPARE(item->width(), m_window->contentItem()->width());
        // A second view does not open over the first.
        QVariant opened;
        QMetaObject::invokeMethod(m_window, "openView", Q_RETURN_ARG(QVariant, opened),
                                  Q_ARG(QVariant, view == "tools" ? "export" : "tools"));
        QVERIFY(!opened.toBool());
        QCoreApplication::processEvents();
        noWarnings();
        closeViews();
    }

    void patientSearchNarrowsTheList_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing") << "";
        QTest::newRow("quote") << "O'Brien";
        QTest::newRow("double quotes") << "\"Quoted\"";
        QTest::newRow("percent") << "100%";
        QTest::newRow("lone percent") << "%";
        QTest::newRow("underscore") << "a_b";
        QTest::newRow("backslash") << "back\\";
        QTest::newRow("umlaut") << "Mül";
        QTest::newRow("o with diaeresis") << "Zoë";
        QTest::newRow("letter beyond ASCII") << "ø";
        QTest::newRow("capital umlaut") << "Ümit";
        QTest::newRow("case") << "BELLA";
        QTest::newRow("external id") << "P-00031";
        QTest::newRow("statement") << "'; delete from patientTable; --";
        QTest::newRow("no match") << "qqqqqq";
    }

    void patientSearchNarrowsTheList()
    {
        QFETCH(QString, text);
        QQuickItem* view = openView("patients");
        QVERIFY(view);
        QObject* search = find("patientSearch");
        setText(search, text);
        const QList<Row> expected = expectedPatients(text);
        QCOMPARE(ids(listed()), ids(expected));
        QCOMPARE(view->property("rowCount").toInt(), model(1)->rowCount());
        if (!text.isEmpty() && text != "qqqqqq")
            QVERIFY(!expected.isEmpty() || text.startsWith('\''));
        setText(search, QString());
        QVERIFY(listed().size() > 300);
        noWarnings();
        closeViews();
    }

    // The list shows the current patient highlighted, at the row the store counts.
    void currentPatientIsHighlighted()
    {
        CPatientMan& patients = *m_app.bridge().patientMan();
        const QList<Row> all = expectedPatients(QString());
        const Row target = all.at(all.size() / 2);
        QVERIFY(patients.loadPatient(target.id));
        QQuickItem* view = openView("patients");
        QVERIFY(view);
        QObject* list = find("patientList");
        QVERIFY(list);
        Q_UNUSED(view);
        // Until the patient flows land the bridge answers 0; then it is the row itself.
        const int current = list->property("currentIndex").toInt();
        QCOMPARE(current, m_app.bridge().patientGetCurrentModelIndex());
        closeViews();
    }

    void recordingSearchNarrowsTheList_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("text");
        QTest::newRow("all") << 1 << "";
        QTest::newRow("all, quote") << 1 << "O'Brien";
        QTest::newRow("all, percent") << 1 << "100%";
        QTest::newRow("all, umlaut") << 1 << "Müller";
        QTest::newRow("all, backslash") << 1 << "back\\";
        QTest::newRow("all, statement") << 1 << "\"; drop table ecgTable; --";
        QTest::newRow("pacs") << 2 << "";
        QTest::newRow("pacs, quote") << 2 << "O'Brien";
        QTest::newRow("pacs, underscore") << 2 << "a_b";
        QTest::newRow("pacs, letter beyond ASCII") << 2 << "ë";
    }

    void recordingSearchNarrowsTheList()
    {
        QFETCH(int, mode);
        QFETCH(QString, text);
        QSqlQuery all(*m_app.bridge().dbMan()->database());
        QVERIFY(all.exec(mode == 1 ? "select t1.patientName from ecgTable t3 join patientTable t1 "
                                     "on t3.patientId = t1.patientId"
                                   : "select patientName from pacsTable"));
        int rows = 0;
        while (all.next())
            rows += asciiLower(all.value(0).toString()).contains(asciiLower(text)) ? 1 : 0;
        QVERIFY(text.contains("drop") || rows > 0);
        QQuickItem* view = openView("recordings");
        QVERIFY(view);
        QMetaObject::invokeMethod(view, "showMode", Q_ARG(QVariant, mode));
        setText(find("ecgSearch"), text);
        const QList<Row> found = listed();
        QCOMPARE(found.size(), rows);
        for (const Row& r : found)
            QVERIFY2(asciiLower(r.name).contains(asciiLower(text)), qPrintable(r.name));
        // Newest first for recordings; by name for the PACS studies.
        CSqlQueryModel* m = model(1);
        const int dateRole = m->roleNames().key("studyDate");
        for (int r = 1; mode == 1 && r < m->rowCount(); ++r)
            QVERIFY(m->data(m->index(r - 1, 0), dateRole).toString()
                    >= m->data(m->index(r, 0), dateRole).toString());
        for (int r = 1; mode == 2 && r < found.size(); ++r)
            QVERIFY(asciiLower(found[r - 1].name) <= asciiLower(found[r].name));
        QSqlQuery q(*m_app.bridge().dbMan()->database());
        QVERIFY(q.exec("select count(*) from ecgTable") && q.next());
        QCOMPARE(q.value(0).toInt(), 300);
        setText(find("ecgSearch"), QString());
        noWarnings();
        closeViews();
    }

    void deletingARecordingAsksFirst()
    {
        QQuickItem* view = openView("recordings");
        QVERIFY(view);
        QMetaObject::invokeMethod(view, "showMode", Q_ARG(QVariant, 1));
        setText(find("ecgSearch"), "O'Brien");
        CSqlQueryModel* m = model(1);
        QVERIFY(m->rowCount() > 0);
        QVariantMap row;
        for (auto it = m->roleNames().cbegin(); it != m->roleNames().cend(); ++it)
            row[QString::fromUtf8(it.value())] = m->data(m->index(0, 0), it.key());
        QMetaObject::invokeMethod(view, "askDelete", Q_ARG(QVariant, row));
        QObject* dialog = find("deleteEcgDialog");
        QVERIFY(dialog && dialog->property("visible").toBool());
        QCOMPARE(dialog->property("title").toString(), QStringLiteral("About to delete ECG"));
        QCOMPARE(dialog->property("text").toString(),
                 "You have requested that the ECG for " + row["patientName"].toString()
                     + " recorded on " + row["studyDate"].toString() + " gets deleted.");
        QCOMPARE(dialog->property("informativeText").toString(),
                 QStringLiteral("Are you sure you want to delete this file?"));
        QMetaObject::invokeMethod(dialog, "reject");
        setText(find("ecgSearch"), QString());
        closeViews();
    }

    // Bad inputs: every line that applies, in the order of the form.
    void formReportsWhatIsMissing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("extId");
        QTest::addColumn<QString>("ownerLast");
        QTest::addColumn<bool>("species");
        QTest::addColumn<QString>("weight");
        QTest::addColumn<double>("birthTs");
        QTest::addColumn<QString>("errors");

        const QString name = "Patient name must be at least 1 character long.\n";
        const QString id = "Patient ID must be at least 1 character long.\n";
        const QString last = "Owner last name must be at least 1 character long.\n";
        const QString species = "Species is not set.\n";
        const QString weight = "Weight is not set.\n";
        const QString birth = "Birthday must be of format mm/yyyy and after 12/1969\n";
        const double ts = 1546300800;

        QTest::newRow("empty form") << "" << "" << "" << false << "" << 0.0
                                    << name + id + last + species + weight + birth;
        QTest::newRow("empty name") << "" << "P1" << "Doe" << true << "7" << ts << name;
        QTest::newRow("empty id") << "Rex" << "" << "Doe" << true << "7" << ts << id;
        QTest::newRow("empty owner last name") << "Rex" << "P1" << "" << true << "7" << ts << last;
        QTest::newRow("species unknown") << "Rex" << "P1" << "Doe" << false << "7" << ts << species;
        QTest::newRow("weight empty") << "Rex" << "P1" << "Doe" << true << "" << ts << weight;
        QTest::newRow("weight 0") << "Rex" << "P1" << "Doe" << true << "0" << ts << weight;
        QTest::newRow("weight not a number") << "Rex" << "P1" << "Doe" << true << "heavy" << ts << weight;
        QTest::newRow("weight negative") << "Rex" << "P1" << "Doe" << true << "-3" << ts << weight;
        QTest::newRow("bad birthday") << "Rex" << "P1" << "Doe" << true << "7" << 0.0 << birth;
        QTest::newRow("name and weight") << "" << "P1" << "Doe" << true << "0" << ts << name + weight;
        QTest::newRow("id and birthday") << "Rex" << "" << "Doe" << true << "7" << 0.0 << id + birth;
    }

    void formReportsWhatIsMissing()
    {
        QFETCH(QString, name);
        QFETCH(QString, extId);
        QFETCH(QString, ownerLast);
        QFETCH(bool, species);
        QFETCH(QString, weight);
        QFETCH(double, birthTs);
        QFETCH(QString, errors);

        QQuickItem* view = openView("patients");
        QVERIFY(view);
        QMetaObject::invokeMethod(view, "openNewPatient");
        QCOMPARE(view->property("openedAccordion").toInt(), 3);
        QCOMPARE(view->property("title").toString(), QStringLiteral("New Patient"));
        setText(find("patientNameField"), name);
        setText(find("patientIdField"), extId);
        setText(find("ownerLastField"), ownerLast);
        setText(find("weightField"), weight);
        if (species) {
            view->setProperty("formSpeciesIdx", 2);
            view->setProperty("formSpeciesValue", "Canine");
        }
        // What the bridge's birthday check leaves behind.
        view->setProperty("initializerBirthdayTs", birthTs);

        const QVariantMap result = save(view);
        QCOMPARE(result.value("errors").toString(), errors);
        QObject* dialog = find("incompleteDialog");
        QVERIFY(dialog->property("visible").toBool());
        QCOMPARE(dialog->property("title").toString(), QStringLiteral("Incomplete Input Data"));
        QCOMPARE(dialog->property("text").toString(),
                 QStringLiteral("At least one input parameter is of insufficient length."));
        QCOMPARE(dialog->property("informativeText").toString(), errors);
        QMetaObject::invokeMethod(dialog, "accept");
        // The form stays open with what was typed.
        QCOMPARE(view->property("openedAccordion").toInt(), 3);
        QCOMPARE(find("patientNameField")->property("text").toString(), name);
        noWarnings();
        closeViews();
    }

    // A complete form goes to the bridge with the typed values, in the slot's order.
    void validFormReachesPatientUpdated_data()
    {
        QTest::addColumn<bool>("pound");
        QTest::newRow("kilogram") << false;
        QTest::newRow("pound") << true;
    }

    void validFormReachesPatientUpdated()
    {
        QFETCH(bool, pound);
        QQuickItem* view = openView("patients");
        QVERIFY(view);
        QMetaObject::invokeMethod(view, "openNewPatient");
        setText(find("patientNameField"), "Zoë O'Brien");
        setText(find("patientIdField"), "100%_x");
        setText(find("ownerFirstField"), "Anna");
        setText(find("ownerLastField"), "Müller");
        setText(find("breedField"), "Beagle");
        setText(find("weightField"), "12.5");
        find("poundButton")->setProperty("checked", pound);
        view->setProperty("formSpeciesIdx", 2);
        view->setProperty("formSpeciesValue", "Canine");
        view->setProperty("initializerBirthdayTs", 1546300800.0);

        const QVariantMap result = save(view);
        QVERIFY2(!result.contains("errors"), qPrintable(result.value("errors").toString()));
        const QVariantList args = result.value("args").toList();
        QCOMPARE(args.size(), 11);
        QCOMPARE(args[0].toInt(), -1);
        QCOMPARE(args[1].toString(), QStringLiteral("Zoë O'Brien"));
        QCOMPARE(args[2].toString(), QStringLiteral("100%_x"));
        QCOMPARE(args[3].toString(), QStringLiteral("Anna"));
        QCOMPARE(args[4].toString(), QStringLiteral("Müller"));
        QCOMPARE(args[5].toInt(), 2);
        QCOMPARE(args[6].toString(), QStringLiteral("Beagle"));
        QCOMPARE(args[7].toInt(), 1);
        QCOMPARE(args[8].toString(), QStringLiteral("12.5"));
        QCOMPARE(args[9].toBool(), pound);
        QCOMPARE(args[10].toDouble(), 1546300800.0);
        // Back to the list.
        QCOMPARE(view->property("openedAccordion").toInt(), 0);
        QCOMPARE(view->property("title").toString(), QStringLiteral("Local Patients"));
        QVERIFY(!find("incompleteDialog")->property("visible").toBool());
        noWarnings();
        closeViews();
    }

    // An import prepares the form through the bridge, in the bridge's order:
    // the view shows the form for the file's patient, though it was never opened.
    void bridgeOpensTheFormForAnImport()
    {
        closeViews();
        QmlItems& items = m_app.bridge().items();
        items.set<qml::P::PatEditExistingPatient>(false);
        items.set<qml::P::PatVisible>(true);
        items.set<qml::P::PatOpenedAccordion>(3);
        items.set<qml::P::PatHeaderLabel>(QStringLiteral("New Patient ?"));
        items.set<qml::P::PatNumberOfEcgsToPatient>(-1);
        items.set<qml::P::PatInitPatientName>(QStringLiteral("Imported Rex"));
        items.set<qml::P::PatInitSpeciesValue>(QStringLiteral("Canine"));
        items.invoke<qml::C::PatDoReload>();
        QObject* view = items.object(qml::Item::PatientView);
        QVERIFY(view);
        QVERIFY(view->property("visible").toBool());
        QCOMPARE(view->property("title").toString(), QStringLiteral("New Patient ?"));
        QCOMPARE(view->property("openedAccordion").toInt(), 3);
        QCOMPARE(find("patientNameField")->property("text").toString(), QStringLiteral("Imported Rex"));
        QCOMPARE(find("speciesButton")->property("text").toString(), QStringLiteral("Canine"));
        QVERIFY(!find("deletePatientButton")->property("visible").toBool());
        items.set<qml::P::PatInitPatientName>(QString());
        items.set<qml::P::PatInitSpeciesValue>(QStringLiteral("Unknown"));
        view->setProperty("openedAccordion", 0);
        closeViews();
        noWarnings();
    }

    // The species picker lists the species table; choosing one with a breed
    // list asks the bridge for its first breed.
    void speciesPickerListsTheSpecies()
    {
        QQuickItem* view = openView("patients");
        QVERIFY(view);
        QMetaObject::invokeMethod(view, "openNewPatient");
        QObject* button = find("speciesButton");
        QVERIFY(button);
        QMetaObject::invokeMethod(button, "clicked");
        QSqlQuery q(*m_app.bridge().dbMan()->database());
        QVERIFY(q.exec("select count(*) from speciesTable") && q.next());
        QCOMPARE(model(2)->rowCount(), q.value(0).toInt());
        QCOMPARE(model(2)->roleNames().value(258), QByteArray("dataText"));
        // The rows show the species names, though the model served other columns before.
        QObject* list = find("pickerList");
        QVERIFY(list);
        QVERIFY(AppHarness::waitFor([&] { return list->property("count").toInt() > 0; }));
        QQuickItem* first = nullptr;
        QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem*, first), Q_ARG(int, 0));
        QVERIFY(first);
        QCOMPARE(first->property("text").toString(), model(2)->data(model(2)->index(0, 1)).toString());
        QVERIFY(!first->property("text").toString().isEmpty());
        noWarnings();
        closeViews();
    }

    void titleBarFollowsTheDisplayState_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("recordText");
        QTest::addColumn<bool>("recordVisible");
        QTest::addColumn<bool>("listsVisible");
        QTest::addColumn<bool>("cancelVisible");
        QTest::newRow("0 assigned recording") << 0 << "New ECG" << true << true << false;
        QTest::newRow("1 streaming") << 1 << "Stop Monitor" << true << true << false;
        QTest::newRow("2 recording") << 2 << "Stop Monitor" << true << false << false;
        QTest::newRow("3 no recording") << 3 << "New ECG" << true << true << false;
        QTest::newRow("4 unassigned recording") << 4 << "Stop Monitor" << false << false << true;
    }

    void titleBarFollowsTheDisplayState()
    {
        QFETCH(int, state);
        QFETCH(QString, recordText);
        QFETCH(bool, recordVisible);
        QFETCH(bool, listsVisible);
        QFETCH(bool, cancelVisible);
        // The title bar: the item of main's TopHeader type.
        QObject* header = nullptr;
        for (QQuickItem* child : m_window->findChildren<QQuickItem*>()) {
            for (const QMetaObject* m = child->metaObject(); m && !header; m = m->superClass()) {
                if (QString::fromLatin1(m->className()).startsWith("TopHeader"))
                    header = child;
            }
        }
        QVERIFY(header);
        m_app.bridge().setUiDataDisplayState(state);
        QHash<QString, QQuickItem*> buttons;
        for (QQuickItem* b : header->findChildren<QQuickItem*>()) {
            // The bar's own buttons, not those of its confirmation dialog.
            if (QString::fromLatin1(b->metaObject()->className()).startsWith("HeaderButton"))
                buttons.insert(b->property("text").toString(), b);
        }
        QVERIFY(buttons.contains(recordText));
        QCOMPARE(buttons[recordText]->isVisible(), recordVisible);
        for (const char* text : {"Saved ECGs", "Import ECGs", "Export ECGs"})
            QCOMPARE(buttons[text]->isVisible(), listsVisible);
        QVERIFY(buttons["Settings"]->isVisible());
        QVERIFY(buttons["ECG Tools"]->isVisible());
        QCOMPARE(buttons["Cancel"]->isVisible(), cancelVisible);
        m_app.bridge().setUiDataDisplayState(3);
    }

    // Settings: each section opens alone; the values come from the bridge.
    void settingsSectionsOpenOneAtATime()
    {
        QQuickItem* view = openView("settings");
        QVERIFY(view);
        for (int i = 0; i <= 8; ++i) {
            view->setProperty("openedAccordion", i);
            QCoreApplication::processEvents();
        }
        view->setProperty("initializerQvlUserName", "vet@example.org");
        view->setProperty("initializerRecordingSeconds", 60);
        QMetaObject::invokeMethod(view, "loadFromInitializers");
        QCOMPARE(find("qvlUser")->property("text").toString(), QStringLiteral("vet@example.org"));
        noWarnings();
        closeViews();
    }

    // Settings, Species: a click on a choice moves the species the screens
    // see, the live analysis preset and the stored setting at once.
    void speciesChoiceAppliesAtOnce_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<int>("species");
        QTest::addColumn<int>("word91"); // differs in each preset
        QTest::newRow("canine only") << "Canine Only" << 1 << 240;
        QTest::newRow("feline only") << "Feline Only" << 2 << 250;
        QTest::newRow("always ask") << "Always Ask Species" << 0 << 375;
    }

    void speciesChoiceAppliesAtOnce()
    {
        QFETCH(QString, choice);
        QFETCH(int, species);
        QFETCH(int, word91);
        CQmlInterface& bridge = m_app.bridge();
        QObject* uiData = bridge.items().object(qml::Item::UiData);
        // From another choice.
        bridge.setSpeciesPicker(species == 1 ? 2 : 1);
        QVERIFY(uiData->property("selectedSpecies").toInt() != species);

        // Nothing left open over the view by the tests before.
        for (QObject* popup : m_window->findChildren<QObject*>()) {
            if (popup->inherits("QQuickPopup") && popup->property("opened").toBool())
                QMetaObject::invokeMethod(popup, "close");
        }
        QQuickItem* view = openView("settings");
        QVERIFY(view);
        view->setProperty("openedAccordion", -1);
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        auto click = [this](QQuickItem* item, qreal y) {
            const QPointF at = item->mapToScene(QPointF(item->width() / 2, y));
            QTest::mouseClick(m_window, Qt::LeftButton, {}, at.toPoint());
        };
        auto* section = qobject_cast<QQuickItem*>(find("speciesSection"));
        QVERIFY(section);
        QTRY_VERIFY(section->isVisible() && section->height() > 0);
        click(section, 26); // the section's heading opens it
        QTRY_COMPARE(view->property("openedAccordion").toInt(), 5);
        // The Repeater's buttons are the choice list's items, not its children.
        QQuickItem* button = nullptr;
        QList<QQuickItem*> items{qobject_cast<QQuickItem*>(find("speciesChoice"))};
        while (!items.isEmpty() && !button) {
            QQuickItem* item = items.takeFirst();
            if (!item)
                continue;
            if (item->inherits("QQuickRadioButton") && item->property("text").toString() == choice)
                button = item;
            items += item->childItems();
        }
        QVERIFY(button);
        QTRY_VERIFY(button->isVisible() && button->width() > 0);
        click(button, button->height() / 2);

        // No waiting: the click itself has done it.
        QVERIFY(button->property("checked").toBool());
        QCOMPARE(uiData->property("selectedSpecies").toInt(), species);
        QCOMPARE(bridge.liveView().species(), species);
        QCOMPARE(bridge.liveView().analysisParams()[91], word91);
        QCOMPARE(bridge.settingsMan()->selectedSpecies, species);
        QSqlQuery q(*bridge.dbMan()->database());
        QVERIFY(q.exec("select value from systemTable where oid=69"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), species);
        noWarnings();
        closeViews();
    }

    // The import file dialog and the folder dialog of the exports open (the
    // dialogs' own QML needs the folder-list module installed).
    void fileDialogsOpen()
    {
        QObject* header = nullptr;
        for (QQuickItem* child : m_window->findChildren<QQuickItem*>()) {
            if (QString::fromLatin1(child->metaObject()->className()).startsWith("TopHeader"))
                header = child;
        }
        QVERIFY(header);
        QMetaObject::invokeMethod(header, "importRequested");
        QObject* import = find("importDialog");
        QVERIFY(import);
        QVERIFY(import->property("visible").toBool());
        const QStringList filters = import->property("nameFilters").toStringList();
        QCOMPARE(filters, QStringList({"Malvorant ECG files (*.ecg)", "Dicom files (*.dce *.dcm)"}));
        QMetaObject::invokeMethod(import, "reject");

        QMetaObject::invokeMethod(m_window, "openFolderDialog", Q_ARG(QVariant, QStringLiteral("pdf")));
        QObject* folder = find("folderDialog");
        QVERIFY(folder);
        QVERIFY(folder->property("visible").toBool());
        QCOMPARE(folder->property("currentFolder").toUrl(), QUrl::fromLocalFile(QDir::homePath()));
        QMetaObject::invokeMethod(folder, "reject");
        noWarnings();
    }

    // The menu, the two live warning drawers, the about box and the warnings'
    // help boxes are made when first asked for: none exists before, each
    // opens, and a second request opens the same one again.
    void boxesOpenOnFirstUse()
    {
        auto boxes = [this](const QString& title) {
            QList<QObject*> found;
            for (QObject* o : m_window->findChildren<QObject*>()) {
                if (o->inherits("QQuickPopup") && o->property("title").toString() == title)
                    found.append(o);
            }
            return found;
        };
        auto madeOf = [this](const char* type) {
            QList<QObject*> found;
            for (QObject* o : m_window->findChildren<QObject*>()) {
                if (QByteArray(o->metaObject()->className()).startsWith(type))
                    found.append(o);
            }
            return found;
        };
        for (const char* type : {"LeftDrawer", "DrawerInterference", "DrawerLeadWarning"})
            QVERIFY2(madeOf(type).isEmpty(), type);

        // A warning opens its drawer; its help button asks for the help box.
        QObject* bottomArea = m_app.bridge().items().object(qml::Item::BottomArea);
        QVERIFY(bottomArea);
        auto helpFrom = [&](const char* warning, const char* drawer) {
            QMetaObject::invokeMethod(bottomArea, warning);
            const QList<QObject*> drawers = madeOf(drawer);
            QCOMPARE(drawers.size(), 1);
            QTRY_VERIFY(drawers.first()->property("visible").toBool());
            QMetaObject::invokeMethod(drawers.first(), "helpRequested");
        };
        const struct {
            QString title;
            std::function<void()> ask;
        } cases[] = {
            {"About Malvorant PC", [this] { QMetaObject::invokeMethod(m_window, "openAbout"); }},
            {"Possible ECG Interference Issue", [&] { helpFrom("qmlInterferenceWarning", "DrawerInterference"); }},
            {"Possible Lead Placement Issue", [&] { helpFrom("qmlLeadWarning", "DrawerLeadWarning"); }},
        };
        for (const auto& box : cases) {
            QVERIFY2(boxes(box.title).isEmpty(), qPrintable(box.title));
            for (int round = 0; round < 2; ++round) {
                box.ask();
                const QList<QObject*> made = boxes(box.title);
                QCOMPARE(made.size(), 1);
                QTRY_VERIFY2(made.first()->property("visible").toBool(), qPrintable(box.title + " round " + QString::number(round)));
                QMetaObject::invokeMethod(made.first(), "close");
                QTRY_VERIFY(!made.first()->property("visible").toBool());
            }
        }
        // The warnings clear; their drawers close and stay made.
        QMetaObject::invokeMethod(bottomArea, "qmlInterferenceWarningClose");
        QMetaObject::invokeMethod(bottomArea, "qmlLeadWarningClose");
        for (const char* type : {"DrawerInterference", "DrawerLeadWarning"}) {
            QCOMPARE(madeOf(type).size(), 1);
            QTRY_VERIFY2(!madeOf(type).first()->property("visible").toBool(), type);
        }

        // The menu button opens the menu, made once.
        QObject* header = nullptr;
        for (QObject* o : m_window->findChildren<QObject*>()) {
            if (QByteArray(o->metaObject()->className()).startsWith("TopHeader"))
                header = o;
        }
        QVERIFY(header);
        for (int round = 0; round < 2; ++round) {
            QMetaObject::invokeMethod(header, "menuRequested");
            const QList<QObject*> menus = madeOf("LeftDrawer");
            QCOMPARE(menus.size(), 1);
            QTRY_VERIFY(menus.first()->property("visible").toBool());
            QMetaObject::invokeMethod(menus.first(), "close");
            QTRY_VERIFY(!menus.first()->property("visible").toBool());
        }
        noWarnings();
    }

    // Tools: a choice sets its index and the viewer takes all eight values.
    void toolsSetTheViewerIndexes()
    {
        QQuickItem* view = openView("tools");
        QVERIFY(view);
        QObject* uiData = m_app.bridge().items().object(qml::Item::UiData);
        QObject* speed = find("paperSpeedChoice");
        QVERIFY(speed);
        QMetaObject::invokeMethod(speed, "chosen", Q_ARG(int, 4));
        QCOMPARE(uiData->property("ecgSpeedIdx").toInt(), 4);
        QObject* grid = find("gridChoice");
        QMetaObject::invokeMethod(grid, "chosen", Q_ARG(int, 1));
        QCOMPARE(uiData->property("ecgGridIdx").toInt(), 1);
        noWarnings();
        closeViews();
    }

    // ECG Tools shows the choices in force however they were made: chosen
    // in the tools, then changed with the top area's buttons, the tools show
    // what the trace and the viewer line show.
    void toolsShowTheChoicesInForce()
    {
        CQmlInterface& bridge = m_app.bridge();
        QObject* uiData = bridge.items().object(qml::Item::UiData);
        bridge.selectNShowPatient(bridge.patientMan()->patientId, -1);
        bridge.setUiDataDisplayState(0);
        QQuickItem* view = openView("tools");
        QVERIFY(view);
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        const struct {
            const char* list;
            QString chosen;
            QString topAreaTip;
            QString after;
        } steps[] = {{"gainChoice", "10 mm/mV", "Increase gain", "20 mm/mV"},
                     {"paperSpeedChoice", "25 mm/sec", "Increase paper speed", "50 mm/sec"},
                     {"displayTypeChoice", "Einthoven", "Goldberger", "Goldberger"}};
        for (const auto& step : steps) {
            clickItem(choiceButtons(step.list).value(step.chosen));
            QCOMPARE(checkedChoices(step.list), QStringList{step.chosen});
        }
        QCOMPARE(uiData->property("footerLineLeft").toString(), QStringLiteral("Einthoven, 25mm/sec, 10mm/mV"));
        closeViews();

        for (const auto& step : steps) {
            QObject* button = topAreaButton(step.topAreaTip);
            QVERIFY2(button, qPrintable(step.topAreaTip));
            QVERIFY(QMetaObject::invokeMethod(button, "clicked"));
        }
        QCOMPARE(uiData->property("footerLineLeft").toString(), QStringLiteral("Goldberger, 50mm/sec, 20mm/mV"));
        QCOMPARE(bridge.chart().gain(), 20.0);

        view = openView("tools");
        QVERIFY(view);
        for (const auto& step : steps)
            QCOMPARE(checkedChoices(step.list), QStringList{step.after});
        // Chosen in the tools again, from there.
        clickItem(choiceButtons("gainChoice").value("5 mm/mV"));
        QCOMPARE(checkedChoices("gainChoice"), QStringList{"5 mm/mV"});
        QCOMPARE(bridge.chart().gain(), 5.0);
        noWarnings();
        closeViews();
    }

    void newPatientTakesTheSpecies_data()
    {
        QTest::addColumn<int>("preset");       // 0 always ask, 1 canine only, 2 feline only
        QTest::addColumn<int>("recorded");     // species code of a waiting recording; -1 none
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("speciesId");
        QTest::newRow("always ask") << 0 << -1 << "Unknown" << 0;
        QTest::newRow("canine only") << 1 << -1 << "Canine" << 2;
        QTest::newRow("feline only") << 2 << -1 << "Feline" << 3;
        QTest::newRow("feline recorded, canine only") << 1 << 3 << "Feline" << 3;
        QTest::newRow("canine recorded, always ask") << 0 << 2 << "Canine" << 2;
        QTest::newRow("other animal recorded, feline only") << 2 << 0 << "Unknown" << 0;
    }

    // The New Patient form starts with the species the waiting recording was
    // made for, else with the preset's; the bottom bar's species follows the
    // preset. Saved, the patient has that species.
    void newPatientTakesTheSpecies()
    {
        QFETCH(int, preset);
        QFETCH(int, recorded);
        QFETCH(QString, shown);
        QFETCH(int, speciesId);
        CQmlInterface& bridge = m_app.bridge();
        QObject* uiData = bridge.items().object(qml::Item::UiData);
        // The animal of an earlier recording was another one.
        uiData->setProperty("tmpSpecies", preset == 1 ? 2 : 1);
        bridge.setSpeciesPicker(preset == 1 ? 2 : 1);
        bridge.setSpeciesPicker(preset);
        if (preset != 0) {
            QCOMPARE(uiData->property("tmpSpecies").toInt(), preset);
            QObject* defs = bridge.items().object(qml::Item::UiDefs);
            QObject* icon = nullptr;
            for (QObject* o : bridge.items().object(qml::Item::BottomArea)->findChildren<QObject*>()) {
                if (o->property("tip").toString() == "Select Species")
                    icon = o;
            }
            QVERIFY(icon);
            QCOMPARE(icon->property("iconSource").toUrl(),
                     defs->property(preset == 1 ? "imgCanine" : "imgFeline").toUrl());
        }

        int pending = -1;
        if (recorded >= 0) {
            pending = m_app.makeRecording(0, 7, 2499, recorded);
            QVERIFY(pending > 0);
            bridge.fileSelectedLocal(0, pending);
            QCOMPARE(uiData->property("displayState").toInt(), 4);
        } else {
            bridge.setUiDataDisplayState(0);
        }
        QQuickItem* view = openView("patients");
        QVERIFY(view);
        QMetaObject::invokeMethod(view, "openNewPatient");
        QObject* species = find("speciesButton");
        QVERIFY(species);
        QCOMPARE(species->property("text").toString(), shown);
        QCOMPARE(view->property("formSpeciesIdx").toInt(), speciesId);
        // Both listed species have breeds to pick from.
        QCOMPARE(view->property("formSpeciesHasBreeds").toBool(), speciesId != 0);

        const QString name = QStringLiteral("Species ") + QTest::currentDataTag();
        setText(find("patientNameField"), name);
        setText(find("patientIdField"), "S-1");
        setText(find("ownerLastField"), "Berg");
        setText(find("weightField"), "4");
        view->setProperty("initializerBirthdayTs", 1546300800.0);
        const QVariantMap result = save(view);
        if (speciesId == 0) {
            QCOMPARE(result.value("errors").toString(), QStringLiteral("Species is not set.\n"));
            QMetaObject::invokeMethod(find("incompleteDialog"), "close");
        } else {
            QVERIFY2(!result.contains("errors"), qPrintable(result.value("errors").toString()));
            QCOMPARE(m_app.dbValue("select species from patientTable where patientName=?", {name}).toInt(),
                     speciesId);
        }
        if (pending > 0) {
            // Saving the patient leaves the recording waiting on screen.
            QCOMPARE(uiData->property("displayState").toInt(), 4);
            QCOMPARE(bridge.fileMan()->currentEcgId(), pending);
            bridge.ecgPatientAssignmentAborted();
            bridge.setUiDataDisplayState(3);
        }
        noWarnings();
        closeViews();
        bridge.setSpeciesPicker(0);
    }
};

QTEST_MAIN(TstQmlViews)
#include "tst_qmlviews.moc"
