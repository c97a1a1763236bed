#include "console/window/list_command_buttons.h"

#include <QFrame>
#include <QPushButton>

#include "console/window/twips.h"

namespace verdanpost {

namespace {

QPushButton* AddButton(QWidget& window, const char* page, const char* name, const char* caption,
                       QRect place, const char* after) {
  auto* frame = window.findChild<QFrame*>(QLatin1String(page));
  auto* button = new QPushButton(QLatin1String(caption), frame);
  button->setObjectName(QLatin1String(name));
  button->setGeometry(place);
  QWidget::setTabOrder(window.findChild<QWidget*>(QLatin1String(after)), button);
  return button;
}

}  // namespace

ListCommandButtons AddListCommandButtons(QWidget& window) {
  ListCommandButtons buttons;
  // Add lies at 4560, 1920, 1095, 375 on its page; Delete at 4320, 1200, 1335, 375.
  buttons.import = AddButton(window, "Frame(0)", "Import", "&Import...",
                             TwipsRect(4560, 2400, 1095, 375), "Add");
  buttons.subscribers = AddButton(window, "Frame(1)", "Subscribers", "S&ubscribers...",
                                  TwipsRect(4320, 1680, 1335, 375), "Delete");
  buttons.export_list = AddButton(window, "Frame(1)", "Export", "E&xport...",
                                  TwipsRect(4320, 2160, 1335, 375), "Subscribers");
  return buttons;
}

}  // namespace verdanpost
