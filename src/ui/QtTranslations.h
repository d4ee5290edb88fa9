// Qt's own texts (the file dialogs, the message boxes' buttons, the edits' context menus) in
// the language of the language file in use, from Qt's translations of the system (Debian:
// qt6-translations-l10n). Without them, or for English, they stay English.
#pragma once

namespace pelcato {

// Replaces the translation of Qt's texts by the one for the language code (Spanish 1, German
// 2, Italian 3, French 4; every other code is English). Needs the application object.
void UseQtTranslations(int language);

}  // namespace pelcato
