#include "LayerFactory.h"

TLayerFactory& TLayerFactory::Instance() {
  static TLayerFactory factory;
  return factory;
}

void TLayerFactory::Register(int PrimitiveType, Maker maker) {
  Makers[PrimitiveType] = std::move(maker);
}

std::unique_ptr<TCustomLayer> TLayerFactory::Create(int PrimitiveType) const {
  const auto it = Makers.find(PrimitiveType);
  return it == Makers.end() ? nullptr : it->second();
}
