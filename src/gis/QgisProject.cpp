#include "QgisProject.h"

#include "AsciiName.h"

#include <QUuid>

#include <cpl_conv.h>
#include <cpl_vsi.h>

#include <map>
#include <set>
#include <stdexcept>

namespace {

QString Escaped(const QString& text) {
  return text.toHtmlEscaped();
}

QString Number(double v) {
  return QString::number(v, 'f', 6);
}

QString SpatialRefSys(const TQgisProject& p) {
  if (p.CrsWkt.isEmpty()) return "<spatialrefsys/>";
  return QString("<spatialrefsys><wkt>%1</wkt><authid>%2</authid></spatialrefsys>")
      .arg(Escaped(p.CrsWkt), Escaped(p.CrsAuthId));
}

QString LayerId(const TProjectLayer& layer) {
  return "vandrel_" + layer.Table;
}

// QGIS's name of a layer's geometry (1 points, 2 lines, 3 areas).
QString QgisGeometryName(int geometry) {
  return geometry == 1 ? "Point" : geometry == 3 ? "Polygon" : "Line";
}

QString WkbName(int geometry) {
  return geometry == 1 ? "Point" : geometry == 3 ? "MultiPolygon" : "MultiLineString";
}

QString Checked(bool on) {
  return on ? "Qt::Checked" : "Qt::Unchecked";
}

QString DataSource(const TQgisProject& p, const TProjectLayer& layer) {
  return "./" + p.FileName + "|layername=" + layer.Table;
}

QString TreeLayer(const TQgisProject& p, const TProjectLayer& layer) {
  return QString("<layer-tree-layer id=\"%1\" name=\"%2\" source=\"%3\" providerKey=\"ogr\" "
                 "checked=\"%4\" expanded=\"0\"><customproperties/></layer-tree-layer>")
      .arg(LayerId(layer), Escaped(layer.Name), Escaped(DataSource(p, layer)),
           Checked(layer.Visible));
}

// The layer tree: a group per category in the tree's order, its classes top layer first.
QString LayerTree(const TQgisProject& p) {
  std::map<int, std::vector<const TProjectLayer*>> byCategory;
  for (auto layer = p.Layers.rbegin(); layer != p.Layers.rend(); ++layer)
    byCategory[layer->Category].push_back(&*layer);
  std::vector<TProjectCategory> categories = p.Categories;
  for (const auto& [category, layers] : byCategory) {
    bool known = false;
    for (const TProjectCategory& c : categories)
      known = known || c.Category == category;
    if (!known) categories.push_back({category, QString::fromUtf8("Категорія %1").arg(category)});
  }
  // A map server names layers and groups alike: a group's name is unlike every table's.
  std::set<QString> used;
  for (const TProjectLayer& layer : p.Layers)
    used.insert(layer.Table);
  QString tree = "<layer-tree-group><customproperties/>";
  for (const TProjectCategory& c : categories) {
    const auto layers = byCategory.find(c.Category);
    if (layers == byCategory.end()) continue;
    tree += QString("<layer-tree-group name=\"%1\" checked=\"%2\" expanded=\"1\">"
                    "<customproperties><property key=\"wmsShortName\" value=\"%3\"/>"
                    "<property key=\"wmsTitle\" value=\"%1\"/></customproperties>")
                .arg(Escaped(c.Name), Checked(c.Visible), UniqueAsciiName(c.Name, used));
    for (const TProjectLayer* layer : layers->second)
      tree += TreeLayer(p, *layer);
    tree += "</layer-tree-group>";
  }
  // The canvas draws in the atlas's order whatever the groups: the top layer first.
  tree += "<custom-order enabled=\"1\">";
  for (auto layer = p.Layers.rbegin(); layer != p.Layers.rend(); ++layer)
    tree += "<item>" + LayerId(*layer) + "</item>";
  return tree + "</custom-order></layer-tree-group>";
}

// What a map server says of the layer: its ASCII name, its title, what it may be searched for.
QString ServedAs(const TProjectLayer& layer) {
  QString served = "<shortname>" + Escaped(layer.Table) + "</shortname><title>" +
                   Escaped(layer.Name) + "</title>";
  if (!layer.Search.isEmpty())
    served += "<keywordList><value>" + QString(kSearchKeywordPrefix) + layer.Search +
              "</value></keywordList>";
  return served;
}

// The fields the server tells of an object, in the form's order (the server follows the form),
// the others left out.
QString FeatureInfoFields(const TProjectLayer& layer) {
  QString form = "<editorlayout>tablayout</editorlayout><attributeEditorForm>";
  for (const QString& field : layer.Fields)
    form += QString("<attributeEditorField name=\"%1\" showLabel=\"1\" index=\"-1\"/>")
                .arg(Escaped(field));
  return form + "</attributeEditorForm>";
}

QString MapLayer(const TQgisProject& p, const TProjectLayer& layer) {
  return QString("<maplayer type=\"vector\" geometry=\"%1\" wkbType=\"%2\" labelsEnabled=\"%3\" "
                 "readOnly=\"0\" styleCategories=\"AllStyleCategories\" %4>"
                 "<id>%5</id><datasource>%6</datasource><layername>%7</layername>%10"
                 "<srs>%8</srs><provider encoding=\"UTF-8\">ogr</provider>"
                 "<map-layer-style-manager current=\"default\"><map-layer-style "
                 "name=\"default\"/></map-layer-style-manager>%9%11</maplayer>")
      .arg(QgisGeometryName(layer.Geometry), WkbName(layer.Geometry),
           p.Labels && HasLabels(layer.Look) ? "1" : "0", ScaleAttributes(layer.Look),
           LayerId(layer), Escaped(DataSource(p, layer)), Escaped(layer.Name), SpatialRefSys(p),
           StyleElements(layer.Look), ServedAs(layer), FeatureInfoFields(layer));
}

QString Property(const QString& name, const QString& value, const QString& type = "QString") {
  return QString("<%1 type=\"%2\">%3</%1>").arg(name, type, Escaped(value));
}

QString ListProperty(const QString& name, const QStringList& values) {
  QString list = QString("<%1 type=\"QStringList\">").arg(name);
  for (const QString& v : values)
    list += "<value>" + Escaped(v) + "</value>";
  return list + QString("</%1>").arg(name);
}

// How a map server offers the project: its title and contact, its coordinate systems (the
// atlas's first, then those of web maps), its extent, the fields of an object in the form's
// order, and the searchable layers as features, read only.
QString ServiceProperties(const TQgisProject& p) {
  QStringList crs;
  if (!p.CrsAuthId.isEmpty()) crs << p.CrsAuthId;
  for (const char* web : {"EPSG:3857", "EPSG:4326"})
    if (!crs.contains(web)) crs << web;
  QStringList searched;
  for (const TProjectLayer& layer : p.Layers)
    if (!layer.Search.isEmpty()) searched << LayerId(layer);
  return "<WMSServiceCapabilities type=\"bool\">true</WMSServiceCapabilities>" +
         Property("WMSServiceTitle", p.Service.Title) +
         Property("WMSServiceAbstract", p.Service.Abstract) +
         Property("WMSContactOrganization", p.Service.Organization) +
         Property("WMSContactPerson", p.Service.Person) +
         Property("WMSContactMail", p.Service.Email) +
         Property("WMSContactPhone", p.Service.Phone) + Property("WMSRootName", "atlas") +
         ListProperty("WMSCrsList", crs) +
         ListProperty("WMSExtent", {Number(p.View.XMin), Number(p.View.YMin), Number(p.View.XMax),
                                    Number(p.View.YMax)}) +
         "<WMSFeatureInfoUseAttributeFormSettings type=\"bool\">true"
         "</WMSFeatureInfoUseAttributeFormSettings>" +
         "<WMSUseLayerIDs type=\"bool\">false</WMSUseLayerIDs>" +
         ListProperty("WFSLayers", searched);
}

QString Extent(const TExtent& e) {
  return QString("<extent><xmin>%1</xmin><ymin>%2</ymin><xmax>%3</xmax><ymax>%4</ymax></extent>")
      .arg(Number(e.XMin), Number(e.YMin), Number(e.XMax), Number(e.YMax));
}

} // namespace

