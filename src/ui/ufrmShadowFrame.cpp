#include "ui/ufrmShadowFrame.h"

#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRegion>

#ifdef PELCATO_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#endif

namespace pelcato {

TFormShadow::TFormShadow()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                           Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint) {
  setObjectName(QStringLiteral("FormShadow"));
  setAttribute(Qt::WA_TranslucentBackground);
  setAttribute(Qt::WA_NoSystemBackground);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_QuitOnClose, false);
  setFocusPolicy(Qt::NoFocus);
}

TFormShadow::~TFormShadow() {
  SetForm(nullptr);
}

void TFormShadow::SetForm(QWidget* form) {
  if (form == FForm) return;
  if (FForm) FForm->removeEventFilter(this);
  FForm = form;
  if (FForm) FForm->installEventFilter(this);
  FDirty = true;
  RefreshFrame();
}

void TFormShadow::SetShadowVisible(bool visible) {
  if (visible == FShadowVisible) return;
  FShadowVisible = visible;
  RefreshFrame();
}

void TFormShadow::SetShadowColor(TShadowColor color) {
  if (color == FColor) return;
  FColor = color;
  ApplyShadowColor(FBitmap, FColor, false);
  ++FTintCount;
  update();
}

bool TFormShadow::CompositorRunning() {
  const QString platform = QGuiApplication::platformName();
#ifdef PELCATO_HAVE_XCB
  if (platform == QLatin1String("xcb")) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr) return false;
    // The compositing manager owns the selection _NET_WM_CM_S<screen>.
    int screen = 0;
    if (const char* display = std::getenv("DISPLAY")) {
      if (const char* dot = std::strrchr(display, '.');
          dot != nullptr && std::strchr(dot, ':') == nullptr) {
        screen = std::atoi(dot + 1);
      }
    }
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screen);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 1, uint16_t(name.size()), name.constData()),
            nullptr),
        &std::free);
    if (!atom || atom->atom == XCB_NONE) return false;
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom),
                                      nullptr),
        &std::free);
    return owner && owner->owner != XCB_NONE;
  }
#endif
  return false;
}

bool TFormShadow::PlacesOwnWindows(const QString& platform) {
  // A Wayland compositor puts every window where it likes: the shadow would float beside the
  // window instead of lying behind it.
  return !platform.startsWith(QLatin1String("wayland"), Qt::CaseInsensitive);
}

bool TFormShadow::CanShow() const {
  if (!PlacesOwnWindows(FPlatformOverride ? *FPlatformOverride : QGuiApplication::platformName()))
    return false;
  return FCompositorOverride ? *FCompositorOverride : CompositorRunning();
}

bool TFormShadow::FormIsNormal() const {
  return FForm && !(FForm->windowState() &
                    (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
}

void TFormShadow::RefreshFrame() {
  if (FForm) FollowForm();
}

void TFormShadow::HideShadow() {
  if (isVisible()) hide();
}

void TFormShadow::FollowForm() {
  if (!FForm) return;
  // Hidden, minimised or maximised: no shadow.
  if (!FForm->isVisible() || !FormIsNormal()) {
    HideShadow();
    return;
  }
  RedrawShadow();
  if (FBitmap.Width > 0 && FBitmap.Height > 0) {
    const QPoint at = FForm->pos() - QPoint(kShadowMargin, kShadowMargin);
    setGeometry(QRect(at, QSize(FBitmap.Width, FBitmap.Height)));
  }
  if (FShadowVisible && FBitmap.Width > 0 && CanShow()) {
    ShowShadowBehindForm();
  } else {
    HideShadow();
  }
}

void TFormShadow::ShowShadowBehindForm() {
  if (isVisible()) return;
  show();
  // A window that appears goes on top: put the followed window back in front of it.
  FForm->raise();
}

void TFormShadow::RedrawShadow() {
  if (!FShadowVisible || !FForm) return;
  const int width = FForm->width();
  const int height = FForm->height();
  if (FBitmap.Width != width + 2 * kShadowMargin || FBitmap.Height != height + 2 * kShadowMargin) {
    FDirty = true;
  }
  if (!FDirty) return;
  FDirty = false;
  std::vector<TPixelRect> shape;
  for (const QRect& r : FForm->mask()) {
    shape.push_back({r.left(), r.top(), r.right() + 1, r.bottom() + 1});
  }
  BuildShadowImage(FBitmap, width, height, shape, FColor);
  ++FBuildCount;
  update();
}

bool TFormShadow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FForm) {
    switch (event->type()) {
      case QEvent::Move:
      case QEvent::Resize:
      case QEvent::Show:
      case QEvent::WindowStateChange:
        FollowForm();
        break;
      case QEvent::Hide:
        HideShadow();
        break;
      case QEvent::WindowActivate:
        // The window came to the front; bring the shadow along behind it.
        if (isVisible()) {
          raise();
          FForm->raise();
        }
        break;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TFormShadow::paintEvent(QPaintEvent*) {
  if (FBitmap.Width <= 0 || FBitmap.Height <= 0) return;
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
  // Blue, green, red, alpha in memory is a little-endian ARGB32 premultiplied picture.
  const QImage image(FBitmap.Bits.data(), FBitmap.Width, FBitmap.Height, FBitmap.Width * 4,
                     QImage::Format_ARGB32_Premultiplied);
#else
  QImage image(FBitmap.Width, FBitmap.Height, QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < FBitmap.Height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < FBitmap.Width; ++x) {
      const uint8_t* p = FBitmap.Pixel(x, y);
      line[x] = qRgba(p[2], p[1], p[0], p[3]);
    }
  }
#endif
  painter.drawImage(0, 0, image);
}

}  // namespace pelcato
