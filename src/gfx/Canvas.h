#pragma once
// A drawing surface with the state of a Windows device context: a pen (colour, style, width and
// a copy or not-xor mode), a brush (colour and one of eight styles), a font (name, size in
// points, character set, styles, colour and escapement) and a text alignment, drawn with
// QPainter onto a QImage without anti-aliasing. Colours are Windows colour values 0x00BBGGRR.

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace gfx {

enum class PenMode { Copy, NotXor };
enum class HAlign { Left, Center, Right };
enum class VAlign { Top, Baseline, Bottom };

// Pen styles: 0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot, 5 clear, 6 inside-frame.
struct PenState {
  uint32_t Color = 0;
  int Style = 0;
  int Width = 1;
  PenMode Mode = PenMode::Copy;
  bool operator==(const PenState&) const = default;
};

// Brush styles: 0 solid, 1 clear, 2 horizontal, 3 vertical, 4 forward diagonal, 5 backward
// diagonal, 6 cross, 7 diagonal cross.
struct BrushState {
  uint32_t Color = 0x00FFFFFF;
  int Style = 0;
  bool operator==(const BrushState&) const = default;
};

struct FontState {
  QString Name = "Arial";
  double Size = 8; // points; 96 dots per inch, as the screen of the original platform
  int CharSet = 1; // 2: symbol fonts, whose characters are drawn from the symbol range
  bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
  uint32_t Color = 0;
  int Escapement = 0; // tenths of a degree, counter-clockwise
};

// Everything a drawing call takes from the canvas, so that one canvas can go on where another
// stopped (the parts of a layer drawn by several threads).
struct CanvasState {
  PenState Pen;
  BrushState Brush;
  FontState Font;
  int HAlignment = 0, VAlignment = 0;
  QPoint Current;
};

QColor ToQColor(uint32_t windowsColour);
uint32_t FromQColor(const QColor& c);

// The resolution of a vector surface (a PDF, a printer) the canvas draws on: its own pixels, 96
// per inch. Fonts resolved for another resolution share Qt's font engines with the screen's fonts
// of the same pixel size and leave them with that resolution's point sizes: the menus opened
// afterwards under X drew their items at a twelfth of their size.
constexpr int kVectorResolution = 96;

class Canvas {
public:
  // Draws on `image` (kept in Format_RGB32 or ARGB32_Premultiplied so that not-xor works).
  explicit Canvas(QImage& image);
  // Draws on a vector surface (a PDF page, a printer) whose drawing area is `size` pixels at 96
  // per inch: lines, areas and text stay vectors and text stays text; nothing is stamped from
  // pictures and no pixel can be read back (Pixel gives white).
  Canvas(QPaintDevice& device, QSize size);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  PenState Pen;
  BrushState Brush;
  FontState Font;
  HAlign TextHAlign = HAlign::Left;
  VAlign TextVAlign = VAlign::Top;
  // Symbols drawn again and again are stamped from a picture drawn once (the same pixels);
  // symbols taller than this are drawn each time.
  bool StampSymbols = true;
  // How often a blink draws its mark (not-xor, so an even count leaves the picture as it was).
  // One: the mark is drawn once, without waiting, and stays (the selection's mark on the screen).
  int BlinkPasses = 6;
  static constexpr int kMaximumStampHeight = 256;
  // Fonts are never made larger than this many pixels, whatever size a file asks for.
  static constexpr int kMaximumFontPixels = 2048;

  CanvasState State() const;
  void SetState(const CanvasState& state);

  // The picture drawn on (a vector canvas has none: an empty picture).
  QImage& Image() { return Target; }
  bool IsVector() const { return Vector; }
  // The painter itself, for what is drawn over the layers with Qt's own calls (the scale bar).
  QPainter& Surface() { return *Painter; }
  // After Qt's own calls changed the painter's pen or brush: the next drawing sets its own.
  void ForgetPainterState() {
    HeldPen.reset();
    HeldBrush.reset();
  }
  int Width() const { return Size.width(); }
  int Height() const { return Size.height(); }
  // The physical width of the surface in millimetres (HORZSIZE): its pixels at 96 per inch.
  double WidthMM() const { return Size.width() * 25.4 / 96.0; }

  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  void Polyline(std::span<const QPoint> points);
  void Polygon(std::span<const QPoint> points); // filled with the brush, alternate rule
  void Ellipse(int x1, int y1, int x2, int y2);
  void Rectangle(int x1, int y1, int x2, int y2);
  void FillRect(int x1, int y1, int x2, int y2); // brush only
  void TextOut(int x, int y, const QString& text);
  int TextWidth(const QString& text);
  int TextHeight(const QString& text);
  // Copies `source` (its `from` rectangle) to `to` on this canvas.
  void CopyRect(const QRect& to, const QImage& source, const QRect& from);
  void Draw(int x, int y, const QImage& picture);
  // Draws `picture` leaving out its pixels of `transparent` (by default the bottom-left pixel's).
  void DrawTransparent(int x, int y, const QImage& picture,
                       std::optional<uint32_t> transparent = std::nullopt);
  uint32_t Pixel(int x, int y) const;

  // Shows what was drawn so far at once (set by the map control for its screen canvas, so that
  // blinking is seen while the program waits between passes).
  std::function<void()> OnFlush;
  void Flush() {
    if (OnFlush) OnFlush();
  }

  // The text as the font draws it: characters of a symbol font move to the symbol range.
  QString FontText(const QString& text) const;
  QFont MakeFont() const;

private:
  // The font of the text calls, loaded again only when its name, size or styles change.
  struct LoadedFont {
    QString Name;
    double Size;
    bool Bold, Italic, Underline, StrikeOut;
    QFont Font;
    QFontMetrics Metrics;
  };
  const LoadedFont& CurrentFont() const;
  mutable std::optional<LoadedFont> Loaded;
  // A symbol drawn once into a transparent picture and stamped wherever it is drawn again with
  // the same font, colour and alignment: a layer draws one symbol at thousands of points.
  struct Stamp {
    FontState Font;
    HAlign H;
    VAlign V;
    QString Text;
    QImage Picture;
    QPoint Offset; // of the picture's top-left corner from the reference point
  };
  std::vector<Stamp> Stamps;
  const Stamp& StampOf(const QString& text);
  // Small ellipses of a solid or clear brush and a solid or clear pen, likewise.
  struct FigureStamp {
    PenState Pen;
    BrushState Brush;
    QSize Size;
    QImage Picture;
  };
  static constexpr int kFigureMargin = 8;
  std::vector<FigureStamp> FigureStamps;
  const FigureStamp& EllipseStampOf(const QRect& box);
  QImage StampPicture(const QRect& area, const std::function<void()>& paint);
  void DrawText(const QString& text);
  void ApplyPen();
  // The box Qt is given for an ellipse or rectangle from (x1, y1) to (x2, y2).
  QRect FigureBox(int x1, int y1, int x2, int y2) const;
  void ApplyBrush();
  // The pen (with its mode) and the brush the painter holds, so that drawing object after object
  // in one style builds and sets them once; forgotten whenever the painter is given others.
  std::optional<PenState> HeldPen;
  std::optional<BrushState> HeldBrush;
  // Sets the painter's composition mode for a drawing that is not the pen's.
  void SetMode(QPainter::CompositionMode mode);
  QPoint Current;
  QImage NoPicture; // what Target names on a vector canvas
  QImage& Target;
  QSize Size;
  bool Vector = false;
  std::unique_ptr<QPainter> Painter;
};

} // namespace gfx
