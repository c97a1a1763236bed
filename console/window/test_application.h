#ifndef VERDANPOST_CONSOLE_WINDOW_TEST_APPLICATION_H_
#define VERDANPOST_CONSOLE_WINDOW_TEST_APPLICATION_H_

#include <ostream>

#include <QApplication>
#include <QString>

#include <gtest/gtest.h>

// Lets test failures show texts rather than bytes.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace verdanpost {

// Widget tests need one QApplication for the whole test program. It must be
// gone before the program exits: Qt's own globals die first, and a
// QApplication destroyed after them crashes.
class TestApplication : public ::testing::Environment {
 public:
  static void Start() {
    if (app_ != nullptr) return;
    static int argc = 1;
    static char name[] = "verdanpost-console-test";
    static char* argv[] = {name, nullptr};
    app_ = new QApplication(argc, argv);
  }
  void SetUp() override { Start(); }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

 private:
  static inline QApplication* app_ = nullptr;
};

inline ::testing::Environment* const kTestApplication =
    ::testing::AddGlobalTestEnvironment(new TestApplication);

inline void EnsureTestApplication() { TestApplication::Start(); }

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_WINDOW_TEST_APPLICATION_H_
