#include "ui/Skin.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QEnterEvent>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmapCache>
#include <QStyleFactory>
#include <QStyleOptionSlider>
#include <QSvgRenderer>
#include <QTabBar>
#include <QTabWidget>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <map>
#include <utility>
#include <vector>

// Q_INIT_RESOURCE must be called outside any namespace.
static void InitCompiledResources() {
  Q_INIT_RESOURCE(resources);
}

namespace pelcato {

void InitSkinResources() {
  static const bool done = (InitCompiledResources(), true);
  (void)done;
}

QFont SkinFont(int pixels, bool bold) {
  static const QString family = [] {
    const QStringList available = QFontDatabase::families();
    for (const char* name : {"Tahoma", "Liberation Sans", "Arimo", "Arial"}) {
      if (available.contains(QLatin1String(name), Qt::CaseInsensitive))
        return QString::fromLatin1(name);
    }
    return QString();
  }();
  QFont font;
  font.setStyleHint(QFont::SansSerif);
  if (family.isEmpty()) {
    font.setFamilies({QStringLiteral("DejaVu Sans")});
    font.setStretch(82);
  } else {
    font.setFamilies({family});
  }
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

QPixmap SvgPixmap(const QString& path, int w, int h, qreal devicePixelRatio) {
  if (path.isEmpty() || w <= 0 || h <= 0) return {};
  // The artwork is drawn once per size; repaints only copy it.
  const QString key =
      QStringLiteral("pelcato-svg:%1:%2x%3@%4").arg(path).arg(w).arg(h).arg(devicePixelRatio);
  QPixmap pixmap;
  if (QPixmapCache::find(key, &pixmap)) return pixmap;
  if (!QFile::exists(path)) return {};
  QSvgRenderer renderer(path);
  pixmap = QPixmap(qRound(w * devicePixelRatio), qRound(h * devicePixelRatio));
  pixmap.fill(Qt::transparent);
  {
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
  }
  pixmap.setDevicePixelRatio(devicePixelRatio);
  QPixmapCache::insert(key, pixmap);
  return pixmap;
}

namespace {

void DrawSvg(QPainter& painter, const QString& path, const QRect& target, qreal devicePixelRatio) {
  const QPixmap pixmap = SvgPixmap(path, target.width(), target.height(), devicePixelRatio);
  if (!pixmap.isNull()) painter.drawPixmap(target.topLeft(), pixmap);
}

}  // namespace

// ---- TSkinImage -------------------------------------------------------------------------------

TSkinImage::TSkinImage(QWidget* parent) : QWidget(parent) {}

void TSkinImage::SetPicture(const QString& enabledPath, const QString& disabledPath) {
  FEnabledPath = enabledPath;
  FDisabledPath = disabledPath;
  update();
}

void TSkinImage::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QString& path = isEnabled() || FDisabledPath.isEmpty() ? FEnabledPath : FDisabledPath;
  DrawSvg(painter, path, rect(), devicePixelRatioF());
}

void TSkinImage::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) update();
  QWidget::changeEvent(event);
}

// ---- TBmpButton -------------------------------------------------------------------------------

TBmpButton::TBmpButton(const QString& pictureBase, QWidget* parent)
    : QAbstractButton(parent), FBase(pictureBase) {
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_Hover);
}

QString TBmpButton::StatePath(const char* state) const {
  const QString path = FBase + QLatin1Char('_') + QLatin1String(state) + QStringLiteral(".svg");
  return QFile::exists(path) ? path : QString();
}

void TBmpButton::enterEvent(QEnterEvent* event) {
  FHover = true;
  update();
  QAbstractButton::enterEvent(event);
}

void TBmpButton::leaveEvent(QEvent* event) {
  FHover = false;
  update();
  QAbstractButton::leaveEvent(event);
}

void TBmpButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QString path;
  qreal opacity = 1.0;
  if (!isEnabled()) {
    path = StatePath("disabled");
    if (path.isEmpty()) opacity = 0.45;
  } else if (isDown()) {
    path = StatePath("pressed");
  } else if (FHover) {
    path = StatePath("hover");
  }
  if (path.isEmpty()) path = StatePath("normal");
  painter.setOpacity(opacity);
  const TCaptionLayout layout = CaptionLayout();
  DrawSvg(painter, path, layout.Picture, devicePixelRatioF());
  if (layout.Lines.isEmpty()) return;
  QRect line(layout.Text.x(), layout.Text.y(), layout.Text.width(),
             layout.Text.height() / int(layout.Lines.size()));
  if (isDown()) line.translate(1, 1);
  painter.setFont(layout.Font);
  painter.setPen(isEnabled() ? QColor(Qt::white) : QColor(0xA9, 0xB8, 0xC7));
  for (const QString& text : layout.Lines) {
    painter.drawText(line, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextShowMnemonic, text);
    line.translate(0, line.height());
  }
}

TBmpButton::TCaptionLayout TBmpButton::CaptionLayout() const {
  TCaptionLayout layout;
  layout.Font = font();
  layout.Picture = rect();
  const QString caption = text();
  if (caption.isEmpty()) return layout;
  const QFontMetrics metrics(layout.Font);
  const auto width = [&metrics](const QString& line) {
    return metrics.horizontalAdvance(QString(line).remove(QLatin1Char('&')));
  };
  // The artwork leaves its lowest 20 pixels free for one line, centred 12 pixels above the
  // bottom; a second line goes above it.
  const int lineHeight = metrics.height();
  const int bottom = height() - 12 + (lineHeight + 1) / 2;
  layout.Lines = QStringList{caption};
  layout.Text = QRect(0, bottom - lineHeight, this->width(), lineHeight);
  const QStringList words = caption.split(QLatin1Char(' '), Qt::SkipEmptyParts);
  if (width(caption) <= this->width() - 2 || words.size() < 2) return layout;
  // Two lines as even as the words allow.
  int best = INT_MAX;
  for (qsizetype k = 1; k < words.size(); ++k) {
    const QStringList lines{words.mid(0, k).join(QLatin1Char(' ')),
                            words.mid(k).join(QLatin1Char(' '))};
    const int longer = std::max(width(lines[0]), width(lines[1]));
    if (longer < best) {
      best = longer;
      layout.Lines = lines;
    }
  }
  layout.Text = QRect(0, bottom - 2 * lineHeight, this->width(), 2 * lineHeight);
  // The symbol ends 44 pixels down a 64-pixel picture: the picture shrinks until it ends
  // above the two lines, and stays centred over them.
  const int side = std::min(height(), layout.Text.top() * 64 / 44);
  layout.Picture = QRect((this->width() - side) / 2, 0, side, side);
  return layout;
}

// ---- TClickLabel ------------------------------------------------------------------------------

void TClickLabel::mousePressEvent(QMouseEvent* event) {
  FPressed = event->button() == Qt::LeftButton;
  QLabel::mousePressEvent(event);
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      FPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  FPressed = false;
  QLabel::mouseReleaseEvent(event);
  if (click && isEnabled()) emit clicked();
}

// ---- TTrackBarStyle ---------------------------------------------------------------------------

TTrackBarStyle::TTrackBarStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

int TTrackBarStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                                const QWidget* widget) const {
  switch (metric) {
    case PM_SliderLength:
      return kThumbWidth;
    case PM_SliderThickness:
    case PM_SliderControlThickness:
      return kThumbHeight;
    case PM_SliderTickmarkOffset:
      return 0;
    default:
      return QProxyStyle::pixelMetric(metric, option, widget);
  }
}

