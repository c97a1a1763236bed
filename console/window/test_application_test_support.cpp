#include "console/window/test_application_test_support.h"

#include <QApplication>

#include <gtest/gtest.h>

void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace verdanpost::testing_support {

namespace {

QApplication* app = nullptr;

// The application must be gone before the program exits: Qt's own globals
// die first, and a QApplication destroyed after them crashes. An environment
// is torn down once the tests have run, well before that.
class TestApplication : public ::testing::Environment {
 public:
  void TearDown() override {
    delete app;
    app = nullptr;
  }
};

}  // namespace

void EnsureTestApplication() {
  if (app != nullptr) return;
  static int argc = 1;
  static char name[] = "verdanpost-console-test";
  static char* argv[] = {name, nullptr};
  app = new QApplication(argc, argv);
  // Environments added while the tests run are torn down with the others.
  static bool registered = false;
  if (!registered) ::testing::AddGlobalTestEnvironment(new TestApplication);
  registered = true;
}

}  // namespace verdanpost::testing_support
