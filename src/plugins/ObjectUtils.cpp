#include "ObjectUtils.h"

#include <QDir>
#include <QPluginLoader>
#include <stdexcept>

namespace plugins {

ObjectUtilsRegistry& ObjectUtilsRegistry::Instance() {
  static ObjectUtilsRegistry registry;
  return registry;
}

QString ObjectUtilsRegistry::NormalizeClassId(const QString& classId) {
  QString id = classId.trimmed().toUpper();
  if (id.startsWith('{')) id.remove(0, 1);
  if (id.endsWith('}')) id.chop(1);
  return "{" + id + "}";
}

void ObjectUtilsRegistry::Register(const QString& classId, ObjectUtilsFactory factory) {
  Factories[NormalizeClassId(classId)] = std::move(factory);
}

bool ObjectUtilsRegistry::Knows(const QString& classId) const {
  return Factories.count(NormalizeClassId(classId)) > 0;
}

std::unique_ptr<IObjectUtils> ObjectUtilsRegistry::Create(const QString& classId,
                                                          const ObjectUtilsContext& context) {
  const auto it = Factories.find(NormalizeClassId(classId));
  if (it == Factories.end())
    throw std::runtime_error(("компонент обслуговування об'єктів " + NormalizeClassId(classId) +
                              " шару \"" + context.ClassName + "\" не встановлено")
                                 .toStdString());
  std::unique_ptr<IObjectUtils> component = it->second(context);
  if (!component)
    throw std::runtime_error(
        ("компонент обслуговування об'єктів " + NormalizeClassId(classId) + " не вдалося створити")
            .toStdString());
  component->SetHost(Host);
  component->Start();
  component->SetMainForm(MainForm);
  return component;
}

QStringList ObjectUtilsRegistry::LoadPlugins(const QString& dir) {
  QStringList problems;
  const QDir directory(dir);
  for (const QString& file : directory.entryList(QDir::Files)) {
    if (!QLibrary::isLibrary(file)) continue;
    QPluginLoader loader(directory.filePath(file));
    QObject* instance = loader.instance();
    auto* plugin = instance ? qobject_cast<IObjectUtilsPlugin*>(instance) : nullptr;
    if (!plugin) {
      problems << directory.filePath(file) + ": " +
                      (instance ? QString("не модуль обслуговування об'єктів")
                                : loader.errorString());
      continue;
    }
    Plugins.push_back(instance);
    for (const QString& id : plugin->ClassIds())
      Register(id, [plugin, id](const ObjectUtilsContext& context) {
        return plugin->Create(id, context);
      });
  }
  return problems;
}

} // namespace plugins
