#include "settings/MessageTable.h"

#include "settings/ProfileFile.h"

namespace pelcato {

const std::array<TMessageKey, 35> MessageKeys = {{
    {"Ms_Opening", &TMessageTable::Ms_Opening, "Opening..."},
    {"Ms_Error", &TMessageTable::Ms_Error, "Error"},
    {"Ms_Waiting", &TMessageTable::Ms_Waiting, "Waiting..."},
    {"Ms_AppError", &TMessageTable::Ms_AppError, "Application init error!"},
    {"Ms_Pos", &TMessageTable::Ms_Pos, "Position"},
    {"Ms_Unknow", &TMessageTable::Ms_Unknow, "Unknown"},
    {"Ms_Mono", &TMessageTable::Ms_Mono, "Mono"},
    {"Ms_Stereo", &TMessageTable::Ms_Stereo, "Stereo"},
    {"Ms_Info", &TMessageTable::Ms_Info, "Information"},
    {"Ms_NotMP3", &TMessageTable::Ms_NotMP3, "is not a MP3 file"},
    {"Ms_NotSaveName", &TMessageTable::Ms_NotSaveName,
     "Please use other file name.#10Cannot save as#10"},
    {"Ms_NotSave", &TMessageTable::Ms_NotSave, "Cannot save Mp3 file"},
    {"Ms_ClipErr", &TMessageTable::Ms_ClipErr, "Starting or ending point setting error"},
    {"Ms_PathNotExist", &TMessageTable::Ms_PathNotExist, "The output folder does not exist"},
    {"Ms_OptionErr1", &TMessageTable::Ms_OptionErr1, "Please enter a value between 2 and 200"},
    {"Ms_OptionErr2", &TMessageTable::Ms_OptionErr2,
     "Please set time higher than 1 second but less than %1"},
    {"Ms_Success", &TMessageTable::Ms_Success, "MP3 successfully saved to"},
    {"Ms_SplitSave", &TMessageTable::Ms_SplitSave, "Split into %1 files and save to"},
    {"Ms_AsCopy", &TMessageTable::Ms_AsCopy,
     "The file contains unrecognized information and will be opened as a copy."},
    {"Ms_NotWrite", &TMessageTable::Ms_NotWrite,
     "No permission to write, please select a new output folder."},
    {"Ms_NothingToSplit", &TMessageTable::Ms_NothingToSplit,
     "The file has no length: there is nothing to split."},
    {"Ms_NoBrowser", &TMessageTable::Ms_NoBrowser,
     "No web browser could be started. The user guide is at this address:"},
    {"Ms_Busy", &TMessageTable::Ms_Busy,
     "The file was not opened because another command is still running:"},
    {"Ms_NotExact", &TMessageTable::Ms_NotExact,
     "This file cannot be cut exact to the sample: whole frames were written."},
    {"Ms_OutExact", &TMessageTable::Ms_OutExact,
     "Exact to the sample: in gapless players each file plays exactly its range."},
    {"Ms_OutVbrHeader", &TMessageTable::Ms_OutVbrHeader,
     "VBR header written: players show the true length."},
    {"Ms_OutId3v2Kept", &TMessageTable::Ms_OutId3v2Kept, "The source's ID3v2 tag was kept."},
    {"Ms_OutId3v2New", &TMessageTable::Ms_OutId3v2New, "A new ID3v2 tag was written."},
    {"Ms_VolumeGain", &TMessageTable::Ms_VolumeGain, "Gain: %1 dB"},
    {"Ms_VolumeNormalized", &TMessageTable::Ms_VolumeNormalized,
     "Normalised to %1 LUFS, gain %2 dB"},
    {"Ms_VolumeFades", &TMessageTable::Ms_VolumeFades, "Fade in: %1 ms, fade out: %2 ms"},
    {"Ms_VolumeNotReached", &TMessageTable::Ms_VolumeNotReached,
     "The loudness asked for was not reached everywhere: the gain stops where samples would pass "
     "full scale, and a piece too quiet or too short to measure keeps its level."},
    {"Ms_VolumeNotLayer3", &TMessageTable::Ms_VolumeNotLayer3,
     "The volume of Layer I and II files cannot be changed without re-encoding: it was left as it "
     "is."},
    {"Ms_VolumeMeasuring", &TMessageTable::Ms_VolumeMeasuring, "Measuring the loudness..."},
    {"Ms_VolumeClamped", &TMessageTable::Ms_VolumeClamped,
     "Some granules were held at the limit of their gain: there the volume changed less than "
     "asked."},
}};

TMessageTable::TMessageTable() {
  for (const TMessageKey& key : MessageKeys) this->*key.Field = key.BuiltIn;
  Ms_NotSaveName = ReplaceAll(Ms_NotSaveName, "#10", "\n");
}

void LoadMessages(const std::string& languageFile, TMessageTable& messages) {
  // A file that cannot be used reads as an empty one.
  const TProfileFile file(languageFile, true);
  TMessageTable table;
  for (const TMessageKey& key : MessageKeys)
    table.*key.Field = file.ReadString("Messages", key.Name, key.BuiltIn);
  table.Ms_NotSaveName = ReplaceAll(table.Ms_NotSaveName, "#10", "\n");
  messages = std::move(table);
}

std::vector<std::string> SplitAtFirst(std::string_view text, std::string_view separator) {
  const size_t at = separator.empty() ? std::string_view::npos : text.find(separator);
  if (at == std::string_view::npos) return {std::string(text)};
  return {std::string(text.substr(at + separator.size())), std::string(text.substr(0, at))};
}

}  // namespace pelcato