QRect TTrackBarStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                     SubControl sub, const QWidget* widget) const {
  const auto* slider = qstyleoption_cast<const QStyleOptionSlider*>(option);
  if (control != CC_Slider || slider == nullptr || slider->orientation != Qt::Horizontal) {
    return QProxyStyle::subControlRect(control, option, sub, widget);
  }
  const QRect r = slider->rect;
  // The thumb's centre runs over the track from kInset to width - kInset, so its left edge
  // runs over [kInset - thumb/2, width - kInset - thumb/2]. QSlider maps mouse positions with
  // the groove: from its left edge to its right edge less the thumb.
  const int firstLeft = kInset - kThumbWidth / 2;
  const int span = std::max(r.width() - 2 * kInset, 0);
  switch (sub) {
    case SC_SliderGroove:
      return QRect(r.x() + firstLeft, r.y(), span + kThumbWidth, r.height());
    case SC_SliderHandle: {
      const int pos = sliderPositionFromValue(slider->minimum, slider->maximum,
                                              slider->sliderPosition, span, slider->upsideDown);
      return QRect(r.x() + firstLeft + pos, r.y() + (r.height() - kThumbHeight) / 2, kThumbWidth,
                   kThumbHeight);
    }
    default:
      return QRect();
  }
}

void TTrackBarStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                        QPainter* painter, const QWidget* widget) const {
  const auto* slider = qstyleoption_cast<const QStyleOptionSlider*>(option);
  if (control != CC_Slider || slider == nullptr || slider->orientation != Qt::Horizontal) {
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    return;
  }
  const QRect r = slider->rect;
  const bool enabled = slider->state & State_Enabled;
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  const QRectF track(r.x() + kInset, r.y() + (r.height() - kTrackThickness) / 2.0,
                     std::max(r.width() - 2 * kInset, 0), kTrackThickness);
  painter->setPen(QPen(QColor(0x9F, 0xB7, 0xCD), 1));
  painter->setBrush(Qt::white);
  painter->drawRoundedRect(track.adjusted(-0.5, -0.5, 0.5, 0.5), 2, 2);
  const QRect handle = subControlRect(CC_Slider, option, SC_SliderHandle, widget);
  if (!enabled) painter->setOpacity(0.55);
  DrawSvg(*painter, QStringLiteral(":/trackbar/thumb.svg"), handle,
          widget != nullptr ? widget->devicePixelRatioF() : 1.0);
  painter->restore();
}

void AutoSizeCaptions(QWidget* window) {
  // Each takes the width of its text and keeps its height unless the text needs more;
  // right-aligned labels keep their design right edge and grow to the left, away from their
  // edit (the label's buddy). Where a caption would leave its page or cover the control on
  // its left, its whole column of captions and edits moves right, the edits keeping their
  // right edges.
  constexpr int kMargin = 4;
  const auto isControl = [](const QWidget* w) {
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QAbstractButton*>(w);
  };
  std::map<std::pair<QWidget*, int>, int> columnShift;  // (page, edit's design left) -> shift
  std::vector<QLabel*> captions;
  for (QLabel* label : window->findChildren<QLabel*>()) {
    if (!label->property("AutoSize").toBool()) continue;
    if (!label->property("DesignRight").isValid()) {
      label->setProperty("DesignRight", label->x() + label->width());
    }
    const QSize hint = label->sizeHint();
    label->resize(hint.width(), std::max(label->height(), hint.height()));
    if (!(label->alignment() & Qt::AlignRight)) continue;
    label->move(label->property("DesignRight").toInt() - label->width(), label->y());
    QWidget* edit = label->buddy();
    if (edit == nullptr) continue;
    if (!edit->property("DesignGeometry").isValid()) {
      edit->setProperty("DesignGeometry", edit->geometry());
    }
    edit->setGeometry(edit->property("DesignGeometry").toRect());
    int limit = kMargin;
    for (QWidget* other :
         label->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      const QRect g = other->geometry();
      if (other == edit || !isControl(other) || g.bottom() < label->y() ||
          g.top() > label->geometry().bottom() || g.right() >= edit->x()) {
        continue;
      }
      limit = std::max(limit, g.right() + 1 + kMargin);
    }
    int& shift = columnShift[{label->parentWidget(), edit->x()}];
    shift = std::max(shift, limit - label->x());
    captions.push_back(label);
  }
  for (QLabel* label : captions) {
    QRect edit = label->buddy()->geometry();
    const int shift = columnShift[{label->parentWidget(), edit.x()}];
    if (shift <= 0) continue;
    label->move(label->x() + shift, label->y());
    edit.setLeft(edit.left() + shift);
    label->buddy()->setGeometry(edit);
  }
}

