// The command-line convention every host program of the project follows:
//   --help (or -h) prints the usage on standard output and exits 0;
//   an unknown option, a missing value, a value that is itself an option, an empty value, a
//   number that is not wholly a number or is out of range: one line naming the option on
//   standard error, then exit 2 — before anything is written;
//   an option is never taken as a file name ("--" ends the options for a file named "-x").
// Values may follow as the next argument or after '=' (--seconds=5).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// Thrown by a value's handler (or by Parser::fail) to reject the command line.
struct UsageError {
    std::string message;
};

// Strict numbers: the whole text, finite, within [low, high]. Whole numbers are decimal, or
// hexadecimal with an explicit 0x (a leading zero is not octal). Throw UsageError naming `what`.
double Real(const std::string& text, double low, double high, const std::string& what);
int64_t Whole(const std::string& text, int64_t low, int64_t high, const std::string& what);

class Parser {
  public:
    Parser(std::string program, std::string usage);

    // An option without a value.
    Parser& flag(const std::string& name, bool& target);
    // An option with `count` values (1 by default), handed over as they stand; it may repeat
    // only if `repeatable`.
    using Handler = std::function<void(const std::vector<std::string>& values)>;
    Parser& option(const std::string& name, Handler handler, int count = 1,
                   bool repeatable = false);
    // Conveniences over option().
    Parser& text(const std::string& name, std::string& target);
    Parser& real(const std::string& name, double& target, double low, double high);
    Parser& whole(const std::string& name, int64_t& target, int64_t low, int64_t high);
    // Positional arguments, in order; `required` of them must be given.
    Parser& positional(const std::string& name, std::string& target, bool required = true);

    // Parses argv[first..argc). Returns the exit code when the program should stop now
    // (0 after --help, 2 after an error that has been printed), nothing when it should go on.
    std::optional<int> parse(int argc, char** argv, int first = 1);

    bool given(const std::string& name) const;
    // Prints "program: message" and the hint, and returns 2, for checks after parse().
    int fail(const std::string& message) const;

    const std::string& usage() const { return usage_; }

  private:
    struct Option {
        std::string name;
        int count = 0;  // 0: a flag
        bool repeatable = false;
        Handler handler;
        bool* flag = nullptr;
    };
    struct Positional {
        std::string name;
        std::string* target = nullptr;
        bool required = true;
    };
    Option* find(const std::string& name);
    void parseArguments(int argc, char** argv, int first);

    std::string program_;
    std::string usage_;
    std::vector<Option> options_;
    std::vector<Positional> positionals_;
    std::vector<std::string> given_;
};

// `text` in single quotes for a message, cut to about 60 characters ("'abc...' (100000
// characters)") so that a huge value does not fill the screen.
std::string Quote(const std::string& text);

// Throws UsageError naming `what` (an option, a command) unless a file can be written at
// `path`: its folder exists and is writable, and the path is not a folder or a file that cannot
// be written. Nothing is created or changed; "-" (standard output) is for the caller to allow.
void CheckOutputPath(const std::string& path, const std::string& what);

// True when `text` would be read as an option rather than a value: it starts with '-' and is
// neither "-" alone (standard input or output) nor a negative number.
bool LooksLikeOption(const std::string& text);

}  // namespace cli
