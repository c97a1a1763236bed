// Times Check Mailbox on a mailbox of 10,000 messages, 1,000 of them
// delivery reports, in a throwaway Dovecot on loopback (IMAP with
// STARTTLS), with 10,000 subscribers in an SQLite list: the first check,
// which reads and classifies everything (goal: under 30 s), and a second
// one that finds nothing new (goal: under 2 s). The check runs as the
// window's button runs it, off the window's thread under its dialog, in an
// offscreen application; the longest time the window's thread went without
// turning its event loop is printed too (goal: under 100 ms). Needs root,
// for the mail servers.
//
// The messages arrive unseen, as in a mailbox that only the check reads;
// with "seen" they have been seen, which spares the server renaming each
// message's file twice (Dovecot's Maildir keeps flags in file names).
//
// Usage: mailbox_bench [MESSAGES [REPORTS [seen]]]

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/bench_list.h"
#include "console/dispatch/console_operations.h"
#include "console/dispatch/mailer_client.h"
#include "console/mailbox/check_mailbox_command.h"
#include "console/mailbox/mailbox_progress_dialog.h"
#include "testing/real_mail_servers.h"

namespace verdanpost {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "mailbox_bench: %s\n", what.c_str());
  std::exit(1);
}

// What the check shows; it answers No, so nothing is removed.
class BenchView : public OperationsView {
 public:
  AddPageInputs AddInputs() const override { return {}; }
  RemovePageInputs RemoveInputs() const override { return {}; }
  SendInputs CurrentSendInputs() const override {
    SendInputs inputs;
    inputs.setup.ToEmail = "list@example.org";
    return inputs;
  }
  void OpenMessageTab(int) override {}
  void ShowMessage(const QString& text) override { shown = text; }
  bool AskMessage(const QString& text) override {
    shown = text;
    return false;
  }
  void RunSend(const ProgressingSend&) override {}

  QString shown;
};

class NoMailers : public MailerFactory {
 public:
  std::unique_ptr<MailerClient> Create(QString* err) override {
    *err = "no mailer in the bench";
    return nullptr;
  }
};

// Writes the mailbox: every `messages / reports`th message a delivery
// report of a hard bounce, the others ordinary mail of about 1 KB.
void FillMaildir(const fs::path& maildir, int messages, int reports, bool seen) {
  const int every = reports > 0 ? std::max(1, messages / reports) : messages + 1;
  const std::string text(900, 'x');
  int written_reports = 0;
  for (int i = 0; i < messages; ++i) {
    std::string message;
    if (i % every == 0 && written_reports < reports) {
      ++written_reports;
      message =
          "From: MAILER-DAEMON@example.org\r\nTo: list@example.org\r\n"
          "Subject: Undelivered Mail Returned to Sender\r\n"
          "Date: Mon, 07 Dec 2026 11:00:00 +0000\r\nMIME-Version: 1.0\r\n"
          "Content-Type: multipart/report; report-type=delivery-status; boundary=b\r\n\r\n"
          "--b\r\nContent-Type: text/plain\r\n\r\nCould not be delivered.\r\n"
          "--b\r\nContent-Type: message/delivery-status\r\n\r\n"
          "Reporting-MTA: dns; mail.example.org\r\n\r\n"
          "Final-Recipient: rfc822; user" +
          std::to_string(i + 1) +
          "@example.org\r\nAction: failed\r\nStatus: 5.1.1\r\n"
          "Diagnostic-Code: smtp; 550 5.1.1 User unknown\r\n\r\n"
          "--b\r\nContent-Type: text/rfc822-headers\r\n\r\nFrom: list@example.org\r\n"
          "Subject: News\r\n\r\n--b--\r\n";
    } else {
      message = "From: user" + std::to_string(i + 1) +
                "@example.org\r\nTo: list@example.org\r\nSubject: Hello " + std::to_string(i) +
                "\r\nDate: Mon, 07 Dec 2026 11:00:00 +0000\r\n\r\n" + text + "\r\n";
    }
    fs::path file = seen ? maildir / "cur" / (std::to_string(i) + ".bench.localhost:2,S")
                         : maildir / "new" / (std::to_string(i) + ".bench.localhost");
    std::ofstream(file, std::ios::binary) << message;
    if (::chown(file.c_str(), 5000, 5000) != 0) Die("chown failed");
  }
}

