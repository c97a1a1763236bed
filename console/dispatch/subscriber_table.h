#ifndef VERDANPOST_CONSOLE_DISPATCH_SUBSCRIBER_TABLE_H_
#define VERDANPOST_CONSOLE_DISPATCH_SUBSCRIBER_TABLE_H_

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include <QAbstractTableModel>
#include <QString>

#include "console/dispatch/console_operations.h"
#include "console/dispatch/mailer_client.h"
#include "console/dispatch/subscriber_list.h"
#include "console/mailinglist/list_database.h"

namespace verdanpost {

// MailingList as a table model for the subscribers window. It holds the
// count and at most kCachedPages pages of kPageRows rows, read when a view
// asks for them (ordered by the sort column, then the table's key, with
// LIMIT and OFFSET), never the whole list. Removal goes through Delete's
// own path, one subscriber after another. |view| and |mailers| must outlive it.
class SubscriberTable : public QAbstractTableModel, public SubscriberList {
 public:
  static constexpr int kPageRows = 200;
  static constexpr size_t kCachedPages = 16;

  SubscriberTable(OperationsView& view, MailerFactory& mailers, std::string data_source,
                  QObject* parent = nullptr);

  // QAbstractTableModel.
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  void sort(int column, Qt::SortOrder order) override;

  // SubscriberList.
  QAbstractItemModel* model() override { return this; }
  void SetFilter(const QString& text) override;
  void Refresh() override;
  QString CountText() const override;
  void Remove(const QList<int>& rows) override;

  // The text of column |column| (as named in the table) on |row|.
  QString Field(int row, const char* column) const;

 private:
  // Forgets the pages and reads the count through the filter, and the
  // whole list's too when |count_all|, inside a model reset.
  void Reload(bool count_all);
  // The page holding |row|, read when not held; null on failure.
  const std::vector<std::string>* Page(int row) const;
  // Holds |rows| as page |page|, forgetting the oldest page held when
  // kCachedPages are.
  const std::vector<std::string>* Keep(int page, std::vector<std::string> rows) const;
  // Reads page |page| through the filter and in the sort order.
  mailinglist::Status ReadPage(int page, std::vector<std::string>* rows) const;
  // " WHERE ..." and its parameters for the filter; "" when none.
  std::string Where(std::vector<database::Parameter>* parameters) const;

  OperationsView& view_;
  MailerFactory& mailers_;
  const std::string data_source_;
  mutable mailinglist::ListConnection list_;
  mutable bool open_ = false;
  QString filter_;
  int sort_column_ = -1;  // -1: list order
  Qt::SortOrder sort_order_ = Qt::AscendingOrder;
  int64_t total_ = 0;  // rows of the whole list
  int64_t shown_ = 0;  // rows through the filter
  mutable QString error_;
  mutable std::map<int, std::vector<std::string>> pages_;  // packed rows by page
  mutable std::deque<int> page_order_;                     // oldest read first
};

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_SUBSCRIBER_TABLE_H_
