// Message boxes carry exactly their caption, also in the title the desktop shows: on X11 the
// platform appends " — <display name>" to every window title when the application sets a
// display name, so only the main window may carry the program's name. ctest runs this
// headless and, where xvfb-run is found, on a real X server, where the title is read back
// from the window's _NET_WM_NAME.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <QWindow>

#include "UiTestSupport.h"
#include "app/Startup.h"
#include "ui/Dialogs.h"

#ifdef PELCATO_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#endif

namespace pelcato {
namespace {

// The title the X server holds for the widget's window; empty on other platforms.
QString DesktopTitle(QWidget* widget) {
#ifdef PELCATO_HAVE_XCB
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return {};
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* connection = x11->connection();
  const auto atom = [connection](const char* name) {
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_NONE);
  };
  std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
      xcb_get_property_reply(connection,
                             xcb_get_property(connection, 0, xcb_window_t(widget->winId()),
                                              atom("_NET_WM_NAME"), atom("UTF8_STRING"), 0, 1024),
                             nullptr),
      &std::free);
  if (!reply) return {};
  return QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply.get())),
                           xcb_get_property_value_length(reply.get()));
#else
  (void)widget;
  return {};
#endif
}

struct TSeenBox {
  QString Text;
  QString Title;
  QString WindowTitle;
  QString DesktopTitle;
};

// Shows a box through the desktop's own dialogs and reads its titles while it is up. A box
// that does not come up within 30 s is a failure, and any box then shown is closed.
TSeenBox ShowAndRead(QWidget* parent, const QString& caption, TMsgIcon icon,
                     const QString& text = QStringLiteral("Some text")) {
  TSeenBox seen;
  QTimer poll;
  poll.setInterval(20);
  QElapsedTimer waited;
  waited.start();
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) {
      if (waited.elapsed() < 30000) return;
      ADD_FAILURE() << "no message box came up for " << caption.toStdString();
      poll.stop();
      for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* other = qobject_cast<QMessageBox*>(window)) other->done(QMessageBox::Ok);
      }
      return;
    }
    poll.stop();
    seen.Text = box->text();
    seen.Title = box->windowTitle();
    seen.WindowTitle = box->windowHandle()->title();
    seen.DesktopTitle = DesktopTitle(box);
    box->done(QMessageBox::Ok);
  });
  poll.start();
  TQtDialogs dialogs;
  dialogs.ShowMessage(parent, text, caption, icon, TMsgButtons::Ok);
  return seen;
}

TEST(MessageTitle, BoxesCarryExactlyTheirCaptionBesideTheMainWindow) {
  test::TProgramFolder folder(true);
  qputenv("XDG_RUNTIME_DIR", folder.Path().toLocal8Bit());  // a lock of this test's own
  folder.WriteSettings("[LANGUAGE]\nDefault=4\n");
  TStartOptions options;
  options.Editor.ProgramFolder = folder.Path();
  std::vector<std::pair<QString, TSeenBox>> seen;
  QString mainTitle;
  QString saved;
  options.WindowShown = [&](TFrmMP3Editor& window) {
    window.TimerUpgrade->stop();
    QTimer::singleShot(0, &window, [&] {
      mainTitle = window.windowHandle()->title();
      for (const char* caption : {"Information", "Error", "Erreur", "Pelcato"}) {
        seen.emplace_back(QLatin1String(caption),
                          ShowAndRead(&window, QLatin1String(caption), TMsgIcon::Information));
      }
      // A line feed and a carriage return together break the line once, not twice.
      saved = ShowAndRead(&window, QStringLiteral("Information"), TMsgIcon::Information,
                          QStringLiteral("MP3 successfully saved to\n\r/tmp/a.mp3"))
                  .Text;
      window.close();
    });
  };
  // A run that does not end by itself ends here, as a failure.
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, [] {
    ADD_FAILURE() << "the window did not close";
    QCoreApplication::exit(1);
  });
  deadline.start(120000);
  test::TFakeDialogs dialogs;
  TSingleInstance guard;
  ASSERT_EQ(RunPelcato(guard, dialogs, options), 0);
  EXPECT_EQ(mainTitle, "Pelcato");
  EXPECT_EQ(saved, "MP3 successfully saved to\n/tmp/a.mp3");
  ASSERT_EQ(seen.size(), 4u);
  const bool onX11 = QGuiApplication::platformName() == QLatin1String("xcb");
  for (const auto& [caption, box] : seen) {
    SCOPED_TRACE(caption.toStdString());
    EXPECT_EQ(box.Title.toStdString(), caption.toStdString());
    EXPECT_EQ(box.WindowTitle.toStdString(), caption.toStdString());
    if (onX11) {
      EXPECT_EQ(box.DesktopTitle.toStdString(), caption.toStdString());
    }
  }
  // Headless, the platform shows no title; what it would append is the display name.
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
}

}  // namespace
}  // namespace pelcato
