// A process that runs the console's bulk send and nothing else, for the
// tests that end it in the middle: the list message "News" to
// s000@x.test ... in batches, through the mailer registered in
// $AUTOMATION_REGISTRY, with its records in RECORD_FOLDER. Answers Yes to
// the question before the send and No to every later one.
//
// Usage: bulk_send_process RECORD_FOLDER SERVER SUBSCRIBERS BATCH_SIZE

#include <cstdio>
#include <cstdlib>
#include <thread>

#include <QString>

#include "console/dispatch/bulk_send_session.h"
#include "console/dispatch/mailer_client.h"

namespace verdanpost {
namespace {

class QuestionOnceView : public OperationsView {
 public:
  AddPageInputs AddInputs() const override { return {}; }
  RemovePageInputs RemoveInputs() const override { return {}; }
  SendInputs CurrentSendInputs() const override { return {}; }
  void OpenMessageTab(int) override {}
  void ShowMessage(const QString& text) override {
    std::printf("%s\n", text.toLocal8Bit().constData());
  }
  bool AskMessage(const QString& text) override {
    ShowMessage(text);
    return asked_++ == 0;
  }
  void RunSend(const ProgressingSend& send) override {
    std::thread thread([&] {
      NeverCancel progress;
      send(progress);
    });
    thread.join();
  }

 private:
  class NeverCancel : public SendProgress {
   public:
    void MessageStarting(int, int, int64_t) override {}
    bool CancelRequested() override { return false; }
  };

  int asked_ = 0;
};

}  // namespace
}  // namespace verdanpost

int main(int argc, char** argv) {
  using namespace verdanpost;
  if (argc != 5) {
    std::fprintf(stderr, "usage: bulk_send_process RECORD_FOLDER SERVER SUBSCRIBERS BATCH_SIZE\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  BulkSendJob planned;
  planned.inputs.message.UseFile = false;
  planned.inputs.message.UseText = true;
  planned.inputs.message.Subject = "News";
  planned.inputs.message.MessageText = "Hello, list\r\n";
  planned.inputs.setup.FromEmail = "desk@list.test";
  planned.inputs.setup.SMTPServer = QString::fromLocal8Bit(argv[2]);
  planned.inputs.setup.CopyMessages = kUnchecked;
  for (int i = 0; i < std::atoi(argv[3]); ++i) {
    planned.recipients.push_back(QString("s%1@x.test").arg(i, 3, 10, QChar('0')));
  }
  planned.batch_size = std::atoi(argv[4]);
  QuestionOnceView view;
  ProgIdMailerFactory mailers;
  SendInBatches(
      view, mailers,
      [&planned](BulkSendJob* job, QString*) {
        *job = planned;
        return true;
      },
      folder);
  return 0;
}
