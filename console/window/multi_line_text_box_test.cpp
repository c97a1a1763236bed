#include "console/window/multi_line_text_box.h"

#include <QTextCursor>

#include <gtest/gtest.h>

#include "console/window/test_application_test_support.h"

namespace verdanpost {
namespace {

using testing_support::EnsureTestApplication;

TEST(MultiLineTextBoxTest, HandsOutCrLfWhateverItHolds) {
  EnsureTestApplication();
  MultiLineTextBox box(nullptr);
  {
    box.setText("a\r\nb\r\n");
    EXPECT_EQ(box.toPlainText(), "a\nb\n");
    EXPECT_EQ(box.text(), "a\r\nb\r\n");
  }
  {
    // Shift+Enter puts a line separator into the editor.
    box.setText("");
    QTextCursor cursor(box.document());
    cursor.insertText(QString("one") + QChar(QChar::LineSeparator) + "two");
    EXPECT_EQ(box.text(), "one\r\ntwo");
  }
  {
    const QString spaces = QString::fromUtf8("non\u00a0breaking \u00e4");
    box.setText(spaces);
    EXPECT_EQ(box.text(), spaces);
  }
  {
    box.setText("");
    EXPECT_EQ(box.text(), "");
  }
}

}  // namespace
}  // namespace verdanpost
