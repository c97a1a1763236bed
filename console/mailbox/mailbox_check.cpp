#include "console/mailbox/mailbox_check.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <unordered_set>

#include "console/mailbox/mail_classifier.h"

namespace verdanpost::mailbox {

namespace {

// Messages flagged handled at a time: a dropped connection loses the flags
// of at most these, and ListMail keeps their findings from counting twice.
constexpr size_t kFlagEvery = 200;

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string Counted(int count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string DateText(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[32];
  std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

const char* DeleterName(FindingKind why) {
  switch (why) {
    case FindingKind::kHard:
      return "Mailbox: hard bounce";
    case FindingKind::kSoft:
      return "Mailbox: soft bounces";
    case FindingKind::kComplaint:
      return "Mailbox: complaint";
    case FindingKind::kUnsubscribe:
      return "Mailbox: unsubscribe request";
  }
  return "Mailbox";
}

void Count(FindingKind kind, CheckSummary* summary) {
  switch (kind) {
    case FindingKind::kHard:
      ++summary->hard;
      break;
    case FindingKind::kSoft:
      ++summary->soft;
      break;
    case FindingKind::kComplaint:
      ++summary->complaints;
      break;
    case FindingKind::kUnsubscribe:
      ++summary->unsubscribes;
      break;
  }
}

}  // namespace

std::string SummaryText(const CheckSummary& s) {
  return Counted(s.messages, "message", "messages") +
         " read: " + Counted(s.hard, "hard bounce", "hard bounces") + ", " +
         Counted(s.soft, "soft bounce", "soft bounces") + ", " +
         Counted(s.complaints, "complaint", "complaints") + ", " +
         Counted(s.unsubscribes, "unsubscribe request", "unsubscribe requests") + ", " +
         std::to_string(s.not_understood) + " not understood.";
}

std::string RemoveQuestion(size_t subscribers) {
  return "Remove the " + std::to_string(subscribers) +
         (subscribers == 1 ? " subscriber" : " subscribers") +
         " who bounced hard, complained or asked to leave?";
}

CheckFailure CheckMailbox(MailboxReader& reader, mailinglist::ListConnection& list,
                          const std::string& folder, const std::string& list_address,
                          CheckProgress* progress, CheckSummary* summary, std::string* err) {
  *summary = CheckSummary();
  std::set<uint32_t> stored;
  std::vector<std::optional<std::string>> addresses;
  database::Status status = ReadStoredUids(list.get(), folder, &stored);
  if (status.ok()) status = mailinglist::ReadSubscriberAddresses(list, &addresses);
  if (!status.ok()) {
    *err = "The list database could not be read: " + status.message();
    return CheckFailure::kDatabase;
  }
  std::unordered_set<std::string> subscribers;
  for (const auto& address : addresses) {
    if (address) subscribers.insert(Lower(*address));
  }
  addresses.clear();

  std::vector<uint32_t> uids, unseen;
  if (!reader.ListUnhandled(&uids, &unseen, err)) return CheckFailure::kMailbox;
  std::unordered_set<uint32_t> unseen_set(unseen.begin(), unseen.end());

  // Findings are stored before their messages are flagged: a flag without
  // its findings would lose them, while findings whose flag was lost are
  // found in ListMail next time.
  CheckFailure failure = CheckFailure::kNone;
  std::vector<Finding> findings;
  std::vector<uint32_t> to_flag, to_unsee;
  auto store_and_flag = [&]() {
    if (status = AppendFindings(list.get(), findings); !status.ok()) {
      *err = "The findings could not be stored in ListMail: " + status.message();
      failure = CheckFailure::kDatabase;
      return false;
    }
    findings.clear();
    if (!reader.MarkHandled(to_flag, to_unsee, err)) {
      failure = CheckFailure::kMailbox;
      return false;
    }
    to_flag.clear();
    to_unsee.clear();
    return true;
  };

  const std::string now = DateText(std::time(nullptr));
  const int total = static_cast<int>(uids.size());
  int number = 0;
  auto each = [&](uint32_t uid, const std::string& message) {
    if (summary->cancelled || (progress != nullptr && progress->CancelRequested())) {
      // Not handled, but read, which marked it seen: it is marked unseen
      // again if it was.
      summary->cancelled = true;
      if (unseen_set.count(uid) != 0) to_unsee.push_back(uid);
      return false;
    }
    if (progress != nullptr) progress->Reading(++number, total);
    to_flag.push_back(uid);
    if (unseen_set.count(uid) != 0) to_unsee.push_back(uid);
    if (stored.count(uid) == 0) {
      ++summary->messages;
      Verdict verdict = ClassifyMail(message, list_address, now);
      if (verdict.kind == MailKind::kUnsubscribe &&
          subscribers.count(Lower(verdict.findings[0].address)) == 0) {
        verdict = Verdict();  // not from a subscriber: ordinary mail
      }
      if (verdict.kind == MailKind::kNotUnderstood) ++summary->not_understood;
      for (Finding& finding : verdict.findings) {
        finding.uid = uid;
        finding.folder = folder;
        Count(finding.kind, summary);
        findings.push_back(std::move(finding));
      }
    }
    return to_flag.size() < kFlagEvery || store_and_flag();
  };
  if (!reader.FetchEach(uids, each, err)) {
    if (failure == CheckFailure::kNone) {
      // The connection is likely gone: what was read is stored, and its
      // flags are tried once more.
      failure = CheckFailure::kMailbox;
      std::string ignored;
      if (AppendFindings(list.get(), findings).ok())
        reader.MarkHandled(to_flag, to_unsee, &ignored);
    }
    return failure;
  }
  if (failure == CheckFailure::kNone) store_and_flag();
  return failure;
}

database::Status PlanRemovals(mailinglist::ListConnection& list, const MailboxSettings& settings,
                              std::time_t now, std::vector<Removal>* removals) {
  removals->clear();
  std::vector<Finding> pending;
  std::vector<std::optional<std::string>> addresses;
  database::Status status = ReadPendingFindings(list.get(), &pending);
  if (status.ok()) status = mailinglist::ReadSubscriberAddresses(list, &addresses);
  if (!status.ok()) return status;
  std::map<std::string, std::string> subscribers;  // lower case -> as stored
  for (const auto& address : addresses) {
    if (address) subscribers.emplace(Lower(*address), *address);
  }
  const std::string since = DateText(now - std::time_t{86400} * settings.soft_bounce_days);

  struct Tally {
    size_t first;
    bool hard = false, complaint = false, unsubscribe = false;
    int recent_soft = 0;
  };
  std::map<std::string, Tally> tallies;
  for (size_t i = 0; i < pending.size(); ++i) {
    const Finding& f = pending[i];
    Tally& tally = tallies.try_emplace(Lower(f.address), Tally{i}).first->second;
    switch (f.kind) {
      case FindingKind::kHard:
        tally.hard = true;
        break;
      case FindingKind::kComplaint:
        tally.complaint = true;
        break;
      case FindingKind::kUnsubscribe:
        tally.unsubscribe = true;
        break;
      case FindingKind::kSoft:
        if (f.date >= since) ++tally.recent_soft;
        break;
    }
  }
  std::vector<std::pair<size_t, Removal>> ordered;
  for (const auto& [address, tally] : tallies) {
    auto subscriber = subscribers.find(address);
    if (subscriber == subscribers.end()) continue;
    Removal removal{subscriber->second};
    if (tally.hard) {
      removal.why = FindingKind::kHard;
    } else if (tally.complaint) {
      removal.why = FindingKind::kComplaint;
    } else if (tally.recent_soft >= settings.soft_bounce_limit) {
      removal.why = FindingKind::kSoft;
    } else if (tally.unsubscribe) {
      removal.why = FindingKind::kUnsubscribe;
    } else {
      continue;
    }
    // A farewell only to an address that asked to leave and whose mail
    // arrives: never to one that bounced or complained.
    removal.farewell =
        tally.unsubscribe && !tally.hard && !tally.complaint && tally.recent_soft == 0;
    ordered.emplace_back(tally.first, std::move(removal));
  }
  std::sort(ordered.begin(), ordered.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [first, removal] : ordered) removals->push_back(std::move(removal));
  return database::Status::OK();
}

database::Status RemoveSubscriber(mailinglist::ListConnection& list, const Removal& removal,
                                  std::string* name, bool* removed) {
  *removed = false;
  mailinglist::Recordset lookup;
  database::Status status =
      lookup.Open(mailinglist::SubscriberLookupQuery(removal.email), list.get());
  int64_t count = 0;
  if (status.ok()) status = lookup.RecordCount(&count);
  if (status.ok() && count >= 1) {
    status = mailinglist::FieldText(lookup, "Name", name);
    mailinglist::Recordset log;
    if (status.ok())
      status = mailinglist::AppendRemoval(list, DeleterName(removal.why), lookup, &log);
    // As with Delete, a logged removal goes ahead even when the trim fails.
    if (status.ok()) {
      mailinglist::TrimRemovalLog(log);
      log.Close();
      status = lookup.Delete();
      *removed = status.ok();
    }
  }
  lookup.Close();
  if (status.ok()) {
    status = MarkAddressHandled(list.get(), removal.email, DateText(std::time(nullptr)));
  }
  return status;
}

}  // namespace verdanpost::mailbox
