#ifndef MALVORANT_UIFONT_H
#define MALVORANT_UIFONT_H

#include <QString>

// Family name of the typeface the program carries in its resources
// (Liberation Sans: metric-compatible with Arial, SIL Open Font License).
inline constexpr char kCarriedUiFontFamily[] = "Liberation Sans";

// Loads the carried typeface from the resources and makes it the
// application's font and the answer to every request for "Arial", so the
// screens take the same room on every machine whatever fonts it has. Once per
// process; needs the GUI application. True when the typeface is in use; when
// it could not be loaded the system's fonts serve, as they did before.
bool useCarriedUiFont();

#endif
