// The splits of pelcato-cli that a plan of their own decides: by cue sheet, at pauses, by
// size. Each writes its pieces through the report and returns the exit status.
#pragma once

#include <cstdint>
#include <string>

#include "cli/Id3v2Pieces.h"
#include "cli/PieceReport.h"
#include "cli/VolumeOptions.h"
#include "edit/TagText.h"
#include "mp3/KorvaMp3.h"
#include "split/SilenceSplit.h"

namespace pelcato {

// The checks of the split options dialog on the output folder, in its order; a missing folder
// is made first, with its parents, as mp3splt does.
void CheckOutputFolder(const std::string& folder);

// Each measures and sets the pieces' volume once their ranges are known.
int SplitByCue(TKorvaMP3& mp3, const std::string& sheetPath, const std::string& folder,
               const TTagOverrides& tagOptions, TCliId3v2& id3v2, TCliVolume& volume,
               TPieceReport& report);
int SplitAtSilence(TKorvaMP3& mp3, const TSilenceOptions& options, bool dryRun,
                   const std::string& folder, const TTagOverrides& tagOptions, TCliId3v2& id3v2,
                   TCliVolume& volume, TPieceReport& report);
// A piece's SIZE holds its tags too. With exact, pieces exact to the sample.
int SplitBySize(TKorvaMP3& mp3, const std::string& sizeText, int64_t limit, bool exact,
                const std::string& folder, const TTagOverrides& tagOptions, TCliId3v2& id3v2,
                TCliVolume& volume, TPieceReport& report);

}  // namespace pelcato
