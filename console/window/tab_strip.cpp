#include "console/window/tab_strip.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>
#include <QVariantMap>

namespace verdanpost {

namespace {
const QString kKey = QStringLiteral("Key");
const QString kTag = QStringLiteral("Tag");
}  // namespace

TabStrip::TabStrip(QWidget* parent) : QWidget(parent), bar_(new QTabBar(this)) {
  bar_->setDrawBase(false);
  bar_->setExpanding(false);
  bar_->setUsesScrollButtons(false);
  setFocusProxy(bar_);
  connect(bar_, &QTabBar::currentChanged, this, [this] { emit clicked(); });
}

void TabStrip::AddTab(const QString& caption, const QString& key, const QString& tag) {
  // The first tab becomes current as it is added; that is no click.
  const QSignalBlocker blocker(bar_);
  const int index = bar_->addTab(caption);
  bar_->setTabData(index, QVariantMap{{kKey, key}, {kTag, tag}});
  FitBar();
}

int TabStrip::count() const { return bar_->count(); }

int TabStrip::selected() const { return bar_->currentIndex() + 1; }

void TabStrip::Select(int tab) { bar_->setCurrentIndex(tab - 1); }

QString TabStrip::key(int tab) const {
  return bar_->tabData(tab - 1).toMap().value(kKey).toString();
}

QString TabStrip::tag(int tab) const {
  return bar_->tabData(tab - 1).toMap().value(kTag).toString();
}

void TabStrip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QStyleOptionTabWidgetFrame option;
  option.initFrom(this);
  option.shape = QTabBar::RoundedNorth;
  option.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
  option.tabBarSize = bar_->size();
  option.tabBarRect = bar_->geometry();
  const int overlap = style()->pixelMetric(QStyle::PM_TabBarBaseOverlap, nullptr, this);
  option.rect = rect().adjusted(0, bar_->height() - overlap, 0, 0);
  style()->drawPrimitive(QStyle::PE_FrameTabWidget, &option, &painter, this);
}

void TabStrip::resizeEvent(QResizeEvent*) { FitBar(); }

void TabStrip::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) FitBar();
  QWidget::changeEvent(event);
}

void TabStrip::FitBar() { bar_->setGeometry(0, 0, width(), bar_->sizeHint().height()); }

}  // namespace verdanpost
