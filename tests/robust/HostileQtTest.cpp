// A language file with extreme values translating a window of Qt widgets: the geometry stays
// within what Qt accepts, texts come out literally, long lists and odd filters do no harm.
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "SettingsTestUtil.h"
#include "settings/ProfileFile.h"
#include "settings/qt/QtSettings.h"

namespace pelcato::test {
namespace {

TEST(HostileQt, ExtremeValuesOnRealWidgets) {
  QWidget form;
  form.setObjectName("FrmMP3Editor");
  auto* label = new QLabel("Encoding:", &form);
  label->setObjectName("Label1");
  auto* button = new QPushButton("Open", &form);
  button->setObjectName("Button1");
  auto* edit = new QLineEdit(&form);
  edit->setObjectName("Edit1");
  auto* combo = new QComboBox(&form);
  combo->setObjectName("ComboBox1");
  auto* dialog = new QFileDialog(&form);
  dialog->setObjectName("OpenDialog1");

  std::string items;
  for (int i = 0; i < 600; ++i) items += "a||";
  const std::string text = "%1 %s %n <b>bold</b> &&x " + std::string(3000, 'w');
  TScratch scratch;
  WriteText(scratch.Path("x.isl"),
            "[FrmMP3Editor]\nLabel1.Left=-2147483648\nLabel1.Top=2147483647\n"
            "Label1.Width=2147483647\nLabel1.Height=-1\nButton1.Width=$7FFFFFFF\n"
            "Button1.Height=0x80000000\nButton1.Left=2147483647\nButton1.Top=-2147483647\n"
            "Button1.Color=$FFFFFFFF\nEdit1.Color=-2147483648\n"
            "Edit1.Text=" +
                text + "\nComboBox1.Items=" + items + "\nLabel1.Caption=" + text +
                "\nOpenDialog1.Filter=|||*.mp3|x||\nOpenDialog1.Title=%s\nWidth=-5\n"
                "Caption=%1\nButton1.Caption=after\n");
  EXPECT_TRUE(TranslateWidget(&form, scratch.Path("x.isl")));
  // Places within -16777215..16777215 and sizes within 0..16777215, so that Qt's rectangle
  // arithmetic (left + width) cannot overflow. Qt itself keeps sizes in range, not places.
  EXPECT_EQ(label->geometry(), QRect(-QWIDGETSIZE_MAX, QWIDGETSIZE_MAX, QWIDGETSIZE_MAX, 0));
  EXPECT_EQ(label->geometry().right(), -1);
  EXPECT_EQ(button->width(), QWIDGETSIZE_MAX);
  EXPECT_EQ(button->height(), 0);  // 0x80000000 reads as the lowest integer: no height
  EXPECT_EQ(button->pos(), QPoint(QWIDGETSIZE_MAX, -QWIDGETSIZE_MAX));
  EXPECT_EQ(edit->text().toStdString(), text.substr(0, TProfileFile::MaxValueChars));
  EXPECT_EQ(label->text().toStdString(), text.substr(0, TProfileFile::MaxValueChars));
  EXPECT_EQ(combo->count(), 601);  // the last piece is empty
  EXPECT_EQ(dialog->windowTitle(), "%s");
  EXPECT_EQ(form.windowTitle(), "%1");
  EXPECT_GE(form.width(), 0);
  EXPECT_EQ(button->text(), "after");
  // Descriptions and patterns in pairs; a lone last piece is dropped.
  for (const QString filter : {"", "|", "||", "|||", "a|", "|b", "a|b|c", "||||||||"})
    EXPECT_EQ(NameFiltersFromFilter(filter).size(), (filter.count('|') + 1) / 2) << filter.size();
}

}  // namespace
}  // namespace pelcato::test
