#ifndef VERDANPOST_CONSOLE_WINDOW_CONSOLE_PAGES_H_
#define VERDANPOST_CONSOLE_WINDOW_CONSOLE_PAGES_H_

class QFrame;
class QWidget;

namespace verdanpost {

// Build the four pages of the console window, each a borderless frame named
// "Frame(0)" to "Frame(3)" placed over the main tab strip's pane, with every
// control named, captioned and placed as the window's layout fixes it. The
// controls are found by object name; wiring is the window's.
QFrame* BuildAddPage(QWidget* window);       // Frame(0)
QFrame* BuildRemovePage(QWidget* window);    // Frame(1)
QFrame* BuildMessagesPage(QWidget* window);  // Frame(2), with the message editor
QFrame* BuildSetupPage(QWidget* window);     // Frame(3)

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_WINDOW_CONSOLE_PAGES_H_
