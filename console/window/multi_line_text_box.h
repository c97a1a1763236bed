#ifndef VERDANPOST_CONSOLE_WINDOW_MULTI_LINE_TEXT_BOX_H_
#define VERDANPOST_CONSOLE_WINDOW_MULTI_LINE_TEXT_BOX_H_

#include <QPlainTextEdit>
#include <QString>

namespace verdanpost {

// A multi-line text box whose text has CR LF line breaks, as the rest of the
// console expects, whatever the editor holds inside. Tab moves the focus on.
class MultiLineTextBox : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit MultiLineTextBox(QWidget* parent);

  // Lines end in CR LF; nothing else is changed.
  QString text() const;
  // Accepts CR LF, LF or CR line breaks.
  void setText(const QString& text);
};

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_WINDOW_MULTI_LINE_TEXT_BOX_H_
