#include "LayerKinds.h"

#include "LinesLayer.h"

#include "core/LayerFactory.h"

void RegisterLayerKinds() {
  TLayerFactory& factory = TLayerFactory::Instance();
  factory.Register(3, [] { return std::make_unique<TLinesLayer>(); });
}
