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

// A page: a borderless frame over the main tab strip's pane.
void PlacePage(QFrame* page, const char* name, const QRect& rect) {
  Place(page, name, rect);
  page->setFrameShape(QFrame::NoFrame);
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

CheckState CheckStateOf(const QCheckBox& box) {
  switch (box.checkState()) {
    case Qt::Checked:
      return kChecked;
    case Qt::PartiallyChecked:
      return kGrayed;
    case Qt::Unchecked:
      break;
  }
  return kUnchecked;
}

void SetCheckState(QCheckBox& box, CheckState state) {
  if (state == kGrayed) {
    box.setCheckState(Qt::PartiallyChecked);
  } else {
    box.setTristate(false);
    box.setCheckState(state == kUnchecked ? Qt::Unchecked : Qt::Checked);
  }
}

AddPage::AddPage(QWidget* window) : QFrame(window) {
  PlacePage(this, "Frame(0)", TwipsRect(120, 600, 5895, 4335));
  name_ = TextBox(this, "AddName", TwipsRect(1320, 120, 4335, 315));
  Label(this, "AddNameLabel", "Name:", TwipsRect(120, 120, 1335, 255), name_);
  email_ = TextBox(this, "AddEMail", TwipsRect(1320, 600, 4335, 315));
  Label(this, "AddEMailLabel", "E-Mail Address:", TwipsRect(120, 600, 1335, 255), email_);
  address_ =
      Place(new MultiLineTextBox(this), "AddMailingAddress", TwipsRect(1320, 1080, 4335, 675));
  Label(this, "AddMailingAddressLabel", "Mailing Address:", TwipsRect(120, 1080, 1335, 255),
        address_);
  add_ = Place(new QPushButton("&Add", this), "Add", TwipsRect(4560, 1920, 1095, 375));
}

AddPageInputs AddPage::Inputs() const { return {name_->text(), email_->text(), address_->text()}; }

RemovePage::RemovePage(QWidget* window) : QFrame(window) {
  PlacePage(this, "Frame(1)", TwipsRect(120, 480, 5895, 4455));
  name_ = TextBox(this, "DeleteName", TwipsRect(1320, 240, 4335, 315));
  Label(this, "DeleteNameLabel", "Name:", TwipsRect(120, 240, 1335, 255), name_);
  email_ = TextBox(this, "DeleteEmail", TwipsRect(1320, 720, 4335, 315));
  Label(this, "DeleteEmailLabel", "E-Mail Address:", TwipsRect(120, 720, 1335, 255), email_);
  delete_ = Place(new QPushButton("&Delete", this), "Delete", TwipsRect(4320, 1200, 1335, 375));
}

RemovePageInputs RemovePage::Inputs() const { return {name_->text(), email_->text()}; }

MessagesPage::MessagesPage(QWidget* window) : QFrame(window) {
  PlacePage(this, "Frame(2)", TwipsRect(120, 480, 5895, 4455));
  tabs_ = Place(new TabStrip(this), "MessagesTabStrip", TwipsRect(0, 120, 5895, 4335));
  tabs_->AddTab("Send", "Send", "Messages");
  tabs_->AddTab("Addition", "Addition", "Addition");
  tabs_->AddTab("Removal", "Removal", "Removal");

  QFrame* editor = Frame(this, "MessagesMainFrame", TwipsRect(120, 480, 5655, 2535));
  use_file_ = Place(new QRadioButton("Use &File", editor), "UseFile", TwipsRect(0, 0, 2175, 255));
  use_file_->setChecked(true);
  send_raw_ =
      CheckBox(editor, "SendRaw", "Use file's message headers", TwipsRect(1560, 0, 2535, 255));
  file_name_ = TextBox(editor, "FileName", TwipsRect(360, 360, 4575, 285));
  get_file_ =
      Place(new QPushButton("...", editor), "GetMessageFile", TwipsRect(5040, 360, 300, 285));
  use_text_ = Place(new QRadioButton("Use Text", editor), "UseText", TwipsRect(0, 840, 2535, 255));
  subject_ = TextBox(editor, "Subject", TwipsRect(1080, 1200, 4215, 285));
  Label(editor, "SubjectLabel", "Subject:", TwipsRect(360, 1200, 735, 255), subject_);
  message_text_ =
      Place(new MultiLineTextBox(editor), "MessageText", TwipsRect(360, 1560, 4935, 875));

  for (int i = 0; i < 3; ++i) {
    const QByteArray name = QByteArray("MessagesFrame(") + QByteArray::number(i) + ')';
    QFrame* frame = Frame(this, name.constData(), TwipsRect(120, 3000, 5655, 1095));
    frame->setVisible(i == 0);
    frames_[i] = frame;
    if (i == 0) {
      send_message_ = Place(new QPushButton("&Send Message", frame), "SendMessage",
                            TwipsRect(3600, 120, 1695, 375));
    }
  }
}

MessageDefinition MessagesPage::Definition() const {
  MessageDefinition d;
  d.UseFile = use_file_->isChecked();
  d.UseText = use_text_->isChecked();
  d.FileName = file_name_->text();
  d.SendRaw = CheckStateOf(*send_raw_);
  d.Subject = subject_->text();
  d.MessageText = message_text_->text();
  return d;
}

void MessagesPage::SetDefinition(const MessageDefinition& definition) {
  SetOption(use_file_, definition.UseFile);
  SetOption(use_text_, definition.UseText);
  file_name_->setText(definition.FileName);
  SetCheckState(*send_raw_, definition.SendRaw);
  subject_->setText(definition.Subject);
  message_text_->setText(definition.MessageText);
}

void MessagesPage::SetOption(QRadioButton* option, bool selected) {
  // An exclusive button refuses to be cleared; clearing must leave the group
  // with nothing selected, so exclusiveness is lifted for the moment.
  option->setAutoExclusive(selected);
  option->setChecked(selected);
  option->setAutoExclusive(true);
  PutOptionTabStopOnSelection();
}

void MessagesPage::PutOptionTabStopOnSelection() {
  // Qt keeps one Tab stop per option pair, at the button that last had the
  // focus. A choice made from code (a definition loaded) leaves it there, and
  // Tab would land on the option that is not selected, where Space flips the
  // choice. The stop goes to the selected option, or to the pair's first one
  // in the focus order (UseText) when neither is selected.
  QRadioButton* stop = use_file_->isChecked() ? use_file_ : use_text_;
  for (QRadioButton* button : {use_file_, use_text_}) {
    const int policy = button->focusPolicy();
    button->setFocusPolicy(
        Qt::FocusPolicy(button == stop ? policy | Qt::TabFocus : policy & ~Qt::TabFocus));
  }
}

SetupPage::SetupPage(QWidget* window) : QFrame(window) {
  PlacePage(this, "Frame(3)", TwipsRect(120, 480, 5895, 4455));
  struct Party {
    const char* frame;
    const char* caption;
    const char* name_label;
    const char* name;
    const char* email_label;
    const char* email;
    int top;
    QLineEdit** name_box;
    QLineEdit** email_box;
  };
  for (const Party& p : {Party{"From", "From", "FromNameLabel", "FromName", "FromEmailLabel",
                               "FromEmail", 120, &from_name_, &from_email_},
                         Party{"To", "To", "ToNameLabel", "ToName", "ToEmailLabel", "ToEmail", 1560,
                               &to_name_, &to_email_}}) {
    auto* group = Place(new QGroupBox(p.caption, this), p.frame, TwipsRect(120, p.top, 5655, 1335));
    *p.name_box = TextBox(group, p.name, TwipsRect(1320, 360, 4095, 315));
    Label(group, p.name_label, "Name:", TwipsRect(120, 360, 1335, 255), *p.name_box);
    *p.email_box = TextBox(group, p.email, TwipsRect(1320, 840, 4095, 315));
    Label(group, p.email_label, "E-Mail Address:", TwipsRect(120, 840, 1335, 255), *p.email_box);
  }
  smtp_server_ = TextBox(this, "SMTPServer", TwipsRect(1440, 3120, 4095, 315));
  Label(this, "SMTPServerLabel", "SMTP Server:", TwipsRect(240, 3120, 1335, 255), smtp_server_);
  limit_ = CheckBox(this, "LimitRecipientsPerMessage", "Limit Recipients/Message",
                    TwipsRect(240, 3600, 2175, 255));
  recipients_per_message_ = TextBox(this, "RecipientsPerMessage", TwipsRect(4200, 3600, 1335, 315));
  Label(this, "RecipientsPerMessageLabel", "Recipients/Message:", TwipsRect(2640, 3600, 1575, 255),
        recipients_per_message_);
  copy_messages_ = CheckBox(this, "CopyMessages", "Send a copy of outgoing messages to To address",
                            TwipsRect(240, 4080, 3855, 255));
}

SetupSettings SetupPage::Values() const {
  SetupSettings s;
  s.FromName = from_name_->text();
  s.FromEmail = from_email_->text();
  s.ToName = to_name_->text();
  s.ToEmail = to_email_->text();
  s.SMTPServer = smtp_server_->text();
  s.RecipientsPerMessage = recipients_per_message_->text();
  s.LimitRecipientsPerMessage = CheckStateOf(*limit_);
  s.CopyMessages = CheckStateOf(*copy_messages_);
  return s;
}

void SetupPage::SetValues(const SetupSettings& setup) {
  from_name_->setText(setup.FromName);
  from_email_->setText(setup.FromEmail);
  to_name_->setText(setup.ToName);
  to_email_->setText(setup.ToEmail);
  smtp_server_->setText(setup.SMTPServer);
  recipients_per_message_->setText(setup.RecipientsPerMessage);
  SetCheckState(*limit_, setup.LimitRecipientsPerMessage);
  SetCheckState(*copy_messages_, setup.CopyMessages);
}

}  // namespace verdanpost
