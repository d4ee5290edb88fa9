#include "ui/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <memory>

namespace pelcato {

void UseQtTranslations(int language) {
  static std::unique_ptr<QTranslator> installed;
  if (installed) {
    QCoreApplication::removeTranslator(installed.get());
    installed.reset();
  }
  QLocale::Language qtLanguage;
  switch (language) {
    case 1:
      qtLanguage = QLocale::Spanish;
      break;
    case 2:
      qtLanguage = QLocale::German;
      break;
    case 3:
      qtLanguage = QLocale::Italian;
      break;
    case 4:
      qtLanguage = QLocale::French;
      break;
    default:
      return;  // the texts Qt is written in
  }
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QLocale(qtLanguage), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    return;
  }
  QCoreApplication::installTranslator(translator.get());
  installed = std::move(translator);
}

}  // namespace pelcato
