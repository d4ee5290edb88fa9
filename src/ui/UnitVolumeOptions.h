// The volume of the files Save as and Split write, beside the output options: a gain in steps
// of the frames' global gain (shown in dB), or each file normalised to a loudness, and fades
// in and out; kept in [OUTPUT] of the settings.
#pragma once

#include <QSpinBox>

#include "ui/UnitOutputOptions.h"

class QCheckBox;
class QLabel;

namespace pelcato {

// A gain in steps of 1.505 dB, shown and typed in dB.
class TGainSpinBox : public QSpinBox {
  Q_OBJECT
 public:
  explicit TGainSpinBox(QWidget* parent = nullptr);

 protected:
  QString textFromValue(int steps) const override;
  int valueFromText(const QString& text) const override;
  QValidator::State validate(QString& text, int& pos) const override;
};

// GainSteps, Normalize, NormalizeTarget, FadeInMs and FadeOutMs of [OUTPUT].
class TVolumeOptionsGroup : public TOptionsGroup {
  Q_OBJECT
 public:
  explicit TVolumeOptionsGroup(QWidget* parent = nullptr);

  void Load(const TAppSettings& settings) override;
  void Store(TAppSettings& settings) const override;

  QLabel* LabelGain = nullptr;
  TGainSpinBox* SpinGain = nullptr;
  QCheckBox* CheckNormalize = nullptr;
  QSpinBox* SpinTarget = nullptr;
  QLabel* LabelFadeIn = nullptr;
  QSpinBox* SpinFadeIn = nullptr;
  QLabel* LabelFadeOut = nullptr;
  QSpinBox* SpinFadeOut = nullptr;

 private:
  // A normalised file takes the gain its loudness asks for: the fixed gain rests meanwhile.
  void CheckNormalizeClick();
};

}  // namespace pelcato
