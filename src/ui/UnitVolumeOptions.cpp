#include "ui/UnitVolumeOptions.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "mp3/GlobalGain.h"

namespace pelcato {

namespace {

QSpinBox* MsBox(QWidget* parent, const char* name, const char* hint) {
  auto* box = Named(new QSpinBox(parent), name, hint);
  box->setRange(0, kMaxFadeMs);
  box->setSingleStep(100);
  box->setSuffix(QStringLiteral(" ms"));
  box->setGroupSeparatorShown(false);
  return box;
}

}  // namespace

TGainSpinBox::TGainSpinBox(QWidget* parent) : QSpinBox(parent) {
  setRange(-kMaxGainSteps, kMaxGainSteps);
  setSuffix(QStringLiteral(" dB"));
}

QString TGainSpinBox::textFromValue(int steps) const {
  const QString db = locale().toString(steps * kGainStepDb, 'f', 1);
  return steps > 0 ? QLatin1Char('+') + db : db;
}

int TGainSpinBox::valueFromText(const QString& text) const {
  QString number = text;
  number.remove(suffix()).remove(QLatin1Char('+'));
  bool ok = false;
  const double db = locale().toDouble(number.trimmed(), &ok);
  return ok ? std::clamp(int(std::lround(db / kGainStepDb)), minimum(), maximum()) : value();
}

QValidator::State TGainSpinBox::validate(QString& text, int&) const {
  QString number = text;
  number.remove(suffix()).remove(QLatin1Char('+'));
  number = number.trimmed();
  if (number.isEmpty() || number == QLatin1String("-")) return QValidator::Intermediate;
  bool ok = false;
  locale().toDouble(number, &ok);
  return ok ? QValidator::Acceptable : QValidator::Invalid;
}

TVolumeOptionsGroup::TVolumeOptionsGroup(QWidget* parent) : TOptionsGroup(parent) {
  setObjectName(QStringLiteral("GroupVolume"));
  setTitle(QStringLiteral("Volume"));
  LabelGain = Named(new QLabel(QStringLiteral("Gain:"), this), "LabelGain");
  SpinGain = Named(new TGainSpinBox(this), "SpinGain",
                   "Louder or quieter in steps of 1.5 dB, changed in the frames themselves: "
                   "nothing is encoded again");
  CheckNormalize = Named(new QCheckBox(QStringLiteral("Normalise to"), this), "CheckNormalize",
                         "Each file gets the gain that brings its loudness nearest to the target, "
                         "stopping where samples would pass full scale");
  SpinTarget = Named(new QSpinBox(this), "SpinTarget");
  SpinTarget->setRange(-70, 0);
  SpinTarget->setSuffix(QStringLiteral(" LUFS"));
  LabelFadeIn = Named(new QLabel(QStringLiteral("Fade in:"), this), "LabelFadeIn");
  SpinFadeIn = MsBox(this, "SpinFadeIn", "The sound rises from silence over the file's start");
  LabelFadeOut = Named(new QLabel(QStringLiteral("Fade out:"), this), "LabelFadeOut");
  SpinFadeOut = MsBox(this, "SpinFadeOut", "The sound falls to silence over the file's end");
  LabelGain->setBuddy(SpinGain);
  LabelFadeIn->setBuddy(SpinFadeIn);
  LabelFadeOut->setBuddy(SpinFadeOut);

  auto* grid = new QGridLayout(this);
  grid->addWidget(LabelGain, 0, 0);
  grid->addWidget(SpinGain, 0, 1);
  grid->addWidget(CheckNormalize, 1, 0);
  grid->addWidget(SpinTarget, 1, 1);
  grid->addItem(new QSpacerItem(0, 8), 2, 0);
  grid->addWidget(LabelFadeIn, 3, 0);
  grid->addWidget(SpinFadeIn, 3, 1);
  grid->addWidget(LabelFadeOut, 4, 0);
  grid->addWidget(SpinFadeOut, 4, 1);
  grid->setRowStretch(5, 1);
  connect(CheckNormalize, &QCheckBox::toggled, this, [this] { CheckNormalizeClick(); });
}

void TVolumeOptionsGroup::CheckNormalizeClick() {
  SpinGain->setEnabled(!CheckNormalize->isChecked());
  SpinTarget->setEnabled(CheckNormalize->isChecked());
}

void TVolumeOptionsGroup::Load(const TAppSettings& settings) {
  SpinGain->setValue(settings.GainSteps);
  CheckNormalize->setChecked(settings.Normalize);
  SpinTarget->setValue(settings.NormalizeTarget);
  SpinFadeIn->setValue(settings.FadeInMs);
  SpinFadeOut->setValue(settings.FadeOutMs);
  CheckNormalizeClick();
}

void TVolumeOptionsGroup::Store(TAppSettings& settings) const {
  settings.GainSteps = SpinGain->value();
  settings.Normalize = CheckNormalize->isChecked();
  settings.NormalizeTarget = SpinTarget->value();
  settings.FadeInMs = SpinFadeIn->value();
  settings.FadeOutMs = SpinFadeOut->value();
}

}  // namespace pelcato