struct Run {
  double seconds = 0;
  double longest_stall_ms = 0;
  QString shown;
};

Run Check(QWidget& window, const std::string& settings) {
  BenchView view;
  NoMailers mailers;
  Run run;
  mailbox::CheckMailboxCommand command(
      view, mailers, "vestro",
      [&window, &run](const std::function<void(mailbox::CheckProgress&)>& work) {
        QElapsedTimer clock;
        qint64 last = 0;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        tick.setInterval(1);
        QObject::connect(&tick, &QTimer::timeout, [&] {
          const qint64 now = clock.nsecsElapsed();
          run.longest_stall_ms = std::max(run.longest_stall_ms, (now - last) / 1e6);
          last = now;
        });
        clock.start();
        tick.start();
        mailbox::RunWithMailboxProgress(window, work);
        run.longest_stall_ms = std::max(run.longest_stall_ms, (clock.nsecsElapsed() - last) / 1e6);
      },
      mailbox::OpenImapMailbox, settings);
  QElapsedTimer timer;
  timer.start();
  command.CheckMailbox_Click();
  run.seconds = timer.nsecsElapsed() / 1e9;
  run.shown = view.shown;
  return run;
}

int Main(int argc, char** argv) {
  const int messages = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int reports = argc > 2 ? std::atoi(argv[2]) : messages / 10;
  const bool seen = argc > 3 && std::string(argv[3]) == "seen";
  if (std::string why = testing_support::RealMailServers::Unavailable(); !why.empty()) Die(why);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  QWidget window;
  window.resize(400, 300);
  window.show();

  testing_support::RealMailServers servers;
  testing_support::RealMailServers::Options options;
  options.users = {"list"};
  std::string err;
  if (!servers.Start(options, &err)) Die(err);
  FillMaildir(servers.folder() / "mail" / "list", messages, reports, seen);

  const fs::path dir = servers.folder() / "bench";
  fs::create_directories(dir);
  bench::DefineDataSource(dir, dir / "list.db");
  mailinglist::ListConnection list;
  database::Status status = list.Open("vestro");
  if (status.ok()) status = bench::FillMailingList(list, messages);
  if (!status.ok()) Die(status.message());
  list.Close();

  const std::string settings = (dir / "servers.ini").string();
  std::ofstream(settings) << "[Mailbox]\nHost = localhost:" << servers.imap_port()
                          << "\nSecurity = starttls\nUser = list@example.org\nPassword = secret\n"
                             "CAFile = "
                          << servers.ca_file() << "\n";
  ::chmod(settings.c_str(), 0600);

  std::printf(
      "Check Mailbox, %d %s messages with %d reports, %d subscribers (Dovecot on "
      "loopback)\n",
      messages, seen ? "seen" : "unseen", reports, messages);
  Run first = Check(window, settings);
  std::printf(
      "  first check:  %6.2f s (goal: under 30 s), window stalled at most %.1f ms "
      "(goal: under 100 ms)\n    %s\n",
      first.seconds, first.longest_stall_ms, first.shown.section('\n', 0, 0).toStdString().c_str());
  Run second = Check(window, settings);
  std::printf("  second check: %6.2f s (goal: under 2 s), window stalled at most %.1f ms\n    %s\n",
              second.seconds, second.longest_stall_ms,
              second.shown.section('\n', 0, 0).toStdString().c_str());
  return 0;
}

}  // namespace
}  // namespace verdanpost

int main(int argc, char** argv) { return verdanpost::Main(argc, argv); }
