#pragma once
// The panels' lines: the node a line of a list stands for, of the kind asked for.

#include "core/CatClass.h"

#include <QListWidget>

template <class T> T* NodeAt(TNodeList& list, int index) {
  if (index < 0 || index >= int(list.size())) return nullptr;
  return dynamic_cast<T*>(list[size_t(index)].Node.get());
}

// The first class line of a list with that category and class.
inline TClassObject* FirstClassNode(TNodeList& list, int category, int cls) {
  for (TNodeLine& line : list)
    if (auto* c = dynamic_cast<TClassObject*>(line.Node.get()))
      if (c->Category == category && c->Class == cls) return c;
  return nullptr;
}

// The kind of a line: its text's first character ('+' a category), or nothing past the list.
inline QChar Kind(const TNodeList& list, int index) {
  if (index < 0 || index >= int(list.size()) || list[size_t(index)].Text.isEmpty()) return {};
  return list[size_t(index)].Text[0];
}

// A list widget of `count` empty lines (the panels draw each line themselves).
inline void FillItems(QListWidget& list, size_t count) {
  list.clear();
  for (size_t i = 0; i < count; ++i)
    list.addItem(QString());
}
