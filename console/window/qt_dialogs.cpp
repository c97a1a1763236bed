#include "console/window/qt_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace verdanpost {

namespace {

QString QtPatterns(const QString& patterns) {
  QStringList out;
  for (const QString& p : patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
    const QString pattern = p.trimmed();
    out << (pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern);
  }
  return out.join(QLatin1Char(' '));
}

}  // namespace

QStringList QtNameFilters(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList name_filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    name_filters << parts[i] + QStringLiteral(" (") + QtPatterns(parts[i + 1]) + QLatin1Char(')');
  }
  return name_filters;
}

void QtDialogs::ShowMessage(const QString& text) {
  ExecMessageBox(QMessageBox::NoIcon, text, QMessageBox::Ok);
}

bool QtDialogs::Ask(const QString& text) {
  // Every question asks whether to send: a stray Return must not.
  return ExecMessageBox(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No,
                        QMessageBox::No) == QMessageBox::Yes;
}

KeptSendChoice QtDialogs::AskKeptSend(const QString& text) {
  switch (ExecMessageBox(QMessageBox::Question, text,
                         QMessageBox::Yes | QMessageBox::No | QMessageBox::Discard,
                         QMessageBox::No)) {
    case QMessageBox::Yes:
      return KeptSendChoice::kSendNow;
    case QMessageBox::Discard:
      return KeptSendChoice::kDiscard;
    default:
      return KeptSendChoice::kLater;
  }
}

int QtDialogs::ExecMessageBox(QMessageBox::Icon icon, const QString& text,
                              QMessageBox::StandardButtons buttons,
                              QMessageBox::StandardButton default_button) {
  QMessageBox box(icon, QStringLiteral("VerdanpostConsole"), text, buttons, parent_);
  if (default_button != QMessageBox::NoButton) box.setDefaultButton(default_button);
  // The texts carry the mail server's own words and the operator's input;
  // shown as they are, never read as markup.
  box.setTextFormat(Qt::PlainText);
  box.setWindowModality(Qt::ApplicationModal);
  const int button = box.exec();
  ReturnFocus();
  return button;
}

void ConfigureOpenDialog(QFileDialog& dialog, const QString& filter, const QString& initial_name) {
  // A desktop's own dialog may cut each description at its first "(" and
  // show "E-Mail Files" for "E-Mail Files (*.eml)"; Qt's dialog shows the
  // system's descriptions as they are.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // A name typed for a file that is not there yet is taken as it is: the
  // picker only fills in the path, and the send reports a missing file.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  const QStringList name_filters = QtNameFilters(filter);
  dialog.setNameFilters(name_filters);
  if (!name_filters.isEmpty()) dialog.selectNameFilter(name_filters.first());
  if (!initial_name.isEmpty()) dialog.selectFile(initial_name);
}

std::optional<QString> QtDialogs::GetOpenFileName(const QString& filter,
                                                  const QString& initial_name) {
  QFileDialog dialog(parent_);
  ConfigureOpenDialog(dialog, filter, initial_name);
  const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
  ReturnFocus();
  if (!chosen) return std::nullopt;
  return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

// Without a window manager nobody hands the keyboard back to the window
// once a dialog has closed, and the operator could no longer type.
void QtDialogs::ReturnFocus() {
  if (parent_ != nullptr) parent_->activateWindow();
}

}  // namespace verdanpost
