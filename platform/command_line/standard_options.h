#ifndef VERDANPOST_PLATFORM_COMMAND_LINE_STANDARD_OPTIONS_H_
#define VERDANPOST_PLATFORM_COMMAND_LINE_STANDARD_OPTIONS_H_

namespace verdanpost {

// Answers the two options every program of the package takes, "--help" and
// "--version", before the program reads anything else of its command line.
// Returns true when one of them is an argument (the first one wins;
// arguments after "--" do not count), after printing the answer to standard
// output: the help text as given, or "PROGRAM (Verdanpost) VERSION". The
// caller then exits with 0.
bool AnswerHelpOrVersion(int argc, char* const* argv, const char* program, const char* help);

}  // namespace verdanpost

#endif  // VERDANPOST_PLATFORM_COMMAND_LINE_STANDARD_OPTIONS_H_
