#pragma once
// Names in Latin letters for what other programs name only in ASCII (GeoPackage tables, the WMS
// names of layers and groups): Ukrainian and Russian letters transliterated ("Водопровідні
// мережі" → "vodoprovidni_merezhi"), any other character but Latin letters, digits and "_" made
// "_", in lower case; "layer_" before a name that would be empty or start with a digit.

#include <QString>
#include <set>

QString AsciiName(const QString& text);
// AsciiName(text), with "_2", "_3", ... appended until it is not in `used`; then added to it.
QString UniqueAsciiName(const QString& text, std::set<QString>& used);
