// autocall PROGID STEP...: creates one object by ProgID and runs the steps
// on it in order, printing each value that a get or call yields.

#include <cstdio>
#include <string>

#include "platform/automation/autocall_step.h"
#include "platform/automation/automation_object.h"
#include "platform/command_line/standard_options.h"

namespace verdanpost {
namespace {

constexpr char kHelp[] =
    "Usage: autocall PROGID [NAME=VALUE | NAME | NAME(ARG, ...)]...\n"
    "Creates one object by its ProgID (registered with autoreg) and runs the\n"
    "steps on it in order:\n"
    "\n"
    "  NAME=VALUE        put a property: an integer, true, false or a string\n"
    "                    (quote it to force a string)\n"
    "  NAME              print a property, or the result of a method without\n"
    "                    arguments, on a line of its own\n"
    "  NAME(ARG, ...)    call a method with double-quoted strings (escapes \\\",\n"
    "                    \\\\, \\r, \\n, \\t), integers, true or false\n"
    "\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n"
    "\n"
    "Example:\n"
    "  autocall Verdanpost.SMTPMailer.1 ServerName=mail.example.org \\\n"
    "    'SendMessage(\"ann@example.org\", \"bob@example.org\", \"\", \"\", \"Hi\", \"Hi Bob\")' "
    "\\\n"
    "    ErrorCode ErrorMessage\n"
    "Exits with 1 when the ProgID is not registered, a member is unknown or a\n"
    "call fails, and with 2 when a step cannot be read. See autocall(1).\n";

int Run(int argc, char** argv) {
  if (AnswerHelpOrVersion(argc, argv, "autocall", kHelp)) return 0;
  if (argc < 2) {
    std::fprintf(stderr, "usage: autocall PROGID [NAME=VALUE | NAME | NAME(ARG, ...)]...\n");
    return 2;
  }
  // Parse every step before creating the object, so a typo sends nothing.
  std::vector<AutocallStep> steps(static_cast<size_t>(argc - 2));
  for (int i = 2; i < argc; ++i) {
    std::string err;
    if (!ParseAutocallStep(argv[i], &steps[static_cast<size_t>(i - 2)], &err)) {
      std::fprintf(stderr, "autocall: %s\n", err.c_str());
      return 2;
    }
  }
  std::string err;
  AutomationObject object = AutomationObject::Create(argv[1], &err);
  if (!object.valid()) {
    std::fprintf(stderr, "autocall: %s\n", err.c_str());
    return 1;
  }
  for (const AutocallStep& step : steps) {
    AutomationResult result;
    switch (step.kind) {
      case AutocallStep::Kind::kPut:
        result = object.Put(step.name, step.args[0]);
        break;
      case AutocallStep::Kind::kGet:
        result = object.GetOrCall(step.name);
        break;
      case AutocallStep::Kind::kCall:
        result = object.Call(step.name, step.args);
        break;
    }
    if (!result.ok()) {
      std::fprintf(stderr, "autocall: %s\n", result.error().c_str());
      return 1;
    }
    if (result.value().type() != VT_EMPTY) std::printf("%s\n", result.value().ToString().c_str());
  }
  std::fflush(stdout);
  return 0;
}

}  // namespace
}  // namespace verdanpost

int main(int argc, char** argv) { return verdanpost::Run(argc, argv); }
