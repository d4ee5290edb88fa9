#include "app/Launchers.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

namespace pelcato {

QString SpacesToCarets(const QString& text) {
  QString result = text;
  result.replace(QLatin1Char(' '), QLatin1Char('^'));
  return result;
}

QString UpgradeLanguageName(int language) {
  switch (language) {
    case 1:
      return QStringLiteral("Spanish");
    case 2:
      return QStringLiteral("German");
    case 3:
      return QStringLiteral("Italian");
    case 4:
      return QStringLiteral("French");
    case 5:
      return QStringLiteral("Chinese");
    case 6:
      return QStringLiteral("Japanese");
    default:
      return QStringLiteral("English");
  }
}

QStringList UpgradeParameters(uint64_t windowHandle, int language) {
  const bool chinese = language == 5;
  return {QString::number(windowHandle),
          SpacesToCarets(chinese ? ProductNameChinese : ProductName),
          ProgramVersionText,
          UpgradeLanguageName(language),
          chinese ? web::UpgradeServiceChinese : web::UpgradeServiceEnglish,
          chinese ? web::HomePageChinese : web::HomePageEnglish};
}

bool StartUpgradeProgram(const QString& programFolder, const QStringList& parameters) {
  return QProcess::startDetached(programFolder + UpgradeProgramName, parameters);
}

bool OpenDocument(const QString& address) {
  qsizetype from = 0;
  qsizetype to = address.size();
  while (from < to && address.at(from).unicode() <= 0x20) ++from;
  while (to > from && address.at(to - 1).unicode() <= 0x20) --to;
  const QString text = address.mid(from, to - from);
  if (text.isEmpty()) return true;
  const QUrl url = text.contains(QStringLiteral("://")) ? QUrl(text) : QUrl::fromLocalFile(text);
  return QDesktopServices::openUrl(url);
}

}  // namespace pelcato
