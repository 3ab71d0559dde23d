#pragma once
// A label of one line that never asks for the width of its whole text: a long text (a layer's
// error naming a file) is shown cut with "…" at the width the layout gives it, so it cannot
// widen its window beyond the screen. text() is the whole text.

#include <QLabel>
#include <QPainter>

class TElidedLabel : public QLabel {
public:
  using QLabel::QLabel;

  QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }
  QSize sizeHint() const override { return {0, QLabel::sizeHint().height()}; }

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.drawText(area, int(alignment()) | Qt::TextSingleLine,
                     fontMetrics().elidedText(text(), Qt::ElideRight, area.width()));
  }
};
