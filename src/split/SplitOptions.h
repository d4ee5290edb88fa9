// The checks a split's folder and values pass before anything is written, shared by the split
// options dialog and the command line, so both refuse the same things with the same texts.
#pragma once

#include <cstdint>
#include <string>

#include "settings/MessageTable.h"
#include "split/SplitPlan.h"

namespace pelcato {

// True when path names an existing folder.
bool FolderExists(const std::string& path);

// True when the user may create files in folder (checked with the effective ids, as the
// program runs).
bool CanWriteFolder(const std::string& folder);

// The error text for split values, or an empty text when they are acceptable. Into parts
// (TSplitType::IntoParts): SplitInto from 2 to 200, else Ms_OptionErr1. By duration: a piece of at
// least one second and shorter than request.Duration, else Ms_OptionErr2 with every "%1"
// replaced by the file's length as a time code. The values of the other mode are not looked
// at.
std::string ValidateSplitValues(const TSplitRequest& request, const TMessageTable& messages);

// The folder checks before the values: an existing folder (else Ms_PathNotExist), then a
// writable one (else Ms_NotWrite); empty when both pass. The callers name the folder with it.
std::string ValidateSplitFolder(const std::string& folder, const TMessageTable& messages);

}  // namespace pelcato
