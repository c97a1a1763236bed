#ifndef VERDANPOST_CONSOLE_WINDOW_RECORDING_DIALOGS_TEST_SUPPORT_H_
#define VERDANPOST_CONSOLE_WINDOW_RECORDING_DIALOGS_TEST_SUPPORT_H_

#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include <QString>

#include "console/window/dialogs.h"

namespace verdanpost::testing_support {

// Test double for Dialogs: records every message and file dialog, and answers
// questions and file dialogs from a script (No, and cancel, when the script
// is empty). A question counts as a message too.
class RecordingDialogs : public Dialogs {
 public:
  struct FileRequest {
    QString filter;
    QString initial_name;
  };

  void ShowMessage(const QString& text) override { messages.push_back(text); }

  bool Ask(const QString& text) override {
    messages.push_back(text);
    questions.push_back(text);
    if (on_ask) on_ask();
    if (answers.empty()) return false;
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
  }

  std::optional<QString> GetOpenFileName(const QString& filter,
                                         const QString& initial_name) override {
    file_requests.push_back({filter, initial_name});
    if (file_answers.empty()) return std::nullopt;
    const bool chosen = file_answers.front().has_value();
    const QString answer = chosen ? *file_answers.front() : QString();
    file_answers.pop_front();
    if (!chosen) return std::nullopt;
    return answer;
  }

  std::vector<QString> messages;
  std::vector<QString> questions;
  // Answers of the next questions, in order; true is Yes.
  std::deque<bool> answers;
  // Runs whenever a question is asked, before it is answered.
  std::function<void()> on_ask;
  std::vector<FileRequest> file_requests;
  // Answers of the next file dialogs, in order; nullopt cancels.
  std::deque<std::optional<QString>> file_answers;
};

}  // namespace verdanpost::testing_support

#endif  // VERDANPOST_CONSOLE_WINDOW_RECORDING_DIALOGS_TEST_SUPPORT_H_
