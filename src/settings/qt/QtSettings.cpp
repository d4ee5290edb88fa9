#include "settings/qt/QtSettings.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextEdit>
#include <algorithm>

namespace pelcato {
namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// The tab widget and index of a page, or nullptr.
QTabWidget* TabOfPage(QWidget* page, int& index) {
  auto* stack = qobject_cast<QStackedWidget*>(page->parentWidget());
  auto* tabs = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
  index = tabs ? tabs->indexOf(page) : -1;
  return index >= 0 ? tabs : nullptr;
}

// Where a colour is the background: the field of an input, else the window role.
void SetBackground(QWidget* widget, int32_t color) {
  if ((uint32_t(color) >> 24) != 0) return;  // a system colour or "none": palette unchanged
  const QColor rgb(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
  QPalette palette = widget->palette();
  const bool field = qobject_cast<QLineEdit*>(widget) || qobject_cast<QAbstractSpinBox*>(widget) ||
                     qobject_cast<QComboBox*>(widget) || qobject_cast<QAbstractScrollArea*>(widget);
  palette.setColor(field ? QPalette::Base : QPalette::Window, rgb);
  widget->setPalette(palette);
  if (!field) widget->setAutoFillBackground(true);
}

class TQtComponent : public TComponentTarget {
 public:
  TQtComponent(QObject* object, bool isForm) : FObject(object), FIsForm(isForm) {}

  bool HasProperty(const std::string& name) const override {
    if (name == "Tag") return true;
    if (Dynamic(name)) return true;
    QObject* o = FObject;
    auto* w = qobject_cast<QWidget*>(o);
    int index;
    if (name == "Caption")
      return (w && (TabOfPage(w, index) || w->isWindow() || FIsForm)) || qobject_cast<QLabel*>(o) ||
             qobject_cast<QAbstractButton*>(o) || qobject_cast<QGroupBox*>(o) ||
             qobject_cast<QAction*>(o);
    if (name == "Hint") return w || qobject_cast<QAction*>(o);
    if (name == "Text")
      return qobject_cast<QLineEdit*>(o) || qobject_cast<QPlainTextEdit*>(o) ||
             qobject_cast<QTextEdit*>(o) || qobject_cast<QComboBox*>(o);
    if (name == "Title" || name == "Filter") return qobject_cast<QFileDialog*>(o);
    if (name == "Left" || name == "Top" || name == "Width" || name == "Height" || name == "Color")
      return w;
    if (name == "Items") return qobject_cast<QComboBox*>(o) || qobject_cast<QListWidget*>(o);
    if (name == "Lines") return qobject_cast<QPlainTextEdit*>(o) || qobject_cast<QTextEdit*>(o);
    return false;
  }

  bool SetString(const std::string& name, const std::string& value) override {
    const QString text = Q(value);
    QObject* o = FObject;
    auto* w = qobject_cast<QWidget*>(o);
    int index;
    if (name == "Caption") {
      if (QTabWidget* tabs = w ? TabOfPage(w, index) : nullptr)
        return tabs->setTabText(index, text), true;
      if (auto* menu = qobject_cast<QMenu*>(o)) return menu->setTitle(text), true;
      if (auto* label = qobject_cast<QLabel*>(o)) return label->setText(text), true;
      if (auto* button = qobject_cast<QAbstractButton*>(o)) return button->setText(text), true;
      if (auto* group = qobject_cast<QGroupBox*>(o)) return group->setTitle(text), true;
      if (auto* action = qobject_cast<QAction*>(o)) return action->setText(text), true;
      if (w && (w->isWindow() || FIsForm)) return w->setWindowTitle(text), true;
    } else if (name == "Hint") {
      if (w) return w->setToolTip(text), true;
      if (auto* action = qobject_cast<QAction*>(o)) return action->setToolTip(text), true;
    } else if (name == "Text") {
      if (auto* edit = qobject_cast<QLineEdit*>(o)) return edit->setText(text), true;
      if (auto* plain = qobject_cast<QPlainTextEdit*>(o)) return plain->setPlainText(text), true;
      if (auto* rich = qobject_cast<QTextEdit*>(o)) return rich->setPlainText(text), true;
      if (auto* combo = qobject_cast<QComboBox*>(o)) return combo->setCurrentText(text), true;
    } else if (auto* dialog = qobject_cast<QFileDialog*>(o)) {
      if (name == "Title") return dialog->setWindowTitle(text), true;
      if (name == "Filter") return dialog->setNameFilters(NameFiltersFromFilter(text)), true;
    }
    return SetDynamic(name, text);
  }

  bool SetInteger(const std::string& name, int32_t value) override {
    if (auto* w = qobject_cast<QWidget*>(FObject)) {
      // Places and sizes stay within what Qt can compute with: its rectangles add them up in
      // int, and a value near the limits of int would overflow there.
      const int place = std::clamp(value, -QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
      const int size = std::clamp(value, 0, QWIDGETSIZE_MAX);
      if (name == "Left") return w->move(place, w->y()), true;
      if (name == "Top") return w->move(w->x(), place), true;
      if (name == "Width") return w->resize(size, w->height()), true;
      if (name == "Height") return w->resize(w->width(), size), true;
      if (name == "Color") SetBackground(w, value);
    }
    FObject->setProperty(name.c_str(), QVariant(int(value)));
    return true;
  }

  bool SetStringList(const std::string& name, const std::vector<std::string>& lines) override {
    QStringList list;
    for (const std::string& line : lines) list << Q(line);
    QObject* o = FObject;
    if (name == "Items") {
      if (auto* combo = qobject_cast<QComboBox*>(o)) {
        const int current = combo->currentIndex();
        combo->clear();
        combo->addItems(list);
        if (current >= 0 && current < combo->count()) combo->setCurrentIndex(current);
        return true;
      }
      if (auto* box = qobject_cast<QListWidget*>(o)) return box->clear(), box->addItems(list), true;
    } else if (name == "Lines") {
      const QString text = list.join(QLatin1Char('\n'));
      if (auto* plain = qobject_cast<QPlainTextEdit*>(o)) return plain->setPlainText(text), true;
      if (auto* rich = qobject_cast<QTextEdit*>(o)) return rich->setPlainText(text), true;
    }
    return SetDynamic(name, list);
  }

 private:
  bool Dynamic(const std::string& name) const {
    return FObject->dynamicPropertyNames().contains(QByteArray::fromStdString(name));
  }
  bool SetDynamic(const std::string& name, const QVariant& value) {
    if (!Dynamic(name)) return true;
    FObject->setProperty(name.c_str(), value);
    return true;
  }

  QObject* FObject;
  bool FIsForm;
};

}  // namespace

std::string TQtFormTarget::FormName() const {
  return FForm ? FForm->objectName().toStdString() : std::string();
}

std::unique_ptr<TComponentTarget> TQtFormTarget::FindComponent(const std::string& name) {
  if (!FForm) return nullptr;
  if (name.empty()) return std::make_unique<TQtComponent>(FForm, true);
  const QString wanted = Q(name);
  for (QObject* child : FForm->findChildren<QObject*>()) {
    if (child->objectName().compare(wanted, Qt::CaseInsensitive) == 0)
      return std::make_unique<TQtComponent>(child, false);
  }
  return nullptr;
}

bool TranslateWidget(QObject* form, const std::string& languageFile) {
  TQtFormTarget target(form);
  return TranslateForm(target, languageFile);
}

TQtLanguageHost::TQtLanguageHost(QWidget* mainWindow) : FWindow(mainWindow), FForm(mainWindow) {}

void TQtLanguageHost::SetApplicationTitle(const std::string& title) {
  // Only the main window carries it: an application display name would be appended to the
  // title of every other window, message boxes included, by the X11 platform.
  if (FWindow) FWindow->setWindowTitle(Q(title));
}

void TQtLanguageHost::CheckLanguageItem(const std::string& itemName) {
  if (!FWindow) return;
  for (QAction* action : FWindow->findChildren<QAction*>()) {
    for (const char* item : LanguageItemNames) {
      if (action->objectName().compare(QLatin1String(item), Qt::CaseInsensitive) != 0) continue;
      action->setCheckable(true);
      action->setChecked(action->objectName().compare(Q(itemName), Qt::CaseInsensitive) == 0);
    }
  }
}

std::string QtProgramFolder() {
  return IncludeTrailingSlash(QCoreApplication::applicationDirPath().toStdString());
}

std::string QtSystemLanguageName() {
  return QLocale::languageToString(QLocale::system().language()).toStdString();
}

TSettingsErrorReport QtSettingsErrorBox(QWidget* parent) {
  return [parent](const std::string& message) {
    const QString title = parent != nullptr ? parent->window()->windowTitle() : QString();
    QMessageBox::critical(parent, title.isEmpty() ? QString::fromLatin1(ApplicationTitle) : title,
                          Q(message));
  };
}

QStringList NameFiltersFromFilter(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString description = parts[i].trimmed();
    const QString patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts).join(' ');
    const QString suffix = QLatin1Char('(') + patterns + QLatin1Char(')');
    filters << (description.endsWith(suffix) ? description : description + ' ' + suffix);
  }
  return filters;
}

}  // namespace pelcato
