#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>
#include <functional>

#include "ui/ufrmShadowFrame.h"

namespace pelcato {
namespace {

// Changes the window and waits until the window has been told of it (on the platform's time:
// through the event loop), so that the shadow has had its chance to follow.
bool ChangeAndWait(QWidget& form, QEvent::Type told, const std::function<void()>& change) {
  struct TCounter : QObject {
    QEvent::Type Type;
    int Count = 0;
    explicit TCounter(QEvent::Type type) : Type(type) {}
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == Type) ++Count;
      return false;
    }
  } counter(told);
  form.installEventFilter(&counter);
  change();
  const bool seen = QTest::qWaitFor([&] { return counter.Count > 0; }, 10000);
  form.removeEventFilter(&counter);
  return seen;
}

// A followed window with a shape of its own, and a shadow attached to it.
struct TFollowed {
  QWidget Form{nullptr, Qt::Window | Qt::FramelessWindowHint};
  TFormShadow Shadow;

  TFollowed() {
    Form.setGeometry(200, 150, 120, 80);
    Form.setMask(QRegion(0, 0, 120, 80, QRegion::Ellipse));
    Shadow.SetCompositorOverride(true);
    Shadow.SetForm(&Form);
    Shadow.SetShadowColor(0xA1794A);
  }
  // What the main window's show and hide handlers do.
  void Show() {
    Form.show();
    Shadow.SetShadowVisible(true);
  }
  QRect Expected() const { return Form.geometry().adjusted(-16, -16, 16, 16); }
};

TEST(FormShadow, NeverTakesFocusOrClicksAndHasNoTaskBarButton) {
  TFormShadow shadow;
  const Qt::WindowFlags flags = shadow.windowFlags();
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
  EXPECT_TRUE(flags & Qt::FramelessWindowHint);
  EXPECT_TRUE(flags & Qt::WindowTransparentForInput);
  EXPECT_TRUE(flags & Qt::WindowDoesNotAcceptFocus);
  EXPECT_TRUE(shadow.testAttribute(Qt::WA_TranslucentBackground));
  EXPECT_TRUE(shadow.testAttribute(Qt::WA_ShowWithoutActivating));
  EXPECT_FALSE(shadow.isVisible());
  EXPECT_EQ(shadow.ShadowColor(), 0u);
  EXPECT_FALSE(shadow.ShadowVisible());
}

TEST(FormShadow, FollowsTheWindowAndRebuildsOnlyWhenTheSizeChanges) {
  TFollowed f;
  EXPECT_EQ(f.Shadow.BuildCount(), 0);  // nothing is built while the window is hidden
  f.Show();
  ASSERT_TRUE(f.Shadow.isVisible());
  EXPECT_EQ(f.Shadow.geometry(), f.Expected());
  EXPECT_EQ(f.Shadow.BuildCount(), 1);
  EXPECT_EQ(f.Shadow.Image().Width, 152);
  EXPECT_EQ(f.Shadow.Image().Height, 112);
  // Beside the ellipse the shadow shows; under the window it does not.
  EXPECT_GT(f.Shadow.Image().Pixel(15, 56)[3], 0);
  EXPECT_EQ(f.Shadow.Image().Pixel(76, 56)[3], 0);

  ASSERT_TRUE(ChangeAndWait(f.Form, QEvent::Move, [&] { f.Form.move(260, 170); }));
  EXPECT_EQ(f.Shadow.geometry(), f.Expected());
  EXPECT_EQ(f.Shadow.BuildCount(), 1);

  ASSERT_TRUE(ChangeAndWait(f.Form, QEvent::Resize, [&] { f.Form.resize(140, 90); }));
  EXPECT_EQ(f.Shadow.geometry(), f.Expected());
  EXPECT_EQ(f.Shadow.BuildCount(), 2);
  f.Form.hide();
  EXPECT_FALSE(f.Shadow.isVisible());
}

TEST(FormShadow, HiddenWhileMinimisedOrMaximisedShownWhenRestored) {
  TFollowed f;
  f.Show();
  f.Form.showMinimized();
  EXPECT_FALSE(f.Shadow.isVisible());
  f.Form.showNormal();
  EXPECT_TRUE(f.Shadow.isVisible());
  EXPECT_EQ(f.Shadow.geometry(), f.Expected());
  f.Form.showMaximized();
  EXPECT_FALSE(f.Shadow.isVisible());
  f.Form.showNormal();
  EXPECT_TRUE(f.Shadow.isVisible());
  f.Form.hide();
}

TEST(FormShadow, SettingTheSameTintOrVisibilityTwiceDoesNothing) {
  TFollowed f;
  f.Show();
  const int builds = f.Shadow.BuildCount();
  const int tints = f.Shadow.TintCount();
  f.Shadow.SetShadowColor(0xA1794A);
  f.Shadow.SetShadowVisible(true);
  f.Shadow.SetForm(&f.Form);
  EXPECT_EQ(f.Shadow.TintCount(), tints);
  EXPECT_EQ(f.Shadow.BuildCount(), builds);

  // Another tint re-colours the stored alpha without a rebuild.
  const uint8_t alpha = f.Shadow.Image().Pixel(15, 56)[3];
  f.Shadow.SetShadowColor(0x0000FF);
  EXPECT_EQ(f.Shadow.TintCount(), tints + 1);
  EXPECT_EQ(f.Shadow.BuildCount(), builds);
  EXPECT_EQ(f.Shadow.Image().Pixel(15, 56)[3], alpha);
  EXPECT_EQ(f.Shadow.Image().Pixel(15, 56)[2], alpha);  // red at full strength
  EXPECT_EQ(f.Shadow.Image().Pixel(15, 56)[0], 0);
  f.Form.hide();
}

TEST(FormShadow, DetachedShadowNoLongerFollows) {
  TFollowed f;
  f.Show();
  f.Shadow.SetForm(nullptr);
  const QRect before = f.Shadow.geometry();
  ASSERT_TRUE(ChangeAndWait(f.Form, QEvent::Move, [&] { f.Form.move(400, 300); }));
  EXPECT_EQ(f.Shadow.geometry(), before);
  EXPECT_EQ(f.Shadow.Form(), nullptr);
  f.Shadow.hide();
  f.Form.hide();
}

TEST(FormShadow, WithoutCompositorTheShadowStaysHidden) {
  TFollowed f;
  f.Shadow.SetCompositorOverride(false);
  f.Show();
  EXPECT_FALSE(f.Shadow.isVisible());
  // Headless: the offscreen desktop has no compositor.
  f.Shadow.SetCompositorOverride(std::nullopt);
  EXPECT_FALSE(TFormShadow::CompositorRunning());
  f.Form.hide();
}

TEST(FormShadow, OnWaylandTheShadowStaysHiddenEvenWithACompositor) {
  for (const char* platform : {"wayland", "wayland-egl", "xcb"}) {
    SCOPED_TRACE(platform);
    TFollowed f;
    f.Shadow.SetPlatformOverride(QString::fromLatin1(platform));
    f.Show();
    EXPECT_EQ(f.Shadow.isVisible(), std::string(platform) == "xcb");
    f.Shadow.SetShadowVisible(false);
    f.Shadow.hide();
    f.Form.hide();
  }
  EXPECT_TRUE(TFormShadow::PlacesOwnWindows(QStringLiteral("offscreen")));
}

}  // namespace
}  // namespace pelcato
