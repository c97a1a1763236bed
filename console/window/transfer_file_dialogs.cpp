#include "console/window/transfer_file_dialogs.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QProgressDialog>

namespace verdanpost {

namespace {

// Qt's own file dialog (a native one takes no extra controls), with
// |boxes| in a row of their own under its controls.
void PrepareDialog(QFileDialog& dialog, std::initializer_list<QCheckBox*> boxes) {
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setNameFilters({QLatin1String(kCsvFileFilter), QStringLiteral("All Files (*)")});
  auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
  for (QCheckBox* box : boxes) {
    if (grid != nullptr) grid->addWidget(box, grid->rowCount(), 0, 1, -1);
  }
}

}  // namespace

QtTransferDialogs::~QtTransferDialogs() { delete progress_; }

std::optional<ImportRequest> QtTransferDialogs::ChooseImportFile() {
  QFileDialog dialog(parent_, QStringLiteral("Import Subscribers"));
  dialog.setFileMode(QFileDialog::ExistingFile);
  auto* greet = new QCheckBox(QStringLiteral("Send the &greeting to each subscriber added"));
  PrepareDialog(dialog, {greet});
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return ImportRequest{dialog.selectedFiles().first(), greet->isChecked()};
}

std::optional<ExportRequest> QtTransferDialogs::ChooseExportFile() {
  QFileDialog dialog(parent_, QStringLiteral("Export Subscribers"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("csv"));
  auto* removed =
      new QCheckBox(QStringLiteral("Export the &removed subscribers (the removal log)"));
  auto* spreadsheet =
      new QCheckBox(QStringLiteral("Make formula-like fields plain text for a &spreadsheet"));
  PrepareDialog(dialog, {removed, spreadsheet});
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return ExportRequest{dialog.selectedFiles().first(), removed->isChecked(),
                       spreadsheet->isChecked()};
}

bool QtTransferDialogs::ImportProgress(int64_t done, int64_t rows) {
  if (progress_ == nullptr) {
    progress_ = new QProgressDialog(QStringLiteral("Importing subscribers..."),
                                    QStringLiteral("Cancel"), 0, 1000, parent_);
    progress_->setWindowTitle(QStringLiteral("Import Subscribers"));
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setMinimumDuration(500);
  }
  // In thousandths, so that any number of rows fits the bar's int.
  const int value = rows > 0 ? static_cast<int>(done * 1000 / rows) : 1000;
  progress_->setLabelText(QStringLiteral("%L1 of %L2 rows checked").arg(done).arg(rows));
  progress_->setValue(value);  // a modal one turns the event loop
  return !progress_->wasCanceled();
}

void QtTransferDialogs::ImportEnded() { delete progress_; }

}  // namespace verdanpost
