#ifndef VERDANPOST_CONSOLE_WINDOW_TEST_APPLICATION_TEST_SUPPORT_H_
#define VERDANPOST_CONSOLE_WINDOW_TEST_APPLICATION_TEST_SUPPORT_H_

#include <ostream>

#include <QString>

// Lets test failures show texts rather than bytes.
void PrintTo(const QString& text, std::ostream* out);

namespace verdanpost::testing_support {

// Widget tests need one QApplication for the whole test program: the first
// call makes it, and it is deleted when the test program's tests have run.
void EnsureTestApplication();

}  // namespace verdanpost::testing_support

#endif  // VERDANPOST_CONSOLE_WINDOW_TEST_APPLICATION_TEST_SUPPORT_H_
