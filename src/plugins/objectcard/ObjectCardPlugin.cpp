// The plugin library of the example object card.

#include "ObjectCard.h"

#include <QObject>

namespace plugins {

class ObjectCardPlugin : public QObject, public IObjectUtilsPlugin {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID VandrelObjectUtilsPlugin_iid)
  Q_INTERFACES(plugins::IObjectUtilsPlugin)

public:
  QStringList ClassIds() const override { return {ObjectCard::ClassId}; }
  std::unique_ptr<IObjectUtils> Create(const QString&, const ObjectUtilsContext& context) override {
    return std::make_unique<ObjectCard>(context);
  }
};

} // namespace plugins

#include "ObjectCardPlugin.moc"
