#include "uifont.h"

#include "debuglog.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QStringList>

#include <string_view>

bool useCarriedUiFont()
{
    // Called from the GUI thread only, before the window loads.
    static int state = -1; // -1 not tried, 0 failed, 1 in use
    if (state >= 0)
        return state == 1;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return false;

    const QString family = QString::fromLatin1(kCarriedUiFontFamily);
    bool regular = false;
    for (const char* file : {"LiberationSans-Regular.ttf", "LiberationSans-Bold.ttf",
                             "LiberationSans-Italic.ttf", "LiberationSans-BoldItalic.ttf"}) {
        const QString path = QStringLiteral(":/fonts/") + QLatin1String(file);
        const int id = QFontDatabase::addApplicationFont(path);
        if (id < 0 || !QFontDatabase::applicationFontFamilies(id).contains(family)) {
            debugLogError("The user interface font " + path.toStdString() + " could not be loaded");
            continue;
        }
        if (file == std::string_view("LiberationSans-Regular.ttf"))
            regular = true;
    }
    state = regular ? 1 : 0;
    if (!regular)
        return false;

    QFont::insertSubstitution(QStringLiteral("Arial"), family);
    QFont font = QGuiApplication::font();
    font.setFamilies({family});
    QGuiApplication::setFont(font);
    return true;
}
