// The volume of what Save as and Split write, as [OUTPUT] asks for it: a gain in steps of the
// global gain or each piece normalised to a loudness, and fades; the lines of the success
// message that say what was done; and the picture of the result on the Waveform page.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "text/Text.h"
#include "ui/Dialogs.h"
#include "ui/UnitMP3Editor.h"
#include "ui/WaveView.h"
#include "volume/PieceVolume.h"

namespace pelcato {
namespace {

std::string SignedDb(int steps) {
  char text[32];
  std::snprintf(text, sizeof text, "%+.2f", DbOfSteps(steps));
  return text;
}

TVolumeRequest RequestOf(const TAppSettings& s) {
  TVolumeRequest r;
  r.Normalize = s.Normalize;
  r.TargetLufs = s.NormalizeTarget;
  r.Volume.GainSteps = s.Normalize ? 0 : s.GainSteps;
  r.Volume.FadeInMs = s.FadeInMs;
  r.Volume.FadeOutMs = s.FadeOutMs;
  return r;
}

}  // namespace

bool TFrmMP3Editor::PrepareVolume(const std::vector<int64_t>& starts,
                                  const std::vector<int64_t>& ends, QString& note) {
  note.clear();
  FMp3->Volume = {};
  FMp3->PieceGainSteps.clear();
  const TVolumeRequest request = RequestOf(FSettings);
  if (!request.Changes()) return true;
  if (FMp3->Info.Layer != 3) {
    note = QLatin1Char('\n') + Msg(FMessages.Ms_VolumeNotLayer3);
    return true;
  }
  if (request.Normalize) Label25->setText(Msg(FMessages.Ms_VolumeMeasuring));
  QElapsedTimer shown;
  shown.start();
  const TPieceVolumes v = PreparePieceVolumes(*FMp3, request, starts, ends, [&](double) {
    // The window keeps drawing while a long file is decoded.
    if (shown.elapsed() >= 100) {
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
      shown.restart();
    }
  });
  Label25->setText(Msg(FMessages.Ms_Waiting));
  if (!v.Error.empty()) {
    FDialogs.ShowMessage(this, Msg(FMessages.Ms_NotSave) + QLatin1Char('\n') + Msg(v.Error),
                         Msg(FMessages.Ms_Error), TMsgIcon::Error, TMsgButtons::Ok);
    return false;
  }
  std::string lines;
  if (request.Normalize && !v.Steps.empty()) {
    const auto [low, high] = std::minmax_element(v.Steps.begin(), v.Steps.end());
    const std::string gains =
        *low == *high ? SignedDb(*low) : SignedDb(*low) + " ... " + SignedDb(*high);
    lines += "\n" + ReplaceAll(ReplaceAll(FMessages.Ms_VolumeNormalized, "%1",
                                          std::to_string(FSettings.NormalizeTarget)),
                               "%2", gains);
    if (std::any_of(v.Choices.begin(), v.Choices.end(),
                    [](const TGainChoice& c) { return !c.Reached; })) {
      lines += "\n" + FMessages.Ms_VolumeNotReached;
    }
  } else if (request.Volume.GainSteps != 0) {
    lines += "\n" + ReplaceAll(FMessages.Ms_VolumeGain, "%1", SignedDb(request.Volume.GainSteps));
  }
  if (request.Volume.FadeInMs > 0 || request.Volume.FadeOutMs > 0) {
    lines += "\n" + ReplaceAll(ReplaceAll(FMessages.Ms_VolumeFades, "%1",
                                          std::to_string(request.Volume.FadeInMs)),
                               "%2", std::to_string(request.Volume.FadeOutMs));
  }
  note = Msg(lines);
  return true;
}

QString TFrmMP3Editor::ClampedNote(bool clamped) const {
  return clamped ? QLatin1Char('\n') + Msg(FMessages.Ms_VolumeClamped) : QString();
}

void TFrmMP3Editor::SyncWaveVolume() {
  if (PaintBoxWave == nullptr) return;
  const TVolumeRequest request = RequestOf(FSettings);
  // A gain that normalising will choose is known only once the range is measured: the picture
  // shows the fades alone then.
  if (!request.Volume.Changes() || FCommandState == TCommandState::NoFile ||
      FMp3->Info.Layer != 3) {
    PaintBoxWave->SetRangeGain({});
    return;
  }
  const int64_t start = FStartMs;
  const TGainRamp ramp(request.Volume, 1000, 0, FEndMs - FStartMs);
  PaintBoxWave->SetRangeGain([ramp, start](double ms) {
    return std::pow(2.0, ramp.StepsAtSample(int64_t(ms) - start) / 4.0);
  });
}

}  // namespace pelcato