QString QgisProjectXml(const TQgisProject& p) {
  QString xml = "<!DOCTYPE qgis PUBLIC 'http://mrcc.com/qgis.dtd' 'SYSTEM'>\n";
  xml += QString("<qgis projectname=\"%1\" version=\"3.22.0\">").arg(Escaped(p.Name));
  xml += "<homePath path=\"\"/><title>" + Escaped(p.Name) + "</title>";
  xml += "<projectCrs>" + SpatialRefSys(p) + "</projectCrs>";
  xml += LayerTree(p);
  xml += "<mapcanvas name=\"theMapCanvas\" annotationsVisible=\"1\"><units>" +
         QString(p.CrsWkt.isEmpty() ? "unknown" : "meters") + "</units>" + Extent(p.View) +
         "<rotation>0</rotation><destinationsrs>" + SpatialRefSys(p) +
         "</destinationsrs><rendermaptile>0</rendermaptile></mapcanvas>";
  xml += "<projectlayers>";
  for (const TProjectLayer& layer : p.Layers)
    xml += MapLayer(p, layer);
  xml += "</projectlayers><layerorder>";
  for (auto layer = p.Layers.rbegin(); layer != p.Layers.rend(); ++layer)
    xml += "<layer id=\"" + LayerId(*layer) + "\"/>";
  xml += "</layerorder>";
  // QGIS reads the project's coordinate system only when projections are on.
  xml += QString("<properties><Paths><Absolute type=\"bool\">false</Absolute></Paths>"
                 "<SpatialRefSys><ProjectionsEnabled type=\"int\">%1</ProjectionsEnabled>"
                 "</SpatialRefSys>%2</properties>")
             .arg(p.CrsWkt.isEmpty() ? 0 : 1)
             .arg(ServiceProperties(p));
  xml += QString("<ProjectViewSettings UseProjectScales=\"0\" rotation=\"0\"><Scales/>"
                 "<DefaultViewExtent xmin=\"%1\" ymin=\"%2\" xmax=\"%3\" ymax=\"%4\">%5"
                 "</DefaultViewExtent></ProjectViewSettings>")
             .arg(Number(p.View.XMin), Number(p.View.YMin), Number(p.View.XMax),
                  Number(p.View.YMax), SpatialRefSys(p));
  return xml + "</qgis>\n";
}

QByteArray ZippedProject(const QString& xml) {
  // The archive is made in GDAL's memory files; QGIS reads any name ending in .qgs from it.
  const QByteArray zipName =
      "/vsimem/vandrel_" + QUuid::createUuid().toString(QUuid::Id128).toLatin1() + ".qgz";
  const QByteArray text = xml.toUtf8();
  void* zip = CPLCreateZip(zipName.constData(), nullptr);
  if (!zip) throw std::runtime_error("the project's archive cannot be made");
  const bool written = CPLCreateFileInZip(zip, "atlas.qgs", nullptr) == CE_None &&
                       CPLWriteFileInZip(zip, text.constData(), int(text.size())) == CE_None &&
                       CPLCloseFileInZip(zip) == CE_None;
  CPLCloseZip(zip);
  vsi_l_offset length = 0;
  GByte* bytes = VSIGetMemFileBuffer(zipName.constData(), &length, FALSE);
  QByteArray archive = written && bytes
                           ? QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(length))
                           : QByteArray();
  VSIUnlink(zipName.constData());
  if (archive.isEmpty()) throw std::runtime_error("the project's archive cannot be made");
  return archive;
}
