#ifndef VERDANPOST_CONSOLE_WINDOW_SUBSCRIBERS_WINDOW_H_
#define VERDANPOST_CONSOLE_WINDOW_SUBSCRIBERS_WINDOW_H_

#include <QList>
#include <QString>
#include <QWidget>

#include "console/dispatch/subscriber_list.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace verdanpost {

// The window of the Subscribers... command, "Subscribers": a filter box
// ("&Filter:") that narrows the table as the operator types, the count, the
// table (sorted by a click on a column's header), "&Remove" for the selected
// rows (also the Delete key) and "R&efresh" (also F5). *list must outlive it.
class SubscribersWindow : public QWidget {
  Q_OBJECT

 public:
  SubscribersWindow(SubscriberList& list, QWidget* parent);

  // Reads the list again and shows the new count.
  void Refresh();

 private:
  void RemoveSelected();
  void ShowCount();

  SubscriberList& list_;
  QLineEdit* filter_;
  QLabel* count_;
  QTableView* table_;
  QPushButton* remove_;
};

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_WINDOW_SUBSCRIBERS_WINDOW_H_
