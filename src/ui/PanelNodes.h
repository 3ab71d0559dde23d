#pragma once
// The panels' lines: the node a line of a list stands for, of the kind asked for.

#include "CatClass.h"

template <class T> T* NodeAt(TNodeList& list, int index) {
  if (index < 0 || index >= int(list.size())) return nullptr;
  return dynamic_cast<T*>(list[size_t(index)].Node.get());
}
