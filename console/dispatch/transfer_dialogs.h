#ifndef VERDANPOST_CONSOLE_DISPATCH_TRANSFER_DIALOGS_H_
#define VERDANPOST_CONSOLE_DISPATCH_TRANSFER_DIALOGS_H_

#include <cstdint>
#include <optional>

#include <QString>

namespace verdanpost {

// The file and the choices of an Import....
struct ImportRequest {
  QString path;
  bool greet = false;  // send the greeting to each one added
};

// The file and the choices of an Export....
struct ExportRequest {
  QString path;
  bool removed = false;          // the removal log instead of the list
  bool for_spreadsheet = false;  // formula-like fields made text
};

// What the Import... and Export... commands ask the operator, and the
// progress of a long import. Abstract so that the commands can be tested
// without anyone clicking.
class TransferDialogs {
 public:
  virtual ~TransferDialogs() = default;

  // The file picker of each command; nullopt when the operator cancelled.
  virtual std::optional<ImportRequest> ChooseImportFile() = 0;
  virtual std::optional<ExportRequest> ChooseExportFile() = 0;

  // Told on the window's thread after each group of rows an import wrote:
  // `done` of `rows`. False once the operator asked to stop.
  virtual bool ImportProgress(int64_t done, int64_t rows) = 0;
  // The import has ended: its progress goes away.
  virtual void ImportEnded() = 0;
};

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_TRANSFER_DIALOGS_H_
