#include "console/dispatch/subscriber_table.h"

#include <algorithm>
#include <optional>

#include "console/dispatch/list_command_texts.h"
#include "console/dispatch/operator_texts.h"
#include "console/dispatch/subscription.h"
#include "console/mailinglist/list_import.h"
#include "platform/database/packed_row.h"
#include "platform/database/query.h"

namespace verdanpost {

namespace {

using database::Parameter;
using database::Value;

// The columns shown, in order.
constexpr const char* kColumns[] = {"Name",           "E-Mail",  "DateCreated",
                                    "MailingAddress", "BraSize", "IPAddress"};
constexpr int kColumnCount = static_cast<int>(std::size(kColumns));

QString Grouped(int64_t number) {
  return QString::fromStdString(mailinglist::GroupedNumber(number));
}

// Forwards to the window's view, but takes the Remove page's inputs from
// the row being removed and keeps the messages for one report.
class RowRemovalView : public OperationsView {
 public:
  explicit RowRemovalView(OperationsView& window) : window_(window) {}

  AddPageInputs AddInputs() const override { return window_.AddInputs(); }
  RemovePageInputs RemoveInputs() const override { return inputs; }
  SendInputs CurrentSendInputs() const override { return window_.CurrentSendInputs(); }
  void OpenMessageTab(int tab) override { window_.OpenMessageTab(tab); }
  void ShowMessage(const QString& text) override { messages.append(text); }
  bool AskMessage(const QString& text) override { return window_.AskMessage(text); }
  void RunSend(const ProgressingSend& send) override { window_.RunSend(send); }

  RemovePageInputs inputs;
  QStringList messages;

 private:
  OperationsView& window_;
};

}  // namespace

SubscriberTable::SubscriberTable(OperationsView& view, MailerFactory& mailers,
                                 std::string data_source, QObject* parent)
    : QAbstractTableModel(parent),
      view_(view),
      mailers_(mailers),
      data_source_(std::move(data_source)) {}

int SubscriberTable::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_);
}

int SubscriberTable::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant SubscriberTable::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return QVariant();
  if (!index.isValid() || index.row() >= shown_) return QVariant();
  QString text = Field(index.row(), kColumns[index.column()]);
  // The mailing address on one line of the table; whole in the tool tip.
  if (role == Qt::DisplayRole) text.replace(QLatin1String("\r\n"), QLatin1String(" / "));
  return text;
}

QVariant SubscriberTable::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return QVariant();
  if (section < 0 || section >= kColumnCount) return QVariant();
  return QString::fromLatin1(kColumns[section]);
}

void SubscriberTable::sort(int column, Qt::SortOrder order) {
  if (column == sort_column_ && order == sort_order_) return;
  sort_column_ = column;
  sort_order_ = order;
  Reload(false);
}

void SubscriberTable::SetFilter(const QString& text) {
  if (text == filter_) return;
  filter_ = text;
  Reload(false);
}

void SubscriberTable::Refresh() {
  // A new connection: the database may have been replaced meanwhile.
  if (open_) list_.Close();
  open_ = false;
  Reload(true);
}

QString SubscriberTable::CountText() const {
  if (!error_.isEmpty()) return error_;
  const QString all = Grouped(total_) + (total_ == 1 ? " subscriber" : " subscribers");
  return filter_.isEmpty() ? all : Grouped(shown_) + " of " + all;
}

QString SubscriberTable::Field(int row, const char* column) const {
  const std::vector<std::string>* page = Page(row);
  if (page == nullptr) return QString();
  const size_t at = static_cast<size_t>(row % kPageRows);
  if (at >= page->size()) return QString();
  const auto place =
      std::find_if(std::begin(kColumns), std::end(kColumns),
                   [column](const char* name) { return std::string_view(name) == column; });
  const std::optional<std::string> value =
      database::UnpackField((*page)[at], static_cast<size_t>(place - std::begin(kColumns)));
  return QString::fromStdString(value.value_or(std::string()));
}

void SubscriberTable::Reload(bool count_all) {
  beginResetModel();
  pages_.clear();
  page_order_.clear();
  if (!error_.isEmpty()) count_all = true;
  error_.clear();
  shown_ = 0;
  mailinglist::Status status;
  if (!open_) {
    status = list_.Open(data_source_);
    if (status.ok()) status = mailinglist::CheckListColumns(list_);
    open_ = status.ok();
  }
  const database::Connection& connection = *list_.get();
  const std::string count_sql =
      "SELECT COUNT(*) FROM " + connection.Quote(mailinglist::kMailingList);
  if (status.ok() && count_all) status = database::QueryNumber(connection, count_sql, {}, &total_);
  shown_ = total_;
  if (status.ok() && !filter_.isEmpty()) {
    // The first page first: when it is not full it holds every row through
    // the filter, and no count needs to go through the table again. A full
    // one came quickly, and only then is the table counted.
    std::vector<std::string> rows;
    status = ReadPage(0, &rows);
    shown_ = static_cast<int64_t>(rows.size());
    if (status.ok() && rows.size() == static_cast<size_t>(kPageRows)) {
      std::vector<Parameter> parameters;
      const std::string where = Where(&parameters);
      status = database::QueryNumber(connection, count_sql + where, parameters, &shown_);
    }
    if (status.ok()) Keep(0, std::move(rows));
  }
  if (!status.ok()) {
    error_ = kListNotRead + QString::fromStdString(status.message());
    total_ = shown_ = 0;
  }
  endResetModel();
}

