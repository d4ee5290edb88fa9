// An edit that holds a whole number, shown with thousands separators and a negative value in
// parentheses (",0;(,0)"). An edit with a range puts a value outside it back to the nearer
// bound when it loses the focus or Enter is pressed in it.
#pragma once

#include <QLineEdit>
#include <cstdint>
#include <optional>

namespace pelcato {

class TNumericEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit TNumericEdit(QWidget* parent = nullptr);

  // The number shown; an empty edit reads as 0.
  int64_t Value() const;
  void SetValue(int64_t value);
  void SetRange(int64_t min, int64_t max) { FRange = {min, max}; }
  // Puts a value outside the range back to the nearer bound, as leaving the edit does; an
  // empty edit then shows its 0.
  void ApplyRange();

  // ",0;(,0)" in the edit's locale: 1234 -> "1,234", -5 -> "(5)".
  QString Format(int64_t value) const;
  // Reads what Format writes, and plain digits with an optional minus sign.
  static std::optional<int64_t> Parse(const QString& text, const QLocale& locale);

 protected:
  void focusOutEvent(QFocusEvent* event) override;
  // Enter ends the edit too, and the dialog's default button acts on it next.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::optional<std::pair<int64_t, int64_t>> FRange;
};

}  // namespace pelcato
