#pragma once
// Registers every layer kind of this library with the layer factory. Called once at start-up by
// the program and the tools.

void RegisterLayerKinds();
