#ifndef VERDANPOST_CONSOLE_WINDOW_LIST_COMMAND_BUTTONS_H_
#define VERDANPOST_CONSOLE_WINDOW_LIST_COMMAND_BUTTONS_H_

class QPushButton;
class QWidget;

namespace verdanpost {

// The buttons of the commands on the list as a whole, placed where the
// console's pages have room, so that no control of the pages moves: "&Import..."
// (Import) under Add on the Add page; "S&ubscribers..." (Subscribers) and
// "E&xport..." (Export) under Delete on the Remove page. Each follows its
// page's last button in the focus order.
struct ListCommandButtons {
  QPushButton* import = nullptr;
  QPushButton* subscribers = nullptr;
  QPushButton* export_list = nullptr;
};

// Adds the buttons to the console window |window| (found by the pages'
// object names, "Frame(0)" and "Frame(1)").
ListCommandButtons AddListCommandButtons(QWidget& window);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_WINDOW_LIST_COMMAND_BUTTONS_H_
