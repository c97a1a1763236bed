#ifndef VERDANPOST_CONSOLE_WINDOW_QT_DIALOGS_H_
#define VERDANPOST_CONSOLE_WINDOW_QT_DIALOGS_H_

#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "console/window/dialogs.h"

class QFileDialog;

namespace verdanpost {

// Dialogs on Qt's QMessageBox and QFileDialog.
class QtDialogs : public Dialogs {
 public:
  // The window the dialogs belong to; may be null.
  void set_parent(QWidget* parent) { parent_ = parent; }

  void ShowMessage(const QString& text) override;
  bool Ask(const QString& text) override;
  KeptSendChoice AskKeptSend(const QString& text) override;
  std::optional<QString> GetOpenFileName(const QString& filter,
                                         const QString& initial_name) override;

 private:
  // One modal box titled with the program's name, its text shown as it is;
  // returns the button that closed it.
  int ExecMessageBox(QMessageBox::Icon icon, const QString& text,
                     QMessageBox::StandardButtons buttons,
                     QMessageBox::StandardButton default_button = QMessageBox::NoButton);
  void ReturnFocus();

  QPointer<QWidget> parent_;
};

// Turns the system's filter text ("desc|pattern|desc|pattern", patterns
// separated by ";") into Qt name filters, one per entry, in order. Each is
// the entry's description followed by Qt's patterns in parentheses, which a
// dialog with HideNameFilterDetails leaves off; "*.*" becomes "*" so that the
// all-files entry also shows files without a dot in their name.
QStringList QtNameFilters(const QString& filter);

// Sets `dialog` up for opening a file with the system's filter text, its
// first entry selected, starting with `initial_name` (nothing when empty).
// It is always Qt's own dialog, which shows the descriptions unchanged, and it
// accepts the name of a file that does not exist (yet).
void ConfigureOpenDialog(QFileDialog& dialog, const QString& filter, const QString& initial_name);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_WINDOW_QT_DIALOGS_H_
