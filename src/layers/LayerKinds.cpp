#include "LayerKinds.h"

#include "DBPointsLayer.h"
#include "LinesLayer.h"
#include "ParamDBPointsLayer.h"
#include "ParamLinesLayer.h"
#include "PointsLayer.h"
#include "PolygonsLayer.h"
#include "SegmentLabelsLayer.h"

#include "core/LayerFactory.h"

void RegisterLayerKinds() {
  TLayerFactory& factory = TLayerFactory::Instance();
  factory.Register(1, [] { return std::make_unique<TPointsLayer>(); });
  factory.Register(3, [] { return std::make_unique<TLinesLayer>(); });
  factory.Register(5, [] { return std::make_unique<TPolygonsLayer>(); });
  factory.Register(7, [] { return std::make_unique<TAddressLayer>(); });
  factory.Register(23, [] { return std::make_unique<TSegmentLabelsLayer>(); });
  factory.Register(101, [] { return std::make_unique<TDBPointsLayer>(); });
  factory.Register(102, [] { return std::make_unique<TParamDBPointsLayer>(); });
  factory.Register(103, [] { return std::make_unique<TParamLinesLayer>(); });
}
