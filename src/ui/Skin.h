// The skinned controls of the main window: pictures drawn from the SVG artwork, bitmap
// buttons with a picture per state, a clickable label and the track bar's look.
#pragma once

#include <QAbstractButton>
#include <QLabel>
#include <QProxyStyle>
#include <QString>
#include <QTabWidget>
#include <QWidget>

class QSvgRenderer;

namespace pelcato {

// Registers the compiled-in artwork (":/skin/...", ":/buttons/...", ...). Safe to call often.
void InitSkinResources();

// The window's sans font at the given pixel size: a narrow face where the desktop has one
// (Tahoma, or the Arial-sized Liberation Sans), else DejaVu Sans narrowed to about the width of
// Tahoma.
QFont SkinFont(int pixels, bool bold = false);

// The SVG at path drawn to size w x h; an empty picture when the path does not exist.
QPixmap SvgPixmap(const QString& path, int w, int h, qreal devicePixelRatio = 1.0);

// Sizes every label of window whose dynamic property "AutoSize" is true to its text, after
// a translation. Right-aligned labels keep their design right edge and grow to the left, away
// from their edit (the label's buddy); where a caption would leave its page or cover the
// control on its left, its column of captions and edits moves right, the edits keeping their
// right edges. Call it again after every language switch.
void AutoSizeCaptions(QWidget* window);

// A page control whose tabs may carry captions of two lines (see FitTabCaptions).
class TPageControl : public QTabWidget {
  Q_OBJECT
 public:
  explicit TPageControl(QWidget* parent = nullptr);
};

// The captions of a page control with its tabs on the left fitted into its height: in the
// tab bar's design font when they fit, else broken into two lines at the space or hyphen
// nearest their middle (the longest first) and, if that is not enough, in a smaller font, down
// to 9 pixels. Call it again after every language switch.
void FitTabCaptions(QTabWidget* pages);

// A picture control: shows one picture while enabled and another while disabled (the same
// one when no disabled picture is given).
class TSkinImage : public QWidget {
  Q_OBJECT
 public:
  explicit TSkinImage(QWidget* parent = nullptr);
  void SetPicture(const QString& enabledPath, const QString& disabledPath = {});

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  QString FEnabledPath;
  QString FDisabledPath;
};

// A button drawn from pictures "<base>_normal.svg", "_hover.svg", "_pressed.svg" and
// "_disabled.svg" (a missing state falls back to the normal picture, faded when disabled),
// with its caption, when it has one, under the picture's symbol.
class TBmpButton : public QAbstractButton {
  Q_OBJECT
 public:
  TBmpButton(const QString& pictureBase, QWidget* parent = nullptr);
  QSize sizeHint() const override { return size(); }

  // Where the caption and the picture go. The caption keeps the button's font whatever its
  // length: a caption wider than the button takes two lines, and the picture is drawn smaller
  // to make room for them.
  struct TCaptionLayout {
    QFont Font;
    QStringList Lines;  // with their "&" marks
    QRect Picture;
    QRect Text;  // the lines one under the other, each centred
  };
  TCaptionLayout CaptionLayout() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QString StatePath(const char* state) const;
  QString FBase;
  bool FHover = false;
};

// A label that reports a click (button pressed and released over it).
class TClickLabel : public QLabel {
  Q_OBJECT
 public:
  using QLabel::QLabel;

 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool FPressed = false;
};

// The track bar's look: a white track 4 pixels thick, 8 pixels in from each end, no ticks,
// and the thumb picture. The thumb's centre runs from one end of the track to the other.
class TTrackBarStyle : public QProxyStyle {
  Q_OBJECT
 public:
  TTrackBarStyle();
  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                          QPainter* painter, const QWidget* widget = nullptr) const override;
  QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                       const QWidget* widget = nullptr) const override;
  int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr) const override;

  static constexpr int kInset = 8;
  static constexpr int kTrackThickness = 4;
  static constexpr int kThumbWidth = 11;
  static constexpr int kThumbHeight = 20;
};

}  // namespace pelcato
