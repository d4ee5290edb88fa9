// The drop shadow of the borderless main window: a separate, frameless, translucent window
// 16 pixels larger than the followed window on every side, lying directly behind it, that
// never takes the focus or a click and shows the window's blurred, tinted silhouette.
#pragma once

#include <QPointer>
#include <QWidget>
#include <optional>

#include "shadow/ShadowImage.h"

namespace pelcato {

class TFormShadow : public QWidget {
  Q_OBJECT
 public:
  TFormShadow();
  ~TFormShadow() override;

  // Attach to a window, move to another, or detach (nullptr). Attaching the window already
  // followed changes nothing.
  void SetForm(QWidget* form);
  QWidget* Form() const { return FForm; }

  // Whether the shadow is wanted: the followed window is showing. Setting the value it
  // already has does nothing.
  void SetShadowVisible(bool visible);
  bool ShadowVisible() const { return FShadowVisible; }

  // The tint as 0x00BBGGRR. Setting the tint it already has does nothing; another one
  // re-tints the picture from its stored alpha.
  void SetShadowColor(TShadowColor color);
  TShadowColor ShadowColor() const { return FColor; }

  const TBgraImage& Image() const { return FBitmap; }
  // How often the picture was built and re-tinted so far.
  int BuildCount() const { return FBuildCount; }
  int TintCount() const { return FTintCount; }

  // Per-pixel alpha needs a compositing window manager; without one the shadow stays hidden
  // rather than painting an opaque frame. Tests may decide instead of the desktop.
  static bool CompositorRunning();
  void SetCompositorOverride(std::optional<bool> available) { FCompositorOverride = available; }

  // Whether the platform lets a program place its own windows (not so on Wayland), which the
  // shadow needs to lie behind the window. Tests may name the platform instead of Qt.
  static bool PlacesOwnWindows(const QString& platform);
  void SetPlatformOverride(std::optional<QString> platform) { FPlatformOverride = platform; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  bool CanShow() const;
  bool FormIsNormal() const;
  void RefreshFrame();
  void FollowForm();
  void HideShadow();
  void RedrawShadow();
  void ShowShadowBehindForm();

  QPointer<QWidget> FForm;
  bool FShadowVisible = false;
  TShadowColor FColor = 0;
  TBgraImage FBitmap;
  bool FDirty = true;
  int FBuildCount = 0;
  int FTintCount = 0;
  std::optional<bool> FCompositorOverride;
  std::optional<QString> FPlatformOverride;
};

}  // namespace pelcato
