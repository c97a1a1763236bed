#include "console/window/console_pages.h"

#include <limits>

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "console/window/multi_line_text_box.h"
#include "console/window/tab_strip.h"
#include "console/window/twips.h"

namespace verdanpost {

namespace {

template <typename W>
W* Place(W* widget, const char* name, const QRect& rect) {
  widget->setObjectName(QLatin1String(name));
  widget->setGeometry(rect);
  return widget;
}

QFrame* Frame(QWidget* parent, const char* name, const QRect& rect) {
  auto* frame = Place(new QFrame(parent), name, rect);
  frame->setFrameShape(QFrame::NoFrame);
  return frame;
}

QLineEdit* TextBox(QWidget* parent, const char* name, const QRect& rect) {
  auto* box = Place(new QLineEdit(parent), name, rect);
  box->setMaxLength(std::numeric_limits<int>::max());
  return box;
}

void Label(QWidget* parent, const char* name, const QString& caption, const QRect& rect,
           QWidget* buddy) {
  auto* label = Place(new QLabel(caption, parent), name, rect);
  label->setBuddy(buddy);
  // Labels reach a little into their text boxes; the boxes must stay on top
  // so that a click there still lands in the box.
  label->lower();
}

QCheckBox* CheckBox(QWidget* parent, const char* name, const QString& caption, const QRect& rect) {
  auto* box = Place(new QCheckBox(caption, parent), name, rect);
  // A stored grey state makes the box tristate; a click on it ends that.
  QObject::connect(box, &QCheckBox::clicked, box, [box] { box->setTristate(false); });
  return box;
}

}  // namespace

QFrame* BuildAddPage(QWidget* window) {
  QFrame* page = Frame(window, "Frame(0)", TwipsRect(120, 600, 5895, 4335));
  auto* name = TextBox(page, "AddName", TwipsRect(1320, 120, 4335, 315));
  Label(page, "AddNameLabel", "Name:", TwipsRect(120, 120, 1335, 255), name);
  auto* email = TextBox(page, "AddEMail", TwipsRect(1320, 600, 4335, 315));
  Label(page, "AddEMailLabel", "E-Mail Address:", TwipsRect(120, 600, 1335, 255), email);
  auto* address =
      Place(new MultiLineTextBox(page), "AddMailingAddress", TwipsRect(1320, 1080, 4335, 675));
  Label(page, "AddMailingAddressLabel", "Mailing Address:", TwipsRect(120, 1080, 1335, 255),
        address);
  Place(new QPushButton("&Add", page), "Add", TwipsRect(4560, 1920, 1095, 375));
  return page;
}

QFrame* BuildRemovePage(QWidget* window) {
  QFrame* page = Frame(window, "Frame(1)", TwipsRect(120, 480, 5895, 4455));
  auto* name = TextBox(page, "DeleteName", TwipsRect(1320, 240, 4335, 315));
  Label(page, "DeleteNameLabel", "Name:", TwipsRect(120, 240, 1335, 255), name);
  auto* email = TextBox(page, "DeleteEmail", TwipsRect(1320, 720, 4335, 315));
  Label(page, "DeleteEmailLabel", "E-Mail Address:", TwipsRect(120, 720, 1335, 255), email);
  Place(new QPushButton("&Delete", page), "Delete", TwipsRect(4320, 1200, 1335, 375));
  return page;
}

QFrame* BuildMessagesPage(QWidget* window) {
  QFrame* page = Frame(window, "Frame(2)", TwipsRect(120, 480, 5895, 4455));
  auto* tabs = Place(new TabStrip(page), "MessagesTabStrip", TwipsRect(0, 120, 5895, 4335));
  tabs->AddTab("Send", "Send", "Messages");
  tabs->AddTab("Addition", "Addition", "Addition");
  tabs->AddTab("Removal", "Removal", "Removal");

  QFrame* editor = Frame(page, "MessagesMainFrame", TwipsRect(120, 480, 5655, 2535));
  auto* use_file =
      Place(new QRadioButton("Use &File", editor), "UseFile", TwipsRect(0, 0, 2175, 255));
  use_file->setChecked(true);
  CheckBox(editor, "SendRaw", "Use file's message headers", TwipsRect(1560, 0, 2535, 255));
  TextBox(editor, "FileName", TwipsRect(360, 360, 4575, 285));
  Place(new QPushButton("...", editor), "GetMessageFile", TwipsRect(5040, 360, 300, 285));
  Place(new QRadioButton("Use Text", editor), "UseText", TwipsRect(0, 840, 2535, 255));
  auto* subject = TextBox(editor, "Subject", TwipsRect(1080, 1200, 4215, 285));
  Label(editor, "SubjectLabel", "Subject:", TwipsRect(360, 1200, 735, 255), subject);
  Place(new MultiLineTextBox(editor), "MessageText", TwipsRect(360, 1560, 4935, 875));

  for (int i = 0; i < 3; ++i) {
    const QByteArray name = QByteArray("MessagesFrame(") + QByteArray::number(i) + ')';
    QFrame* frame = Frame(page, name.constData(), TwipsRect(120, 3000, 5655, 1095));
    frame->setVisible(i == 0);
    if (i == 0) {
      Place(new QPushButton("&Send Message", frame), "SendMessage",
            TwipsRect(3600, 120, 1695, 375));
    }
  }
  return page;
}

QFrame* BuildSetupPage(QWidget* window) {
  QFrame* page = Frame(window, "Frame(3)", TwipsRect(120, 480, 5895, 4455));
  struct Party {
    const char* frame;
    const char* caption;
    const char* name_label;
    const char* name;
    const char* email_label;
    const char* email;
    int top;
  };
  for (const Party& p :
       {Party{"From", "From", "FromNameLabel", "FromName", "FromEmailLabel", "FromEmail", 120},
        Party{"To", "To", "ToNameLabel", "ToName", "ToEmailLabel", "ToEmail", 1560}}) {
    auto* group = Place(new QGroupBox(p.caption, page), p.frame, TwipsRect(120, p.top, 5655, 1335));
    auto* name = TextBox(group, p.name, TwipsRect(1320, 360, 4095, 315));
    Label(group, p.name_label, "Name:", TwipsRect(120, 360, 1335, 255), name);
    auto* email = TextBox(group, p.email, TwipsRect(1320, 840, 4095, 315));
    Label(group, p.email_label, "E-Mail Address:", TwipsRect(120, 840, 1335, 255), email);
  }
  auto* server = TextBox(page, "SMTPServer", TwipsRect(1440, 3120, 4095, 315));
  Label(page, "SMTPServerLabel", "SMTP Server:", TwipsRect(240, 3120, 1335, 255), server);
  CheckBox(page, "LimitRecipientsPerMessage", "Limit Recipients/Message",
           TwipsRect(240, 3600, 2175, 255));
  auto* recipients = TextBox(page, "RecipientsPerMessage", TwipsRect(4200, 3600, 1335, 315));
  Label(page, "RecipientsPerMessageLabel", "Recipients/Message:", TwipsRect(2640, 3600, 1575, 255),
        recipients);
  CheckBox(page, "CopyMessages", "Send a copy of outgoing messages to To address",
           TwipsRect(240, 4080, 3855, 255));
  return page;
}

}  // namespace verdanpost
