#ifndef MALVORANT_CP1250_H
#define MALVORANT_CP1250_H

#include <QString>

#include <string>

// Text for the report's built-in fonts, which are set up with the Windows
// Central European code page: characters outside it become '?', control
// characters a blank, so nothing the user typed can break a text line.
std::string toCp1250(const QString& text);
std::string toCp1250(const std::string& utf8);

#endif
