// The open command of the main window: the dialog, the analysis, the working copy of a file the
// player refuses, and the file's facts and ID3v1 tag on the two information pages.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <climits>

#include "edit/TagText.h"
#include "edit/TimeCode.h"
#include "settings/Language.h"
#include "ui/Dialogs.h"
#include "ui/UnitMP3Editor.h"
#include "ui/WaveView.h"
#include "wave/LevelEstimate.h"
#include "wave/WaveTrack.h"

namespace pelcato {

namespace {

const QString kZero = QStringLiteral("000:00:00.000");

QString PathText(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

}  // namespace

void TFrmMP3Editor::BtnOpenMp3Click() {
  const TRunningCommand running(*this);
  const QString path = FDialogs.OpenFile(this, OpenDialog1->property("Title").toString(),
                                         OpenDialog1->property("Filter").toString());
  if (path.isEmpty()) return;  // cancelled: the open file stays open
  OpenFile(path);
}

void TFrmMP3Editor::OpenFile(const QString& path) {
  const TRunningCommand running(*this);
  // The previous file must not play on under the new one, nor its decode take time from the
  // analysis.
  StopPreview();
  FWave->Clear();
  Label25->setText(Msg(FMessages.Ms_Opening));
  PanelState->show();
  PanelState->raise();
  // Paint the panel before the analysis holds the window; clicks wait until it is done.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  ResetForOpen();

  QString error;
  try {
    // The frame index made beside the length scan lets "Save as" and "Split" start each piece
    // where it lies instead of walking from the first frame.
    // The walk that makes the index also feeds the waveform's first estimate.
    FMp3->AnalyzeFile(QFile::encodeName(path).toStdString(), true, true, FEstimator.get());
    if (FMp3->Info.Valid) {
      FSourceFolder = QFileInfo(path).absolutePath();
      ShowOpenedFile();
    } else {
      ApplyCommandState(TCommandState::NoFile);  // the no-file icon; Label12 keeps its path
      FDialogs.ShowMessage(this, path + QStringLiteral("\r\n") + Msg(FMessages.Ms_NotMP3),
                           Msg(FMessages.Ms_Info), TMsgIcon::Information, TMsgButtons::Ok);
    }
  } catch (const std::exception& e) {
    error = QString::fromStdString(e.what());
  }

  // Whatever happened: the markers span the track, and the panel goes.
  FStartMs = 0;
  FEndMs = TrackBarPos->maximum();
  // A file without length keeps its end marker at 0, not at the track bar's least maximum.
  if (FMp3->Info.Valid && FCommandState == TCommandState::FileOpen) {
    FEndMs = std::min<int64_t>(FEndMs, FMp3->Info.Duration);
  }
  ShowWaveform();
  PanelState->hide();
  if (!error.isEmpty()) {
    FDialogs.ShowMessage(this, error, QString::fromLatin1(ApplicationTitle), TMsgIcon::Error,
                         TMsgButtons::Ok);
  }
}

void TFrmMP3Editor::ResetForOpen() {
  // Every control of the state table as without a file; the file icons and the path stay.
  RzCheckBox1->setChecked(false);
  ApplyCommandState(TCommandState::NoFile, false);
  TrackBarPos->setValue(0);
  for (QLineEdit* edit : {RzEdit1, RzEdit2, RzEdit3, RzEdit5, RzEdit6, RzEdit7}) edit->clear();
  RzComboBox1->setCurrentIndex(-1);
  for (QLabel* label : {Label24, Label18, Label19, Label20, Label21, Label22}) label->clear();
  WriteMaskEdit(RzMaskEdit1, kZero);
  WriteMaskEdit(RzMaskEdit2, kZero);
  LabelPos->setText(kZero);
  LabelLen->setText(kZero);
  LayoutMarkers(false);
  FEstimator->Begin(0);
  PaintBoxWave->SetFile(nullptr, 0, 0.0);
}

void TFrmMP3Editor::ShowOpenedFile() {
  OpenAsCopy();
  const TMp3DataInfo& info = FMp3->Info;
  Label12->setText(PathText(info.FileName));
  // The track bar never lets its maximum fall to its minimum.
  TrackBarPos->setMaximum(std::clamp<int64_t>(info.Duration, 1, INT_MAX));
  LabelPos->setText(kZero);
  LabelLen->setText(QString::fromStdString(FormatTimeCode(info.Duration)));
  RzCheckBox1->setChecked(info.ID3v1Size > 0);
  if (RzCheckBox1->isChecked()) FillTagPage();
  FillStandardPage();
  ApplyCommandState(TCommandState::FileOpen);
  LayoutMarkers(true);
  MarkerToTime(TMarker::End);
  // The keys go to the window, not to the edit that the reset's disabling handed the focus to.
  setFocus();
}

QString TFrmMP3Editor::TempFolder() const {
  return QString::fromStdString(TempFolderPath(FSettings));
}

void TFrmMP3Editor::OpenAsCopy() {
  // A file the player reads but finds nothing to play in, while its ID3v2 tag holds a picture:
  // a copy without the picture frame, whose tag size is written afresh, may play.
  const TMp3DataInfo& info = FMp3->Info;
  if (info.MciOk || info.MciFault != TPlayerFault::NotPlayable) return;
  int tagSize = 0;
  int pictureOffset = 0;
  int pictureSize = 0;
  if (!FMp3->FindPictureFrame(info.FileName, tagSize, pictureOffset, pictureSize)) return;
  const QString question =
      QString::fromStdString(info.MciError) + QLatin1Char('\n') + Msg(FMessages.Ms_AsCopy);
  if (FDialogs.ShowMessage(this, question, Msg(FMessages.Ms_Info), TMsgIcon::Information,
                           TMsgButtons::YesNo) != TMsgAnswer::Yes) {
    return;
  }
  const QString folder = TempFolder();
  QDir().mkpath(folder);
  const QString path = folder +
                       QDateTime::currentDateTime().toString(QStringLiteral("yyMMddHHmmsszzz")) +
                       QStringLiteral(".mp3");
  if (QFile::exists(path)) QFile::remove(path);
  const std::string copy = QFile::encodeName(path).toStdString();
  if (FMp3->CopyWithoutFrame(info.FileName, copy, tagSize, pictureOffset, pictureSize)) {
    // Deleted at close whatever its analysis does.
    FTempFiles << path;
    FMp3->AnalyzeFile(copy, true, true, FEstimator.get());
  }
}

QString TFrmMP3Editor::SizeText(int64_t bytes) const {
  if (bytes < 1024) return QStringLiteral("1 KB");
  // Whole kilobytes, a half rounded up, grouped as the locale groups thousands.
  const int64_t kb = bytes / 1024 + (bytes % 1024 >= 512 ? 1 : 0);
  QLocale locale = FLocale;
  locale.setNumberOptions(QLocale::DefaultNumberOptions);
  return locale.toString(qlonglong(kb)) + QStringLiteral(" KB");
}

void TFrmMP3Editor::FillStandardPage() {
  const TMp3DataInfo& info = FMp3->Info;
  Label24->setText(SizeText(info.FileSize));
  QString version = QString::number(info.Version, 'g', 3);
  version.replace(QLatin1Char('.'), FLocale.decimalPoint());
  Label18->setText(QStringLiteral("MPEG %1 Layer %2").arg(version).arg(info.Layer));
  Label19->setText(Msg(info.Mono ? FMessages.Ms_Mono : FMessages.Ms_Stereo));
  Label20->setText(QStringLiteral("%1 Hz").arg(info.SampleRate));
  Label21->setText(QStringLiteral("%1 Kbps").arg(info.Bitrate));
  Label22->setText(QString::fromStdString(FormatTimeCode(info.Duration)));
}

std::pair<std::array<QString, 6>, int> TFrmMP3Editor::TagPageAtOpen() const {
  if (FMp3->Info.ID3v1Size <= 0) return {{}, -1};
  const TTagFields fields = FieldsFromTag(FMp3->Info.Tag, FTagCodePage);
  const auto text = [this](const std::string& bytes) {
    return QString::fromStdString(TagTextToUtf8(bytes, FTagCodePage));
  };
  return {{text(fields.Title), text(fields.Artist), text(fields.Album), text(fields.Comment),
           text(fields.Year), QString::fromStdString(fields.Track)},
          fields.Genre < RzComboBox1->count() ? fields.Genre : -1};
}

void TFrmMP3Editor::FillTagPage() {
  const auto [texts, genre] = TagPageAtOpen();
  QLineEdit* const edits[] = {RzEdit1, RzEdit2, RzEdit3, RzEdit7, RzEdit6, RzEdit5};
  for (size_t i = 0; i < texts.size(); ++i) edits[i]->setText(texts[i]);
  RzComboBox1->setCurrentIndex(genre);
}

}  // namespace pelcato
