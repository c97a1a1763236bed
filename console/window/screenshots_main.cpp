// verdanpost-screenshots FOLDER: draws the console window offscreen with
// sample values and saves a picture of each page and of each editor tab in
// FOLDER (page-N-NAME.png, editor-N-NAME.png). It reads and writes no
// settings of the user who runs it. scripts/update-screenshot.sh makes the
// README's picture with it.
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QSettings>
#include <QTemporaryDir>

#include "console/window/console_window.h"
#include "console/window/dialogs.h"
#include "console/window/multi_line_text_box.h"

namespace {

// The pictures show no box; a settings file that cannot be read would say so.
class NoDialogs : public verdanpost::Dialogs {
 public:
  void ShowMessage(const QString&) override {}
  bool Ask(const QString&) override { return false; }
  std::optional<QString> GetOpenFileName(const QString&, const QString&) override {
    return std::nullopt;
  }
};

bool Save(QWidget& window, const QString& path) {
  QCoreApplication::processEvents();
  if (window.grab().save(path)) return true;
  std::fprintf(stderr, "verdanpost-screenshots: cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: verdanpost-screenshots FOLDER\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QDir shots(QString::fromLocal8Bit(argv[1]));
  QTemporaryDir store_dir;
  if (!QDir().mkpath(shots.path()) || !store_dir.isValid()) {
    std::fprintf(stderr, "verdanpost-screenshots: cannot make %s or a temporary folder\n", argv[1]);
    return 1;
  }
  QSettings settings(store_dir.filePath("settings.ini"), QSettings::IniFormat);
  NoDialogs dialogs;
  verdanpost::ConsoleWindow w(settings, dialogs);
  w.show();
  w.add_page().name()->setText("Ann Example");
  w.add_page().email()->setText("ann@example.org");
  w.add_page().mailing_address()->setText("1 Main Street\r\nSpringfield");
  w.messages_page().file_name()->setText("/home/operator/news.eml");
  w.messages_page().subject()->setText("Verdanpost news");
  w.messages_page().message_text()->setText("Hello everyone,\r\nthis is the news.");
  w.SetSetupValues({"Verdanpost", "list@example.org", "List Owner", "owner@example.org",
                    "mail.example.org", "50", verdanpost::kChecked, verdanpost::kChecked});
  bool saved = true;
  const char* pages[] = {"add", "remove", "messages", "setup"};
  for (int tab = 1; tab <= 4; ++tab) {
    w.SelectMainTab(tab);
    saved &= Save(w, shots.filePath(QStringLiteral("page-%1-%2.png").arg(tab).arg(pages[tab - 1])));
  }
  w.SelectMainTab(3);
  const char* tabs[] = {"send", "addition", "removal"};
  for (int tab = 1; tab <= 3; ++tab) {
    w.SelectMessageTab(tab);
    saved &=
        Save(w, shots.filePath(QStringLiteral("editor-%1-%2.png").arg(tab).arg(tabs[tab - 1])));
  }
  return saved ? 0 : 1;
}
