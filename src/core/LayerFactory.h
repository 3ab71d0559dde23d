#pragma once
// Creates the layer object of a layers-table row by its PrimitiveType. The layer kinds register
// themselves through one explicit function of the layers library (RegisterLayerKinds), called at
// start-up; kinds not registered create nothing.

#include "CustomLayer.h"

#include <functional>
#include <map>
#include <memory>

class TLayerFactory {
public:
  using Maker = std::function<std::unique_ptr<TCustomLayer>()>;

  static TLayerFactory& Instance();
  void Register(int PrimitiveType, Maker maker);
  std::unique_ptr<TCustomLayer> Create(int PrimitiveType) const;
  bool Knows(int PrimitiveType) const { return Makers.count(PrimitiveType) > 0; }

private:
  std::map<int, Maker> Makers;
};
