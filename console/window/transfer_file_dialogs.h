#ifndef VERDANPOST_CONSOLE_WINDOW_TRANSFER_FILE_DIALOGS_H_
#define VERDANPOST_CONSOLE_WINDOW_TRANSFER_FILE_DIALOGS_H_

#include <QPointer>

#include "console/dispatch/transfer_dialogs.h"

class QProgressDialog;
class QWidget;

namespace verdanpost {

// The real pickers of Import... and Export...: Qt's file dialog with the
// command's check boxes under it, and a progress dialog with Cancel over
// the window while a long import runs (shown after half a second).
// *parent must outlive it.
class QtTransferDialogs : public TransferDialogs {
 public:
  explicit QtTransferDialogs(QWidget* parent) : parent_(parent) {}
  ~QtTransferDialogs() override;

  std::optional<ImportRequest> ChooseImportFile() override;
  std::optional<ExportRequest> ChooseExportFile() override;
  bool ImportProgress(int64_t done, int64_t rows) override;
  void ImportEnded() override;

 private:
  QWidget* parent_;
  QPointer<QProgressDialog> progress_;
};

// The pickers' filter.
inline constexpr char kCsvFileFilter[] = "CSV Files (*.csv)";

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_WINDOW_TRANSFER_FILE_DIALOGS_H_
