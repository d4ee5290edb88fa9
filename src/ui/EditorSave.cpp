// "Save as" and "Split" of the main window: the marked range written to a file of the user's
// choice, and the whole file cut into pieces in the folder of the split options, each with
// the tag built from the tag page, and the ID3v2 tag [OUTPUT] Id3v2 asks for in front. The
// success message says which of the output options shaped the files, as the files show it,
// and what the volume did to them.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <cstring>

#include "edit/TagText.h"
#include "io/Paths.h"
#include "io/SourceFile.h"
#include "mp3/Id3Tags.h"
#include "mp3/MpegFrameHeader.h"
#include "mp3/XingFrame.h"
#include "split/SplitPlan.h"
#include "tags/PieceTagFront.h"
#include "ui/Dialogs.h"
#include "ui/UnitMP3Editor.h"
#include "ui/UnitOutputOptions.h"
#include "ui/UnitSplitOption.h"
#include "volume/PieceVolume.h"

namespace pelcato {
namespace {

// The ID3v2 tag in front of the pieces of one save by [OUTPUT] Id3v2 (0 none, 1 the source's,
// 2 a new one): the source's tag read once, the tag page's fields (all of them, or for a kept
// tag the edited ones), and the warnings for the result box.
class TWindowId3v2 {
 public:
  TWindowId3v2(const TKorvaMP3& mp3, int32_t setting,
               const std::function<TPieceTagFields(bool all)>& fieldsFromEdits)
      : FMode(setting == 1   ? TId3v2Mode::Keep
              : setting == 2 ? TId3v2Mode::New
                             : TId3v2Mode::None),
        FTag(SourceTag(mp3, FMode)) {
    if (FMode == TId3v2Mode::None) return;
    // A new tag, and a kept one for a source without any, take every field of the page.
    const TPieceTagFields fields =
        fieldsFromEdits(FMode == TId3v2Mode::New || FTag.SourceVersion() == 0);
    FPieces = std::make_unique<TPieceTags>(
        FTag, FMode, [fields](size_t) { return fields; },
        [this](const std::string& warning) {
          FWarnings += QLatin1Char('\n') + QString::fromStdString(warning);
        });
  }
  TKorvaMP3::TFrontFor Front(size_t count) {
    return FPieces ? FPieces->Front(count) : TKorvaMP3::TFrontFor();
  }
  // The pieces start with the source's tag rather than a new one.
  bool KeepsSourceTag() const { return FMode == TId3v2Mode::Keep && FTag.SourceVersion() != 0; }
  // Each on a line of its own, a line break first; empty without any.
  const QString& Warnings() const { return FWarnings; }

 private:
  static TId3v2PieceTag SourceTag(const TKorvaMP3& mp3, TId3v2Mode mode) {
    try {
      if (mode != TId3v2Mode::None) return TId3v2PieceTag(mp3.ReadID3v2Tag());
    } catch (const std::exception&) {
      // The save meets the same read error and says so.
    }
    return TId3v2PieceTag({});
  }

  TId3v2Mode FMode;
  TId3v2PieceTag FTag;
  std::unique_ptr<TPieceTags> FPieces;
  QString FWarnings;
};

// What the written files start with, read back from them: an ID3v2 tag, and a "Xing" frame
// first among the frames (the VBR header a save writes; the source's own is never copied).
class TWrittenFront {
 public:
  void Look(const std::string& path) {
    try {
      TSourceFile file(path);
      uint8_t b[10] = {};
      int64_t pos = 0;
      if (file.ReadAt(0, b, 10) == 10 && b[0] == 'I' && b[1] == 'D' && b[2] == '3') {
        FId3v2 = true;
        pos = 10 + int64_t(DecodeSyncsafe(b + 6)) + ((b[5] & 0x10) ? 10 : 0);
      }
      // Taggers may pad the tag with zero bytes behind it.
      uint8_t head[4096];
      const size_t got = file.ReadAt(pos, head, sizeof head);
      size_t at = 0;
      while (at < got && head[at] == 0) ++at;
      pos += int64_t(at);
      if (file.ReadAt(pos, b, 4) != 4) return;
      const auto header = DecodeFrameHeader(b);
      if (!header || header->Layer != 3) return;
      uint8_t tag[4] = {};
      if (file.ReadAt(pos + TXingFrame::TagOffset(b), tag, 4) == 4 &&
          std::memcmp(tag, "Xing", 4) == 0) {
        FVbrHeader = true;
      }
    } catch (const std::exception&) {
      // A file that cannot be read back shows nothing; the save itself succeeded.
    }
  }
  // One line for each option that shaped the files, each after a line break.
  QString Lines(const TMessageTable& messages, bool exact, const TWindowId3v2& id3v2) const {
    QString lines;
    const auto add = [&lines](const std::string& text) {
      lines += QLatin1Char('\n') + QString::fromStdString(text);
    };
    // An exact piece has a header frame of its own: the line on exactness says it all.
    if (exact) {
      add(messages.Ms_OutExact);
    } else if (FVbrHeader) {
      add(messages.Ms_OutVbrHeader);
    }
    if (FId3v2) add(id3v2.KeepsSourceTag() ? messages.Ms_OutId3v2Kept : messages.Ms_OutId3v2New);
    return lines;
  }

