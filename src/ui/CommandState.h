// Which controls of the main window are usable in which command state. Commands switch the
// window between the states through this one table and change nothing else about enabling.
#pragma once

#include <array>

namespace pelcato {

// Splitting: a split is writing its pieces; between pieces the window repaints, and nothing may
// change the file being split or the run.
enum class TCommandState { NoFile, FileOpen, Previewing, Splitting };

enum class TControlRule {
  Enabled,         // enabled as the three flags say
  TagEdit,         // as Enabled, and only while the "Include" check box is checked
  VisibleFileIcon  // shown (not enabled) as the three flags say; the open command keeps it
};

struct TControlState {
  const char* Name;
  bool NoFile;
  bool FileOpen;
  bool Previewing;
  bool Splitting;
  TControlRule Rule = TControlRule::Enabled;

  bool In(TCommandState state) const {
    switch (state) {
      case TCommandState::NoFile:
        return NoFile;
      case TCommandState::FileOpen:
        return FileOpen;
      case TCommandState::Previewing:
        return Previewing;
      case TCommandState::Splitting:
        return Splitting;
    }
    return false;
  }
};

inline constexpr std::array<TControlState, 30> CommandStateTable{{
    {"BtnOpenMp3", true, true, true, false},
    {"BtnAbout", true, true, true, false},
    {"Label28", true, true, true, false},
    {"RzBmpButton1", true, true, true, false},
    {"RzBmpButton2", true, true, true, true},
    {"BtnSaveMp3", false, true, false, false},
    {"BtnSplit", false, true, false, false},
    {"BtnOutput", false, true, true, false},
    {"BtnPlayStart", false, true, false, false},
    {"BtnPlay2", false, true, false, false},
    {"BtnStop", false, false, true, false},
    {"TrackBarPos", false, true, false, false},
    {"BtnSetStart", false, true, false, false},
    {"BtnSetEnd", false, true, false, false},
    {"ImageStart", false, true, true, false},
    {"ImageEnd", false, true, true, false},
    {"LabelStart", false, true, true, false},
    {"LabelEnd", false, true, true, false},
    {"RzMaskEdit1", false, true, true, false},
    {"RzMaskEdit2", false, true, true, false},
    {"RzCheckBox1", false, true, true, false},
    {"RzEdit1", false, true, true, false, TControlRule::TagEdit},
    {"RzEdit2", false, true, true, false, TControlRule::TagEdit},
    {"RzEdit3", false, true, true, false, TControlRule::TagEdit},
    {"RzEdit5", false, true, true, false, TControlRule::TagEdit},
    {"RzEdit6", false, true, true, false, TControlRule::TagEdit},
    {"RzEdit7", false, true, true, false, TControlRule::TagEdit},
    {"RzComboBox1", false, true, true, false, TControlRule::TagEdit},
    {"ImageFileState1", false, true, true, true, TControlRule::VisibleFileIcon},
    {"ImageFileState2", true, false, false, false, TControlRule::VisibleFileIcon},
}};

}  // namespace pelcato