namespace {

// Tabs whose captions may take more than one line: every tab of the bar is as thick as the
// captions with the most lines need (QTabBar makes room for one).
class TPageTabBar : public QTabBar {
 public:
  using QTabBar::QTabBar;

 protected:
  QSize tabSizeHint(int index) const override {
    QSize size = QTabBar::tabSizeHint(index);
    int lines = 1;
    for (int i = 0; i < count(); ++i) lines = std::max(lines, int(tabText(i).count('\n')) + 1);
    const int extra = (lines - 1) * fontMetrics().lineSpacing();
    if (shape() == RoundedWest || shape() == RoundedEast || shape() == TriangularWest ||
        shape() == TriangularEast) {
      size.rwidth() += extra;
    } else {
      size.rheight() += extra;
    }
    return size;
  }
};

// Where text may be broken: a space (dropped) or behind a hyphen (kept), nearest the middle.
int BreakPoint(const QString& text) {
  int best = -1;
  for (int at = 0; at + 1 < text.size(); ++at) {
    const bool space = text[at] == QLatin1Char(' ');
    const bool hyphen = text[at] == QLatin1Char('-') && at > 0;
    if (!space && !hyphen) continue;
    const int cut = space ? at : at + 1;
    if (best < 0 || std::abs(2 * cut - int(text.size())) < std::abs(2 * best - int(text.size()))) {
      best = cut;
    }
  }
  return best;
}

}  // namespace

TPageControl::TPageControl(QWidget* parent) : QTabWidget(parent) {
  setTabBar(new TPageTabBar(this));
}

void FitTabCaptions(QTabWidget* pages) {
  QTabBar* bar = pages->tabBar();
  if (!bar->property("DesignFont").isValid()) bar->setProperty("DesignFont", bar->font());
  QStringList captions;
  for (int i = 0; i < bar->count(); ++i) {
    // A broken caption is made whole again: what a language file set may be read back.
    QString text = bar->tabText(i);
    if (bar->property("Broken").toStringList().value(i) == text) {
      text = bar->property("Whole").toStringList().value(i, text);
    }
    captions << text;
  }
  const QFont design = bar->property("DesignFont").value<QFont>();
  const int designPixels = design.pixelSize() > 0 ? design.pixelSize() : 13;
  const auto fits = [&] { return bar->sizeHint().height() <= pages->height(); };
  for (int pixels = designPixels; pixels >= 9; --pixels) {
    QFont font = design;
    font.setPixelSize(pixels);
    bar->setFont(font);
    for (int i = 0; i < bar->count(); ++i) bar->setTabText(i, captions[i]);
    while (!fits()) {
      int longest = -1;
      int longestWidth = 0;
      for (int i = 0; i < bar->count(); ++i) {
        const QString text = bar->tabText(i);
        const int width = bar->fontMetrics().horizontalAdvance(text);
        if (!text.contains(QLatin1Char('\n')) && BreakPoint(text) > 0 && width > longestWidth) {
          longest = i;
          longestWidth = width;
        }
      }
      if (longest < 0) break;
      QString text = bar->tabText(longest);
      const int cut = BreakPoint(text);
      if (text[cut] == QLatin1Char(' ')) {
        text[cut] = QLatin1Char('\n');
      } else {
        text.insert(cut, QLatin1Char('\n'));
      }
      bar->setTabText(longest, text);
    }
    if (fits()) break;
  }
  QStringList broken;
  for (int i = 0; i < bar->count(); ++i) broken << bar->tabText(i);
  bar->setProperty("Whole", captions);
  bar->setProperty("Broken", broken);
}

}  // namespace pelcato
