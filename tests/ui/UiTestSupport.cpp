#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>

namespace pelcato::test {

TProgramFolder::TProgramFolder(bool withLanguages) {
  QDir dir(FDir.path());
  dir.mkdir(QStringLiteral("Tmp"));
  if (withLanguages) {
    dir.mkdir(QStringLiteral("Languages"));
    const QDir source(QStringLiteral(PELCATO_LANGUAGES));
    for (const QString& name : source.entryList({QStringLiteral("*.isl")}, QDir::Files)) {
      QFile::copy(source.filePath(name), dir.filePath(QStringLiteral("Languages/") + name));
    }
  }
}

QString TProgramFolder::Path() const {
  return FDir.path() + QLatin1Char('/');
}

void TProgramFolder::WriteSettings(const QByteArray& content) const {
  QFile file(File(QStringLiteral("Pelcato.ini")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_EQ(file.write(content), content.size());
}

QByteArray TProgramFolder::ReadSettings() const {
  QFile file(File(QStringLiteral("Pelcato.ini")));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TProgramFolder::InstallUpgradeStandIn() const {
  QFile script(File(QStringLiteral("upgrade.exe")));
  ASSERT_TRUE(script.open(QIODevice::WriteOnly));
  script.write(
      "#!/bin/sh\n"
      "out=\"$(dirname \"$0\")/upgrade-args.txt\"\n"
      "printf '%s\\n' \"$@\" > \"$out.part\" && mv \"$out.part\" \"$out\"\n");
  script.close();
  script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QStringList TProgramFolder::UpgradeArguments() const {
  QFile file(File(QStringLiteral("upgrade-args.txt")));
  if (!file.open(QIODevice::ReadOnly)) return {};
  QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
  return lines;
}

bool IniHas(const QByteArray& ini, const char* section, const char* entry) {
  bool inSection = false;
  for (const QByteArray& raw : ini.split('\n')) {
    const QByteArray line = raw.trimmed();
    if (line.startsWith('[')) {
      inSection = line == QByteArray("[") + section + "]";
    } else if (inSection) {
      const qsizetype eq = line.indexOf('=');
      if (eq > 0 && line.left(eq).trimmed() + '=' + line.mid(eq + 1).trimmed() == entry)
        return true;
    }
  }
  return false;
}

}  // namespace pelcato::test