std::string SubscriberTable::Where(std::vector<Parameter>* parameters) const {
  if (filter_.isEmpty()) return std::string();
  // "!" escapes the pattern's own "%", "_" and "!".
  QString pattern = filter_;
  pattern.replace(QLatin1Char('!'), QLatin1String("!!"));
  pattern.replace(QLatin1Char('%'), QLatin1String("!%"));
  pattern.replace(QLatin1Char('_'), QLatin1String("!_"));
  // SQLite's LIKE ignores the case of A to Z, PostgreSQL's ILIKE every
  // letter's: both leave the columns as they are, which saves a lower() of
  // each on every key typed.
  const database::Connection& connection = *list_.get();
  std::string like = " LIKE ";
  switch (connection.dialect().kind()) {
    case database::Dialect::kSQLite:
      break;
    case database::Dialect::kPostgreSQL:
      like = " ILIKE ";
      break;
    case database::Dialect::kOther:
      pattern = pattern.toLower();
      break;
  }
  const std::string text = "%" + pattern.toStdString() + "%";
  parameters->push_back({Value::Text(text)});
  parameters->push_back({Value::Text(text)});
  auto column = [&connection](const char* name) {
    const std::string quoted = connection.Quote(name);
    return connection.dialect().kind() == database::Dialect::kOther ? "lower(" + quoted + ")"
                                                                    : quoted;
  };
  return " WHERE " + column("Name") + like + "? ESCAPE '!' OR " + column("E-Mail") + like +
         "? ESCAPE '!'";
}

const std::vector<std::string>* SubscriberTable::Page(int row) const {
  const int page = row / kPageRows;
  if (auto held = pages_.find(page); held != pages_.end()) return &held->second;
  if (!open_ || !error_.isEmpty()) return nullptr;
  std::vector<std::string> rows;
  const mailinglist::Status status = ReadPage(page, &rows);
  if (!status.ok()) {
    error_ = kListNotRead + QString::fromStdString(status.message());
    return nullptr;
  }
  return Keep(page, std::move(rows));
}

const std::vector<std::string>* SubscriberTable::Keep(int page,
                                                      std::vector<std::string> rows) const {
  if (page_order_.size() >= kCachedPages) {
    pages_.erase(page_order_.front());
    page_order_.pop_front();
  }
  page_order_.push_back(page);
  return &(pages_[page] = std::move(rows));
}

mailinglist::Status SubscriberTable::ReadPage(int page, std::vector<std::string>* rows) const {
  database::Connection& connection = *list_.get();
  const database::TableInfo* table = nullptr;
  mailinglist::Status status = connection.DescribeTable(mailinglist::kMailingList, &table);
  if (!status.ok()) return status;
  std::string columns;
  for (const char* column : kColumns) {
    columns += (columns.empty() ? "" : ", ") + connection.Quote(column);
  }
  std::string order;
  if (sort_column_ >= 0 && sort_column_ < kColumnCount) {
    order = connection.Quote(kColumns[sort_column_]) +
            (sort_order_ == Qt::DescendingOrder ? " DESC, " : ", ");
  }
  order += table->key.OrderList(sort_order_ == Qt::DescendingOrder && sort_column_ >= 0);
  std::vector<Parameter> parameters;
  const std::string sql = "SELECT " + columns + " FROM " +
                          connection.Quote(mailinglist::kMailingList) + Where(&parameters) +
                          " ORDER BY " + order + connection.dialect().Limit(kPageRows) +
                          " OFFSET " + std::to_string(static_cast<int64_t>(page) * kPageRows);
  return database::QueryRows(connection, sql, parameters, rows);
}

void SubscriberTable::Remove(const QList<int>& rows) {
  std::vector<RemovePageInputs> chosen;
  for (int row : rows) chosen.push_back({Field(row, "Name"), Field(row, "E-Mail")});
  if (chosen.empty()) return;
  const QString question = chosen.size() == 1
                               ? RemoveOneQuestion(chosen[0].email)
                               : RemoveManyQuestion(Grouped(static_cast<int64_t>(chosen.size())));
  if (!view_.AskMessage(question)) return;

  RowRemovalView removal(view_);
  QStringList report;
  for (const RemovePageInputs& inputs : chosen) {
    removal.inputs = inputs;
    removal.messages.clear();
    Subscription(removal, mailers_, data_source_).Delete_Click();
    const QString said = removal.messages.join('\n');
    report.append(chosen.size() == 1 ? said : inputs.email + ": " + said);
  }
  view_.ShowMessage(report.join('\n'));
  Refresh();
}

}  // namespace verdanpost
