#pragma once
// Look-ups of the classification by category and class in the layers table.

#include "db/Table.h"

#include <QString>

// The attribute table of a class: its FileName with an extension .SHP or .mds turned into .DBF;
// other names are returned unchanged; empty when the class is not in the table.
QString GetAttributeTableName(db::Table& layers, int category, int cls);
// The class's ClassName; empty when the class is not in the table.
QString GetClassTitle(db::Table& layers, int category, int cls);
