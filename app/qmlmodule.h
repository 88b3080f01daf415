#ifndef MALVORANT_QMLMODULE_H
#define MALVORANT_QMLMODULE_H

// Registers the QML module "Malvorant" 8.0; it has no types of its own.
void qml_register_types_Malvorant();

#endif
