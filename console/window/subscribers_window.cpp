#include "console/window/subscribers_window.h"

#include <algorithm>

#include <QAbstractItemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>

namespace verdanpost {

SubscribersWindow::SubscribersWindow(SubscriberList& list, QWidget* parent)
    : QWidget(parent, Qt::Window), list_(list) {
  setObjectName(QStringLiteral("Subscribers"));
  setWindowTitle(QStringLiteral("Subscribers"));
  resize(760, 480);

  auto* filter_label = new QLabel(QStringLiteral("&Filter:"), this);
  filter_ = new QLineEdit(this);
  filter_->setObjectName(QStringLiteral("SubscribersFilter"));
  filter_->setClearButtonEnabled(true);
  filter_label->setBuddy(filter_);
  count_ = new QLabel(this);
  count_->setObjectName(QStringLiteral("SubscribersCount"));

  table_ = new QTableView(this);
  table_->setObjectName(QStringLiteral("SubscribersTable"));
  table_->setModel(list_.model());
  table_->setSortingEnabled(true);
  // No sort indicator until the operator picks a column: list order first.
  table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setWordWrap(false);
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);

  remove_ = new QPushButton(QStringLiteral("&Remove"), this);
  remove_->setObjectName(QStringLiteral("SubscribersRemove"));
  auto* refresh = new QPushButton(QStringLiteral("R&efresh"), this);
  refresh->setObjectName(QStringLiteral("SubscribersRefresh"));
  auto* close = new QPushButton(QStringLiteral("&Close"), this);

  auto* top = new QHBoxLayout;
  top->addWidget(filter_label);
  top->addWidget(filter_, 1);
  top->addWidget(count_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(remove_);
  buttons->addWidget(refresh);
  buttons->addStretch(1);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(table_, 1);
  layout->addLayout(buttons);

  connect(filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
    list_.SetFilter(text);
    ShowCount();
  });
  connect(remove_, &QPushButton::clicked, this, &SubscribersWindow::RemoveSelected);
  connect(refresh, &QPushButton::clicked, this, &SubscribersWindow::Refresh);
  connect(close, &QPushButton::clicked, this, &QWidget::close);
  auto* f5 = new QShortcut(QKeySequence(Qt::Key_F5), this);
  connect(f5, &QShortcut::activated, this, &SubscribersWindow::Refresh);
  auto* del = new QShortcut(QKeySequence::Delete, table_, nullptr, nullptr, Qt::WidgetShortcut);
  connect(del, &QShortcut::activated, this, &SubscribersWindow::RemoveSelected);
  setTabOrder(filter_, table_);
  setTabOrder(table_, remove_);
  setTabOrder(remove_, refresh);
  setTabOrder(refresh, close);
  ShowCount();
}

void SubscribersWindow::Refresh() {
  list_.Refresh();
  ShowCount();
}

void SubscribersWindow::RemoveSelected() {
  QList<int> rows;
  for (const QModelIndex& index : table_->selectionModel()->selectedRows()) {
    rows.append(index.row());
  }
  if (rows.isEmpty()) return;
  std::sort(rows.begin(), rows.end());
  list_.Remove(rows);
  ShowCount();
}

void SubscribersWindow::ShowCount() { count_->setText(list_.CountText()); }

}  // namespace verdanpost
