#include "LayerKinds.h"

#include "LinesLayer.h"
#include "PointsLayer.h"
#include "PolygonsLayer.h"

#include "core/LayerFactory.h"

void RegisterLayerKinds() {
  TLayerFactory& factory = TLayerFactory::Instance();
  factory.Register(1, [] { return std::make_unique<TPointsLayer>(); });
  factory.Register(3, [] { return std::make_unique<TLinesLayer>(); });
  factory.Register(5, [] { return std::make_unique<TPolygonsLayer>(); });
  factory.Register(7, [] { return std::make_unique<TAddressLayer>(); });
}
