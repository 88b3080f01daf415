#ifndef MALVORANT_TESTS_SCREENCLICKS_H
#define MALVORANT_TESTS_SCREENCLICKS_H

// What a user's clicks reach on the real screens: visible items by object
// name or by the text of a button, rows of lists, and the import and folder
// dialogs worked as a user works them. For journey tests on main.qml.

#include "appharness.h"

#include <QFileInfo>
#include <QQuickItem>
#include <QQuickWindow>
#include <QUrl>

#include <functional>

namespace screen {

inline bool shown(QObject* o)
{
    return !o->property("visible").isValid() || o->property("visible").toBool();
}

// A visible item of that name in the item tree below item.
inline QQuickItem* findItem(QQuickItem* item, const QString& name)
{
    if (!item)
        return nullptr;
    if (item->objectName() == name && shown(item))
        return item;
    for (QQuickItem* child : item->childItems()) {
        if (QQuickItem* found = findItem(child, name))
            return found;
    }
    return nullptr;
}

// The visible object of that name (popups and loaded views included; the
// items of Qt's own dialogs are found in the item tree only).
inline QObject* find(QQuickWindow* window, const QString& name)
{
    for (QObject* o : window->findChildren<QObject*>(name)) {
        if (shown(o))
            return o;
    }
    QQuickItem* root = window->contentItem();
    while (root && root->parentItem())
        root = root->parentItem();
    return findItem(root, name);
}

// The same, once it is there.
inline QObject* waitFor(QQuickWindow* window, const QString& name, int ms = 5000)
{
    QObject* o = nullptr;
    AppHarness::waitFor([&] { return (o = find(window, name)) != nullptr; }, ms);
    return o;
}

inline bool click(QObject* o) { return o && QMetaObject::invokeMethod(o, "clicked"); }

// A visible button by its text.
inline QObject* buttonWithText(QQuickWindow* window, const QString& text)
{
    for (QObject* o : window->findChildren<QObject*>()) {
        if (o->inherits("QQuickAbstractButton") && o->property("text").toString() == text
            && o->property("visible").toBool())
            return o;
    }
    return nullptr;
}

inline bool clickText(QQuickWindow* window, const QString& text) { return click(buttonWithText(window, text)); }

// The first row of a list view that passes the test, once the list shows it.
inline QQuickItem* rowWhere(QObject* list, const std::function<bool(QQuickItem*)>& test, int ms = 5000)
{
    QQuickItem* found = nullptr;
    AppHarness::waitFor([&] {
        for (int i = 0; list && i < list->property("count").toInt() && !found; ++i) {
            QQuickItem* row = nullptr;
            QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem*, row), Q_ARG(int, i));
            if (row && test(row))
                found = row;
        }
        return found != nullptr;
    }, ms);
    return found;
}

// "Import ECGs", then the file clicked in the import dialog's list and the
// dialog accepted. True once the patient view has opened for it.
// The import hands the file to the patient view, which the bridge builds
// when it first needs it: the view is looked up anew while waiting.
inline bool importThroughTheDialog(QQuickWindow* window, const QString& path,
                                   const std::function<QObject*()>& patientView)
{
    if (!clickText(window, QStringLiteral("Import ECGs")))
        return false;
    QObject* dialog = waitFor(window, QStringLiteral("importDialog"));
    if (!dialog)
        return false;
    dialog->setProperty("currentFolder", QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
    QQuickItem* file = rowWhere(waitFor(window, QStringLiteral("fileDialogListView")), [&](QQuickItem* row) {
        return row->property("file").toUrl() == QUrl::fromLocalFile(path);
    });
    if (!click(file))
        return false;
    QMetaObject::invokeMethod(dialog, "accept");
    return AppHarness::waitFor([&] {
        QObject* view = patientView();
        return view && view->property("visible").toBool();
    });
}

// The folder dialog, opened by a screen's button: it is moved to the folder
// above the target, the target opened with a double click, optionally one of
// its folders picked with a click, and its button pressed.
inline bool chooseFolder(QQuickWindow* window, const QString& folder, const QString& pick = QString())
{
    QObject* dialog = waitFor(window, QStringLiteral("folderDialog"));
    if (!dialog)
        return false;
    dialog->setProperty("currentFolder", QUrl::fromLocalFile(QFileInfo(folder).absolutePath()));
    QObject* list = waitFor(window, QStringLiteral("folderList"));
    auto named = [](const QString& name) {
        return [name](QQuickItem* row) { return row->property("text").toString() == name; };
    };
    QQuickItem* into = rowWhere(list, named(QFileInfo(folder).fileName()));
    if (!into)
        return false;
    QMetaObject::invokeMethod(into, "doubleClicked");
    if (dialog->property("currentFolder").toUrl() != QUrl::fromLocalFile(folder))
        return false;
    if (!pick.isEmpty() && !click(rowWhere(list, named(pick))))
        return false;
    return click(find(window, QStringLiteral("folderAccept")));
}

// The alert of that title: its text and informative text; closes it.
inline QStringList takeAlert(QQuickWindow* window, const QString& title)
{
    QObject* dialog = visibleDialog(window, title);
    if (!dialog)
        return {};
    const QStringList said{dialog->property("text").toString(), dialog->property("informativeText").toString()};
    closeVisibleDialogs(window);
    return said;
}

// The one row of a list after a search that narrows it to one.
inline QQuickItem* searchedRow(QQuickWindow* window, const QString& searchBox, const QString& list,
                               const QString& text)
{
    QObject* search = find(window, searchBox);
    QObject* view = find(window, list);
    if (!search || !view)
        return nullptr;
    search->setProperty("text", text);
    if (!AppHarness::waitFor([&] { return view->property("count").toInt() == 1; }))
        return nullptr;
    return rowWhere(view, [](QQuickItem*) { return true; });
}

// A row chosen while a recording or an import waits for its patient, and
// "OK" in "Confirm Patient".
inline bool confirmRow(QQuickWindow* window, QQuickItem* row)
{
    if (!click(row))
        return false;
    return click(waitFor(window, QStringLiteral("confirmPatient")));
}

} // namespace screen

#endif
