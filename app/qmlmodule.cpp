#include "qmlmodule.h"

#include <QtQml/qqml.h>

void qml_register_types_Malvorant()
{
    qmlRegisterModule("Malvorant", 8, 0);
}
