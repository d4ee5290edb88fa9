// The words of a command line: positional arguments and --options, and the values the options
// take (times, counts, durations, numbers, tag fields), checked before any file is touched.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "edit/TagText.h"
#include "split/SplitPlan.h"

namespace pelcato {

// The words after the command: positional arguments and --options with their values.
struct TArgs {
  std::vector<std::string> Positional;
  std::map<std::string, std::string> Values;  // options that take a value
  std::vector<std::string> Flags;             // options without one
  bool Has(const std::string& flag) const {
    for (const std::string& f : Flags) {
      if (f == flag) return true;
    }
    return false;
  }
  const std::string* Value(const std::string& name) const {
    const auto it = Values.find(name);
    return it == Values.end() ? nullptr : &it->second;
  }
};

// The tag options of cut and split that take a value (--id3v2 among them).
extern const std::vector<std::string> kTagValueOptions;

// --vbr-header and --no-vbr-header, which cut and every split take.
extern const std::vector<std::string> kVbrHeaderFlags;
// Whether pieces whose frames do not share one bit rate get a VBR header frame: yes unless
// --no-vbr-header (--vbr-header says so explicitly; both are wrong usage).
bool WantsVbrHeader(const TArgs& args);

// Splits words into a TArgs; an option that is neither in valueOptions nor in flagOptions, a
// value missing or given twice, is wrong usage (EUsage).
TArgs ParseArgs(const std::vector<std::string>& words, const std::vector<std::string>& valueOptions,
                const std::vector<std::string>& flagOptions);

// A time given as the option or argument name (START, END, --every): whatever ParseTypedTime
// reads; anything else is wrong usage, with the forms that are accepted.
int64_t ParseTimeArg(const std::string& name, const std::string& text);
// --parts N, clamped far beyond what the split checks allow.
int ParsePartsArg(const std::string& text);
// --every TIME: the piece length of a split by duration.
void ParseEveryArg(const std::string& text, TSplitRequest& request);
// A number from min to max (--threshold, --min-pause).
double ParseNumberArg(const std::string& name, const std::string& text, double min, double max);
// What the tag options ask for.
TTagOverrides ParseTagOptions(const TArgs& args);

// The shortest text that reads back as d.
std::string NumberText(double d);

}  // namespace pelcato
