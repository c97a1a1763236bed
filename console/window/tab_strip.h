#ifndef VERDANPOST_CONSOLE_WINDOW_TAB_STRIP_H_
#define VERDANPOST_CONSOLE_WINDOW_TAB_STRIP_H_

#include <QString>
#include <QWidget>

class QTabBar;

namespace verdanpost {

// A row of tabs over an empty pane, addressed by 1-based position; each tab
// has a caption, a key and a tag (kept as the tab's data). The pages are
// sibling widgets laid over the pane by the owner. Emits clicked() whenever
// the selected tab changes, by the operator or from code.
class TabStrip : public QWidget {
  Q_OBJECT

 public:
  explicit TabStrip(QWidget* parent);

  void AddTab(const QString& caption, const QString& key, const QString& tag);

  int count() const;
  int selected() const;  // 1-based; 0 when there are no tabs
  void Select(int tab);  // 1-based
  QString key(int tab) const;
  QString tag(int tab) const;
  QTabBar* bar() const { return bar_; }

 signals:
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void FitBar();

  QTabBar* bar_;
};

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_WINDOW_TAB_STRIP_H_
