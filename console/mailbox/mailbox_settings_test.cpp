#include "console/mailbox/mailbox_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include <QTemporaryDir>

namespace verdanpost::mailbox {
namespace {

class MailboxSettingsTest : public ::testing::Test {
 protected:
  // Writes `text` as the settings file with `mode`; its path.
  std::string Write(const std::string& text, mode_t mode = 0600) {
    std::string path = dir_.filePath("servers.ini").toStdString();
    std::ofstream(path, std::ios::trunc) << text;
    ::chmod(path.c_str(), mode);
    return path;
  }
  // The error of reading `text`, or "" when it was read.
  std::string Error(const std::string& text, mode_t mode = 0600) {
    std::string err;
    return ReadMailboxSettings(Write(text, mode), &settings_, &err) ? "" : err;
  }

  QTemporaryDir dir_;
  MailboxSettings settings_;
};

TEST_F(MailboxSettingsTest, FillsInDefaultsByPort) {
  ASSERT_EQ(Error("[smtp.example.org:587]\nSecurity = starttls\n"
                  "[Mailbox]\nHost = imap.example.org\nUser = list\nPassword = s3cret\n"),
            "");
  EXPECT_EQ(settings_.host, "imap.example.org");
  EXPECT_EQ(settings_.port, 993);
  EXPECT_FALSE(settings_.starttls);
  EXPECT_EQ(settings_.folder, "INBOX");
  EXPECT_EQ(settings_.soft_bounce_limit, 3);
  EXPECT_EQ(settings_.soft_bounce_days, 30);

  ASSERT_EQ(Error("[mailbox]\nhost = imap.example.org:143\nUser = list\nPassword = x\n"
                  "CAFile = ca.pem\nFolder = Lists/News\nSoftBounceLimit = 5\n"
                  "SoftBounceDays = 10\n"),
            "");
  EXPECT_EQ(settings_.port, 143);
  EXPECT_TRUE(settings_.starttls);
  EXPECT_EQ(settings_.ca_file, dir_.filePath("ca.pem").toStdString());
  EXPECT_EQ(settings_.folder, "Lists/News");
  EXPECT_EQ(settings_.soft_bounce_limit, 5);
  EXPECT_EQ(settings_.soft_bounce_days, 10);

  ASSERT_EQ(Error("[Mailbox]\nHost = localhost:1993\nSecurity = STARTTLS\nUser = l\n"
                  "PasswordCommand = echo x\n"),
            "");
  EXPECT_TRUE(settings_.starttls);
  EXPECT_EQ(settings_.port, 1993);
  std::string password, err;
  ASSERT_TRUE(MailboxPassword(settings_, &password, &err)) << err;
  EXPECT_EQ(password, "x");
}

TEST_F(MailboxSettingsTest, RefusesWhatItCannotUseAndNeverShowsASecret) {
  const std::string path = dir_.filePath("servers.ini").toStdString();
  const std::string where = " in [Mailbox] of " + path;
  EXPECT_EQ(Error("[smtp.example.org]\nSecurity = tls\n"),
            "there is no [Mailbox] section in " + path + "; give the list's mailbox there");
  EXPECT_EQ(Error("[Mailbox]\nHost = h\nUser = u\nPasword = s3cret\n"),
            "unknown key \"Pasword\"" + where +
                "; the keys are Host, User, Password, PasswordCommand, CAFile, Folder, Security, "
                "SoftBounceLimit, SoftBounceDays");
  // A value continued on an indented line reads as the key given twice.
  EXPECT_EQ(Error("[Mailbox]\nHost = h\nUser = u\nPassword = s3cret\n  more\n"),
            "Password is given twice" + where + "; keep one line");
  EXPECT_EQ(Error("[Mailbox]\nHost = h\nUser = u\nPassword = s3cret\nPasswordCommand = pass x\n"),
            "both Password and PasswordCommand are given" + where + "; keep one");
  EXPECT_EQ(Error("[Mailbox]\nUser = u\n"),
            "there is no Host" + where + "; write Host = imap.example.org");
  EXPECT_EQ(Error("[Mailbox]\nHost = h\n"),
            "there is no User" + where + "; write the mailbox's login name");
  EXPECT_EQ(Error("[Mailbox]\nHost = h\nUser = u\nSecurity = none\n"),
            "Security is \"none\"" + where + "; write tls or starttls");
  EXPECT_EQ(Error("[Mailbox]\nHost = h\nUser = u\nSoftBounceLimit = 0\n"),
            "SoftBounceLimit is \"0\"" + where + "; write a whole number from 1 to 3650");
  // Others may not read a login, in whatever section it stands.
  EXPECT_EQ(Error("[Mailbox]\nHost = h\n[smtp.example.org]\nUser = me\n", 0644),
            path +
                " holds a login and can be read by other users; make it private with chmod "
                "600 " +
                path);
  EXPECT_EQ(Error("garbage\n"),
            path + " line 1 is not a [section], a Key = Value line or a comment");
  std::string err;
  EXPECT_FALSE(ReadMailboxSettings(dir_.filePath("none.ini").toStdString(), &settings_, &err));
  EXPECT_EQ(err, "there is no " + dir_.filePath("none.ini").toStdString() +
                     "; give the list's mailbox in its [Mailbox]");
  EXPECT_EQ(Error("[Mailbox]\nHost = h\nUser = u\nPasswordCommand = exit 3\n"), "");
  std::string password;
  EXPECT_FALSE(MailboxPassword(settings_, &password, &err));
  EXPECT_EQ(err.find("s3cret"), std::string::npos);
}

}  // namespace
}  // namespace verdanpost::mailbox
