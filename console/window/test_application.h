#ifndef VERDANPOST_CONSOLE_WINDOW_TEST_APPLICATION_H_
#define VERDANPOST_CONSOLE_WINDOW_TEST_APPLICATION_H_

#include <ostream>

#include <QApplication>
#include <QString>

// Lets test failures show texts rather than bytes.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace verdanpost {

// Widget tests need one QApplication for the whole test program; it lives
// until the program exits.
inline void EnsureTestApplication() {
  if (QApplication::instance() != nullptr) return;
  static int argc = 1;
  static char name[] = "verdanpost-console-test";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
}

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_WINDOW_TEST_APPLICATION_H_
