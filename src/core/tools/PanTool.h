#pragma once
// The hand: a drag moves the finished picture with the pointer (the uncovered strips in the
// background colour) and, at the release, previews the moved view, drawn when the hand pauses.

#include "MapTool.h"

#include <QImage>

class TPanTool : public TMapTool {
public:
  explicit TPanTool(TFAMap& map) : TMapTool(map) {}
  int Mode() const override;
  int Cursor() const override { return 1003; }
  bool ContinuesPreview() const override { return true; }
  void Press(int x, int y) override;
  void Move(int x, int y) override;
  void Release(int x, int y) override;
  void Abandon() override { Snapshot = QImage(); }

private:
  QImage Snapshot; // the picture the drag moves
  int AnchorX = 0, AnchorY = 0;
};
