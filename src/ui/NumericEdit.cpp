#include "ui/NumericEdit.h"

#include <QKeyEvent>
#include <QRegularExpressionValidator>
#include <algorithm>

namespace pelcato {

TNumericEdit::TNumericEdit(QWidget* parent) : QLineEdit(parent) {
  // Digits with the locale's grouping, a minus sign or parentheses for a negative number.
  const QString group = QRegularExpression::escape(locale().groupSeparator());
  setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("^\\(?-?[0-9%1]{0,15}\\)?$").arg(group)), this));
  setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  SetValue(0);
}

std::optional<int64_t> TNumericEdit::Parse(const QString& text, const QLocale& locale) {
  QString digits = text.trimmed();
  bool negative = false;
  if (digits.startsWith(QLatin1Char('(')) && digits.endsWith(QLatin1Char(')'))) {
    negative = true;
    digits = digits.mid(1, digits.size() - 2);
  }
  digits.remove(locale.groupSeparator());
  if (digits.isEmpty()) return 0;
  bool ok = false;
  const qlonglong n = digits.toLongLong(&ok);
  if (!ok) return std::nullopt;
  return negative ? -n : n;
}

int64_t TNumericEdit::Value() const {
  return Parse(text(), locale()).value_or(0);
}

QString TNumericEdit::Format(int64_t value) const {
  QLocale grouped = locale();
  grouped.setNumberOptions(QLocale::DefaultNumberOptions);
  const QString digits = grouped.toString(qlonglong(value < 0 ? -value : value));
  return value < 0 ? QLatin1Char('(') + digits + QLatin1Char(')') : digits;
}

void TNumericEdit::SetValue(int64_t value) {
  setText(Format(value));
}

void TNumericEdit::ApplyRange() {
  int64_t value = Value();
  if (FRange) value = std::clamp(value, FRange->first, FRange->second);
  SetValue(value);
}

void TNumericEdit::focusOutEvent(QFocusEvent* event) {
  ApplyRange();
  QLineEdit::focusOutEvent(event);
}

void TNumericEdit::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) ApplyRange();
  QLineEdit::keyPressEvent(event);
}

}  // namespace pelcato
