#pragma once
// The object-utilities components that a layer may have: outside programs that show a card for
// one object or a list of a layer's objects. A layer names its component by the class
// identifier text of its row (`ObjUtilsGUID`); components come from Qt plugins in
// <AppDir>/plugins, each offering factories for the identifiers it knows. A component may ask
// the main window to show one of the layer's objects through the host interface.

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>

namespace plugins {

// What the main window offers a component.
class IObjectUtilsHost {
public:
  virtual ~IObjectUtilsHost() = default;
  // Shows an object of the current layer on the map: its record index in a geometry layer, its
  // ObjectCode in a database points layer.
  virtual void ShowObject(int objectNumber) = 0;
};

// The layer a component is created for.
struct ObjectUtilsContext {
  QString MapsDir;  // maps directory of the atlas
  QString FileName; // the layer's file (geometry file or objects table), relative to MapsDir
  int Category = 0;
  int Class = 0;
  QString ClassName;
};

// The seven calls of a component, in the order a layer makes them. The numbers are the
// components' method numbers, kept so that ported components can be matched call for call.
class IObjectUtils {
public:
  virtual ~IObjectUtils() = default;
  virtual void SetHost(IObjectUtilsHost* host) = 0; // 13: right after creation
  virtual void Start() = 0;                         // 1: right after SetHost
  virtual void SetMainForm(QObject* mainForm) = 0;  // 12: right after Start
  virtual void SelectObject(int objectCode) = 0;    // 3: ShowObjectCard, with the object's code
  virtual void ShowCard() = 0;                      // 4: ShowObjectCard, right after SelectObject
  virtual void ShowList() = 0;                      // 10: ShowObjectList
  virtual void Finish() = 0;                        // 2: when the layer is destroyed
};

// What a plugin library offers.
class IObjectUtilsPlugin {
public:
  virtual ~IObjectUtilsPlugin() = default;
  virtual QStringList ClassIds() const = 0;
  virtual std::unique_ptr<IObjectUtils> Create(const QString& classId,
                                               const ObjectUtilsContext& context) = 0;
};

using ObjectUtilsFactory = std::function<std::unique_ptr<IObjectUtils>(const ObjectUtilsContext&)>;

// The factories by class identifier, and the host and main form handed to every component.
class ObjectUtilsRegistry {
public:
  static ObjectUtilsRegistry& Instance();

  // "{6B126150-3679-401D-8A13-75B1C01D68AD}" and "6b126150-3679-401d-8a13-75b1c01d68ad" are one.
  static QString NormalizeClassId(const QString& classId);

  void Register(const QString& classId, ObjectUtilsFactory factory);
  bool Knows(const QString& classId) const;
  // Creates the component and makes its first three calls; raises std::runtime_error naming the
  // identifier when no factory knows it.
  std::unique_ptr<IObjectUtils> Create(const QString& classId, const ObjectUtilsContext& context);
  // Loads every plugin in `dir`; returns the messages of those that could not be loaded.
  QStringList LoadPlugins(const QString& dir);

  void SetHost(IObjectUtilsHost* host) { Host = host; }
  void SetMainForm(QObject* form) { MainForm = form; }
  void Clear() { Factories.clear(); }

private:
  std::map<QString, ObjectUtilsFactory> Factories;
  std::vector<QObject*> Plugins; // kept loaded for the life of the program
  IObjectUtilsHost* Host = nullptr;
  QObject* MainForm = nullptr;
};

} // namespace plugins

#define VandrelObjectUtilsPlugin_iid "org.vandrel.IObjectUtilsPlugin/1.0"
Q_DECLARE_INTERFACE(plugins::IObjectUtilsPlugin, VandrelObjectUtilsPlugin_iid)
