#ifndef VERDANPOST_CONSOLE_DISPATCH_SUBSCRIBER_LIST_H_
#define VERDANPOST_CONSOLE_DISPATCH_SUBSCRIBER_LIST_H_

#include <QList>
#include <QString>

class QAbstractItemModel;

namespace verdanpost {

// What the subscribers window shows and does: the list as a sortable model
// that reads the database in pages, narrowed by a filter. Abstract so that
// the window needs no database.
class SubscriberList {
 public:
  virtual ~SubscriberList() = default;

  virtual QAbstractItemModel* model() = 0;
  // Narrows the rows to those whose name or address holds |text|, in any
  // letter case; "" shows every row.
  virtual void SetFilter(const QString& text) = 0;
  // Reads the list again, for changes made meanwhile.
  virtual void Refresh() = 0;
  // "100,000 subscribers", "12 of 100,000 subscribers", or why the list
  // could not be read.
  virtual QString CountText() const = 0;
  // Removes the subscribers on |rows| of the model as Delete removes one,
  // after asking, and reports once; then reads the list again.
  virtual void Remove(const QList<int>& rows) = 0;
};

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_SUBSCRIBER_LIST_H_
