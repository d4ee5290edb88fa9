// The two launchers of the main window: the online user guide in the web browser, and the
// upgrade program "upgrade.exe" in the program folder with its six-token parameter line.
// Neither waits for, or hears back from, what it starts.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace pelcato {

// The maker's web addresses (placeholder hosts) and the program's version, kept in one place.
namespace web {
inline const QString GuideAddress =
    QStringLiteral("https://www.pelcato.example/video-tools/pelcato_guide.html");
inline const QString UpgradeServiceEnglish =
    QStringLiteral("http://www.pelcato.example/upgrade/upgrade-en.asp?id=pelcato");
inline const QString HomePageEnglish = QStringLiteral("http://www.pelcato.example/");
inline const QString UpgradeServiceChinese =
    QStringLiteral("http://www.pelcato-cn.example/upgrade/upgrade-cn.asp?id=pelcato");
inline const QString HomePageChinese = QStringLiteral("http://www.pelcato-cn.example/");
}  // namespace web

inline const QString ProgramVersionText = QStringLiteral(PELCATO_VERSION);
inline const QString ProductName = QStringLiteral("Pelcato");
inline const QString ProductNameChinese = QStringLiteral("佩尔卡托 剪辑器");
inline const QString UpgradeProgramName = QStringLiteral("upgrade.exe");

// Every blank replaced by "^", so that the text travels as one token.
QString SpacesToCarets(const QString& text);

// The language name the upgrade program understands: "English" for 0, 7 and any other code.
QString UpgradeLanguageName(int language);

// The six tokens: window handle (unsigned decimal), product text without blanks, version,
// language name, upgrade service address and home page address. Language 5 (Chinese) takes
// the Chinese product name and the Chinese service; every other code the English ones.
QStringList UpgradeParameters(uint64_t windowHandle, int language);

// Starts programFolder + "upgrade.exe" with the parameters; false when it could not be
// started (a missing program is no error worth a message).
bool StartUpgradeProgram(const QString& programFolder, const QStringList& parameters);

// Asks the desktop to open a document path or web address. Surrounding blanks and control
// characters are dropped; an empty address does nothing. False when the desktop found no
// program to open it with (for a web address: no browser could be started).
bool OpenDocument(const QString& address);

}  // namespace pelcato
