// "Save as" and "Split" of the main window: the marked range written to a file of the user's
// choice, and the whole file cut into pieces in the folder of the split options, each with
// the tag built from the tag page.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include "edit/TagText.h"
#include "io/Paths.h"
#include "split/SplitPlan.h"
#include "ui/Dialogs.h"
#include "ui/UnitMP3Editor.h"
#include "ui/UnitSplitOption.h"

namespace pelcato {

TID3v1Tag TFrmMP3Editor::BuildTagFromEdits() const {
  TTagFields fields;
  fields.CodePage = FTagCodePage;
  fields.Include = RzCheckBox1->isChecked();
  const auto bytes = [this](const QLineEdit* edit) {
    return Utf8ToTagText(edit->text().toStdString(), FTagCodePage);
  };
  fields.Title = bytes(RzEdit1);
  fields.Artist = bytes(RzEdit2);
  fields.Album = bytes(RzEdit3);
  fields.Year = bytes(RzEdit6);
  fields.Comment = bytes(RzEdit7);
  fields.Track = RzEdit5->text().toStdString();
  fields.Genre = RzComboBox1->currentIndex();
  return BuildTagFromFields(fields);
}

bool TFrmMP3Editor::IsOpenFile(const QString& path) const {
  // The open file by the same name in other letters, or by any other name or link.
  const QString open = QFile::decodeName(QByteArray::fromStdString(FMp3->Info.FileName));
  return FLocale.toLower(path) == FLocale.toLower(open) ||
         IsSameFile(QFile::encodeName(path).toStdString(), FMp3->Info.FileName);
}

void TFrmMP3Editor::ShowBusy(bool busy) {
  if (busy) {
    Label25->setText(Msg(FMessages.Ms_Waiting));
    PanelState->show();
    PanelState->raise();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  } else {
    PanelState->hide();
    ProgressSplit->hide();
  }
}

void TFrmMP3Editor::BtnSaveMp3Click() {
  const TRunningCommand running(*this);
  if (FStartMs >= FEndMs) {
    FDialogs.ShowMessage(this, Msg(FMessages.Ms_ClipErr), Msg(FMessages.Ms_Info),
                         TMsgIcon::Information, TMsgButtons::Ok);
    return;
  }
  const QString path = FDialogs.SaveFile(this, SaveDialog1->property("Title").toString(),
                                         SaveDialog1->property("Filter").toString(),
                                         QStringLiteral("mp3"), FSourceFolder);
  if (path.isEmpty()) return;
  if (IsOpenFile(path)) {
    FDialogs.ShowMessage(this, Msg(FMessages.Ms_NotSaveName) + path, Msg(FMessages.Ms_Info),
                         TMsgIcon::Information, TMsgButtons::Ok);
    return;
  }
  ShowBusy(true);
  FMp3->Stop();
  const TID3v1Tag tag = BuildTagFromEdits();
  FMp3->VbrHeader = FSettings.VbrHeader;
  int64_t bytes = 0;
  int64_t durationMs = 0;
  const bool saved = FMp3->SaveSegment(FStartMs, FEndMs, QFile::encodeName(path).toStdString(), tag,
                                       bytes, durationMs);
  ShowBusy(false);
  if (saved) {
    FDialogs.ShowMessage(this, Msg(FMessages.Ms_Success) + QStringLiteral("\n\r") + path,
                         Msg(FMessages.Ms_Info), TMsgIcon::Information, TMsgButtons::Ok);
  } else {
    FDialogs.ShowMessage(this, Msg(FMessages.Ms_NotSave), Msg(FMessages.Ms_Error), TMsgIcon::Error,
                         TMsgButtons::Ok);
  }
}

void TFrmMP3Editor::BtnSplitClick() {
  const TRunningCommand running(*this);
  const TMp3DataInfo& info = FMp3->Info;
  if (!ShowSplitOptions(FDialogs, FSettings, FMessages, info.Duration, this)) return;
  TSplitRequest request;
  request.SplitType = FSettings.SplitType;
  request.SplitInto = FSettings.SplitInto;
  request.SplitHour = FSettings.SplitHour;
  request.SplitMin = FSettings.SplitMin;
  request.SplitSec = FSettings.SplitSec;
  request.Duration = info.Duration;
  std::vector<int64_t> starts;
  std::vector<int64_t> ends;
  const int count = BuildSplitRanges(request, starts, ends);
  if (count <= 0) {
    // Only a file without length gets here: the dialog has checked the values.
    FDialogs.ShowMessage(this, Msg(FMessages.Ms_NothingToSplit), Msg(FMessages.Ms_Info),
                         TMsgIcon::Information, TMsgButtons::Ok);
    return;
  }
  const QString folderShown = QString::fromStdString(FSettings.OutputFolder);
  const QString question =
      QString::fromStdString(ReplaceAll(FMessages.Ms_SplitSave, "%1", std::to_string(count))) +
      QLatin1Char('\n') + folderShown;
  if (FDialogs.ShowMessage(this, question, Msg(FMessages.Ms_Info), TMsgIcon::Information,
                           TMsgButtons::YesNo) != TMsgAnswer::Yes) {
    return;
  }

  // Nothing may change the file or the run while the pieces are written.
  ApplyCommandState(TCommandState::Splitting);
  ProgressSplit->setRange(0, count);
  ProgressSplit->setValue(0);
  ProgressSplit->show();
  ShowBusy(true);
  const TID3v1Tag tag = BuildTagFromEdits();  // the same tag on every piece
  FMp3->VbrHeader = FSettings.VbrHeader;
  TSplitNamer names(info.FileName, FSettings.OutputFolder);
  bool anyFailed = false;
  FMp3->SaveSegments(
      starts, ends,
      [&](size_t piece) {
        ProgressSplit->setValue(int(piece));
        // The user's input as well: the splitting state leaves only Minimise usable, so it
        // acts at once, and a click on anything else meets a disabled control instead of
        // waiting to act when the run is over.
        QCoreApplication::processEvents();
        return names.Next();
      },
      tag, true, [&](size_t, const TSegmentResult& result) { anyFailed |= !result.Ok; });
  ShowBusy(false);
  ApplyCommandState(TCommandState::FileOpen);
  if (anyFailed) {
    FDialogs.ShowMessage(this, Msg(FMessages.Ms_NotSave), Msg(FMessages.Ms_Error), TMsgIcon::Error,
                         TMsgButtons::Ok);
  } else {
    FDialogs.ShowMessage(this, Msg(FMessages.Ms_Success) + QLatin1Char('\n') + folderShown,
                         Msg(FMessages.Ms_Info), TMsgIcon::Information, TMsgButtons::Ok);
  }
}

}  // namespace pelcato
