#ifndef VERDANPOST_MAILER_SMTP_RAW_BCC_CASES_TEST_SUPPORT_H_
#define VERDANPOST_MAILER_SMTP_RAW_BCC_CASES_TEST_SUPPORT_H_

#include <string>
#include <vector>

namespace verdanpost {

// A raw message file with Bcc fields written as mail programs write them,
// and what the server must get: the envelope and the data without a trace
// of the Bcc fields. Shared by the tests against the scripted peer and
// against a real server.
struct RawBccCase {
  std::string name;
  std::string file;
  std::vector<std::string> envelope;  // the sender, then the recipients
  std::string content;                // the data, before the end-of-data marker
};

inline std::vector<RawBccCase> RawBccCases() {
  // Three lines of 400 bytes: lines stay within the 1000 bytes a server takes.
  std::string long_field;
  for (int i = 0; i < 3; ++i) long_field += "X-Long: " + std::string(390, 'x') + "\r\n";
  return {
      {"folded after the display name",
       "From: ann@example.org\r\nTo: bob@example.org\r\n"
       "Bcc: \"Secret Person\"\r\n <secret@example.org>, other@example.org\r\n"
       "Subject: folded\r\n\r\nbody\r\n",
       {"ann@example.org", "bob@example.org", "secret@example.org", "other@example.org"},
       "From: ann@example.org\r\nTo: bob@example.org\r\nSubject: folded\r\n\r\nbody\r\n"},
      {"folded with tabs, lines ending in LF",
       "From: ann@example.org\nbcc:\n\tsecret@example.org,\n\tother@example.org\n"
       "To: bob@example.org\n\nbody\n",
       {"ann@example.org", "secret@example.org", "other@example.org", "bob@example.org"},
       "From: ann@example.org\r\nTo: bob@example.org\r\n\r\nbody\r\n"},
      {"after a To field that ends with a comma",
       "From: ann@example.org\r\nTo: bob@example.org,\r\nBcc: secret@example.org\r\n"
       "Subject: Report\r\n\r\nbody\r\n",
       {"ann@example.org", "bob@example.org", "secret@example.org"},
       "From: ann@example.org\r\nTo: bob@example.org,\r\nSubject: Report\r\n\r\nbody\r\n"},
      {"with blanks before the colon",
       "From: ann@example.org\r\nTo: bob@example.org\r\nBCC \t: secret@example.org\r\n\r\nbody\r\n",
       {"ann@example.org", "bob@example.org", "secret@example.org"},
       "From: ann@example.org\r\nTo: bob@example.org\r\n\r\nbody\r\n"},
      {"after a line that ends in a CR alone",
       "From: ann@example.org\r\nSubject: hi\rBcc: secret@example.org\r\nTo: bob@example.org\r\n"
       "\r\nbody\r\n",
       {"ann@example.org", "secret@example.org", "bob@example.org"},
       "From: ann@example.org\r\nSubject: hi\r\nTo: bob@example.org\r\n\r\nbody\r\n"},
      {"last in the header, after a CR alone",
       "From: ann@example.org\nTo: bob@example.org\rBcc: secret@example.org\n\nbody\n",
       {"ann@example.org", "bob@example.org", "secret@example.org"},
       "From: ann@example.org\r\nTo: bob@example.org\r\n\r\nbody\r\n"},
      {"several fields, one past the first 1024 bytes",
       "Bcc: one@example.org\r\nFrom: ann@example.org\r\nTo: bob@example.org\r\n" + long_field +
           "bcc: two@example.org,\r\n three@example.org\r\nBcc: four@example.org\r\n\r\nbody\r\n",
       {"ann@example.org", "one@example.org", "bob@example.org", "two@example.org",
        "three@example.org", "four@example.org"},
       "From: ann@example.org\r\nTo: bob@example.org\r\n" + long_field + "\r\nbody\r\n"},
  };
}

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_RAW_BCC_CASES_TEST_SUPPORT_H_
