#ifndef VERDANPOST_CONSOLE_WINDOW_CONSOLE_PAGES_H_
#define VERDANPOST_CONSOLE_WINDOW_CONSOLE_PAGES_H_

#include <array>

#include <QFrame>

#include "console/dispatch/console_operations.h"
#include "console/settings/message_definition.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace verdanpost {

class MultiLineTextBox;
class TabStrip;

// A check box's state: grey when the box holds a stored grey state.
CheckState CheckStateOf(const QCheckBox& box);
// Grey makes the box tristate until the operator clicks it.
void SetCheckState(QCheckBox& box, CheckState state);

// The four pages of the console window, each a borderless frame named
// "Frame(0)" to "Frame(3)" placed over the main tab strip's pane, with every
// control named, captioned and placed as the window's layout fixes it. Each
// page hands out its controls by type; the wiring is the window's.

// Frame(0): the subscriber to add.
class AddPage : public QFrame {
 public:
  explicit AddPage(QWidget* window);

  QLineEdit* name() const { return name_; }                       // AddName
  QLineEdit* email() const { return email_; }                     // AddEMail
  MultiLineTextBox* mailing_address() const { return address_; }  // AddMailingAddress
  QPushButton* add_button() const { return add_; }                // Add

  AddPageInputs Inputs() const;

 private:
  QLineEdit* name_;
  QLineEdit* email_;
  MultiLineTextBox* address_;
  QPushButton* add_;
};

// Frame(1): the subscriber to remove.
class RemovePage : public QFrame {
 public:
  explicit RemovePage(QWidget* window);

  QLineEdit* name() const { return name_; }               // DeleteName
  QLineEdit* email() const { return email_; }             // DeleteEmail
  QPushButton* delete_button() const { return delete_; }  // Delete

  RemovePageInputs Inputs() const;

 private:
  QLineEdit* name_;
  QLineEdit* email_;
  QPushButton* delete_;
};

// Frame(2): the message editor under its own tab strip, and the frames of
// the editor's tabs (MessagesFrame(0) holds Send Message).
class MessagesPage : public QFrame {
 public:
  explicit MessagesPage(QWidget* window);

  TabStrip* tab_strip() const { return tabs_; }                       // MessagesTabStrip
  QRadioButton* use_file() const { return use_file_; }                // UseFile
  QCheckBox* send_raw() const { return send_raw_; }                   // SendRaw
  QLineEdit* file_name() const { return file_name_; }                 // FileName
  QPushButton* get_message_file() const { return get_file_; }         // GetMessageFile
  QRadioButton* use_text() const { return use_text_; }                // UseText
  QLineEdit* subject() const { return subject_; }                     // Subject
  MultiLineTextBox* message_text() const { return message_text_; }    // MessageText
  QFrame* messages_frame(int index) const { return frames_[index]; }  // MessagesFrame(index)
  QPushButton* send_message() const { return send_message_; }         // SendMessage

  // The editor's six controls as a definition, and back. Setting applies
  // UseFile before UseText.
  MessageDefinition Definition() const;
  void SetDefinition(const MessageDefinition& definition);

  // Selects or clears one of the option pair. Selecting one clears the
  // other; clearing one leaves the other as it is.
  void SetOption(QRadioButton* option, bool selected);

 private:
  void PutOptionTabStopOnSelection();

  TabStrip* tabs_;
  QRadioButton* use_file_;
  QCheckBox* send_raw_;
  QLineEdit* file_name_;
  QPushButton* get_file_;
  QRadioButton* use_text_;
  QLineEdit* subject_;
  MultiLineTextBox* message_text_;
  std::array<QFrame*, 3> frames_{};
  QPushButton* send_message_ = nullptr;
};

// Frame(3): the setup values.
class SetupPage : public QFrame {
 public:
  explicit SetupPage(QWidget* window);

  QLineEdit* from_name() const { return from_name_; }                 // FromName
  QLineEdit* from_email() const { return from_email_; }               // FromEmail
  QLineEdit* to_name() const { return to_name_; }                     // ToName
  QLineEdit* to_email() const { return to_email_; }                   // ToEmail
  QLineEdit* smtp_server() const { return smtp_server_; }             // SMTPServer
  QCheckBox* limit_recipients_per_message() const { return limit_; }  // LimitRecipientsPerMessage
  QLineEdit* recipients_per_message() const {
    return recipients_per_message_;
  }                                                            // RecipientsPerMessage
  QCheckBox* copy_messages() const { return copy_messages_; }  // CopyMessages

  SetupSettings Values() const;
  void SetValues(const SetupSettings& setup);

 private:
  QLineEdit* from_name_ = nullptr;
  QLineEdit* from_email_ = nullptr;
  QLineEdit* to_name_ = nullptr;
  QLineEdit* to_email_ = nullptr;
  QLineEdit* smtp_server_;
  QCheckBox* limit_;
  QLineEdit* recipients_per_message_;
  QCheckBox* copy_messages_;
};

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_WINDOW_CONSOLE_PAGES_H_