 private:
  bool FId3v2 = false;
  bool FVbrHeader = false;
};

}  // namespace

TPieceTagFields TFrmMP3Editor::Id3v2FieldsFromEdits(bool all) const {
  TPieceTagFields f;
  const bool volume = FSettings.Normalize || FSettings.GainSteps != 0 || FSettings.FadeInMs > 0 ||
                      FSettings.FadeOutMs > 0;
  if (volume) f.UserTexts = ReplayGainRemoved();
  if (!RzCheckBox1->isChecked()) return f;
  const auto [opened, openedGenre] = TagPageAtOpen();
  const QLineEdit* const edits[] = {RzEdit1, RzEdit2, RzEdit3, RzEdit7, RzEdit6};
  std::optional<std::string>* const fields[] = {&f.Title, &f.Artist, &f.Album, &f.Comment, &f.Year};
  for (size_t i = 0; i < std::size(edits); ++i) {
    if (all || edits[i]->text() != opened[i]) *fields[i] = edits[i]->text().toStdString();
  }
  if (all || RzEdit5->text() != opened[5]) {
    bool ok = false;
    const int track = RzEdit5->text().toInt(&ok);
    f.Track = ok && track > 0 ? track : 0;
  }
  const int genre = RzComboBox1->currentIndex();
  if (all || genre != openedGenre) f.Genre = std::string(GenreName(genre));
  return f;
}

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

bool TFrmMP3Editor::AskExact() {
  FMp3->Exact = FSettings.Exact;
  if (!FSettings.Exact) return false;
  try {
    return FMp3->ExactRefusal().empty();
  } catch (const std::exception&) {
    // A file that cannot be read fails the save, which says so.
    return false;
  }
}

QString TFrmMP3Editor::NotExactLine(bool exact) const {
  return FSettings.Exact && !exact ? QLatin1Char('\n') + Msg(FMessages.Ms_NotExact) : QString();
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
  TWindowId3v2 id3v2(*FMp3, FSettings.Id3v2,
                     [this](bool all) { return Id3v2FieldsFromEdits(all); });
  bool exact = AskExact();
  QString volume;
  if (!PrepareVolume({FStartMs}, {FEndMs}, volume)) {
    ShowBusy(false);
    return;
  }
  int64_t bytes = 0;
  int64_t durationMs = 0;
  int64_t clamped = 0;
  std::string wholeFrames;  // why a walk to an exact piece gave up
  const std::string destination = QFile::encodeName(path).toStdString();
  const bool saved = FMp3->SaveSegment(FStartMs, FEndMs, destination, tag, bytes, durationMs,
                                       id3v2.Front(0), &wholeFrames, false, &clamped);
  exact = exact && wholeFrames.empty();
  ShowBusy(false);
  if (saved) {
    TWrittenFront written;
    written.Look(destination);
    FDialogs.ShowMessage(this,
                         Msg(FMessages.Ms_Success) + QStringLiteral("\n\r") + path +
                             NotExactLine(exact) + written.Lines(FMessages, exact, id3v2) + volume +
                             ClampedNote(clamped > 0) + id3v2.Warnings(),
                         Msg(FMessages.Ms_Info), TMsgIcon::Information, TMsgButtons::Ok);
  } else {
    FDialogs.ShowMessage(this, Msg(FMessages.Ms_NotSave) + id3v2.Warnings(),
                         Msg(FMessages.Ms_Error), TMsgIcon::Error, TMsgButtons::Ok);
  }
}

void TFrmMP3Editor::BtnOutputClick() {
  const TRunningCommand running(*this);
  // The Waveform page draws the range with the volume just chosen.
  if (ShowOutputOptions(FSettings, this)) SyncWaveVolume();
}

void TFrmMP3Editor::BtnSplitClick() {
  const TRunningCommand running(*this);
  const TMp3DataInfo& info = FMp3->Info;
  const bool split = ShowSplitOptions(FDialogs, FSettings, FMessages, info.Duration, this);
  // Its Output button may have changed the volume, kept also when the split is cancelled.
  SyncWaveVolume();
  if (!split) return;
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
  TWindowId3v2 id3v2(*FMp3, FSettings.Id3v2,
                     [this](bool all) { return Id3v2FieldsFromEdits(all); });
  const bool exact = AskExact();
  QString volume;
  if (!PrepareVolume(starts, ends, volume)) {
    ShowBusy(false);
    ApplyCommandState(TCommandState::FileOpen);
    return;
  }
  TSplitNamer names(info.FileName, FSettings.OutputFolder);
  bool anyFailed = false;
  bool clamped = false;
  TWrittenFront written;
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
      tag, true,
      [&](size_t, const TSegmentResult& result) {
        anyFailed |= !result.Ok;
        clamped |= result.Clamped > 0;
        if (result.Ok) written.Look(result.Path);
      },
      id3v2.Front(size_t(count)));
  ShowBusy(false);
  ApplyCommandState(TCommandState::FileOpen);
  if (anyFailed) {
    FDialogs.ShowMessage(this, Msg(FMessages.Ms_NotSave) + id3v2.Warnings(),
                         Msg(FMessages.Ms_Error), TMsgIcon::Error, TMsgButtons::Ok);
  } else {
    FDialogs.ShowMessage(this,
                         Msg(FMessages.Ms_Success) + QLatin1Char('\n') + folderShown +
                             NotExactLine(exact) + written.Lines(FMessages, exact, id3v2) + volume +
                             ClampedNote(clamped) + id3v2.Warnings(),
                         Msg(FMessages.Ms_Info), TMsgIcon::Information, TMsgButtons::Ok);
  }
}

}  // namespace pelcato
