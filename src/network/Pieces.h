#pragma once
// Connected pieces by union and find over numbered items (pipes, nodes): two items joined are
// in one piece, whose root Find names.

#include <numeric>
#include <vector>

namespace network {

class TPieces {
public:
  explicit TPieces(size_t items) : Parent(items) { std::iota(Parent.begin(), Parent.end(), 0); }
  int Find(int a) {
    while (Parent[size_t(a)] != a)
      a = Parent[size_t(a)] = Parent[size_t(Parent[size_t(a)])];
    return a;
  }
  void Join(int a, int b) { Parent[size_t(Find(a))] = Find(b); }

private:
  std::vector<int> Parent;
};

} // namespace network
