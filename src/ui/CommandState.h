// Which controls of the main window are usable in which command state. Commands switch the
// window between the states through this one table and change nothing else about enabling.
#pragma once

#include <array>

namespace pelcato {

enum class TCommandState { NoFile, FileOpen, Previewing };

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
  TControlRule Rule = TControlRule::Enabled;

  bool In(TCommandState state) const {
    return state == TCommandState::NoFile
               ? NoFile
               : (state == TCommandState::FileOpen ? FileOpen : Previewing);
  }
};

inline constexpr std::array<TControlState, 29> CommandStateTable{{
    {"BtnOpenMp3", true, true, true},
    {"BtnAbout", true, true, true},
    {"Label28", true, true, true},
    {"RzBmpButton1", true, true, true},
    {"RzBmpButton2", true, true, true},
    {"BtnSaveMp3", false, true, false},
    {"BtnSplit", false, true, false},
    {"BtnPlayStart", false, true, false},
    {"BtnPlay2", false, true, false},
    {"BtnStop", false, false, true},
    {"TrackBarPos", false, true, false},
    {"BtnSetStart", false, true, false},
    {"BtnSetEnd", false, true, false},
    {"ImageStart", false, true, true},
    {"ImageEnd", false, true, true},
    {"LabelStart", false, true, true},
    {"LabelEnd", false, true, true},
    {"RzMaskEdit1", false, true, true},
    {"RzMaskEdit2", false, true, true},
    {"RzCheckBox1", false, true, true},
    {"RzEdit1", false, true, true, TControlRule::TagEdit},
    {"RzEdit2", false, true, true, TControlRule::TagEdit},
    {"RzEdit3", false, true, true, TControlRule::TagEdit},
    {"RzEdit5", false, true, true, TControlRule::TagEdit},
    {"RzEdit6", false, true, true, TControlRule::TagEdit},
    {"RzEdit7", false, true, true, TControlRule::TagEdit},
    {"RzComboBox1", false, true, true, TControlRule::TagEdit},
    {"ImageFileState1", false, true, true, TControlRule::VisibleFileIcon},
    {"ImageFileState2", true, false, false, TControlRule::VisibleFileIcon},
}};

}  // namespace pelcato
