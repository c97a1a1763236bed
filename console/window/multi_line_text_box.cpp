#include "console/window/multi_line_text_box.h"

#include <QTextDocument>

namespace verdanpost {

MultiLineTextBox::MultiLineTextBox(QWidget* parent) : QPlainTextEdit(parent) {
  setTabChangesFocus(true);
}

QString MultiLineTextBox::text() const {
  // toPlainText() would turn non-breaking spaces into blanks; the raw text
  // keeps them and separates lines with paragraph separators (and line
  // separators where Shift+Enter was pressed).
  QString raw = document()->toRawText();
  raw.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
  raw.replace(QChar::LineSeparator, QStringLiteral("\r\n"));
  return raw;
}

void MultiLineTextBox::setText(const QString& text) {
  QString plain = text;
  plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  setPlainText(plain);
}

}  // namespace verdanpost
