#include "platform/command_line/standard_options.h"

#include <cstdio>
#include <cstring>

namespace verdanpost {

bool AnswerHelpOrVersion(int argc, char* const* argv, const char* program, const char* help) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) return false;
    if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(help, stdout);
    } else if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("%s (Verdanpost) %s\n", program, VERDANPOST_VERSION);
    } else {
      continue;
    }
    std::fflush(stdout);
    return true;
  }
  return false;
}

}  // namespace verdanpost
