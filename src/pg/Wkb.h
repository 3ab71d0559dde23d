#pragma once
// Shapes between the record content of a geometry file (the shapefile layout: shape type, box,
// parts and points) and well-known binary, for the plain 2-D types: points, multipoints,
// polylines (a MULTILINESTRING, parts in order) and polygons (a MULTIPOLYGON: a clockwise ring
// begins a polygon, the counter-clockwise rings after it are its holes, so rings come back in
// the order a well-formed file keeps them).

#include <QByteArray>
#include <optional>

class TGeometryFile;

namespace pg {

// The WKB of a record's shape; nullopt for a null shape or a type other than 1, 3, 5 and 8.
std::optional<QByteArray> RecordToWkb(const QByteArray& content);
// The record content of a WKB shape for a file of `shapeType`; raises pg::Error for a shape the
// file's type cannot hold or WKB that is not whole.
QByteArray WkbToRecord(const QByteArray& wkb, int shapeType);

} // namespace pg
