// Reading a script: the text, one line at a time, cut into words. Knows nothing of the commands
// themselves; what it hands on is a line number and the words, which is all a command's check
// and action need.
//
// A script is read as a stream, never held whole: a check pass reads it to the end before the
// firmware starts, and the run reads it again. A UTF-8 byte-order mark at the very top is
// skipped, a line may end in CR LF, and words are separated by spaces or tabs. Any other control
// character (a NUL, an escape, a lone CR) is a mistake reported as NAME:LINE:COLUMN.
#pragma once

#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace app {

struct ScriptLine {
    int number = 0;                  // 1 for the first line of the file
    std::vector<std::string> words;  // never empty: the first is the command
};

class ScriptReader {
  public:
    ScriptReader(std::istream& in, std::string name);

    // The next line that holds a command, skipping blank lines and lines whose first word
    // starts with '#'. False at the end, or on a mistake in the text (error() says which).
    bool next(ScriptLine& line);
    const std::string& error() const { return error_; }

    // "NAME:LINE: " for messages about a line.
    std::string where(int line) const;

  private:
    bool split(const std::string& text, ScriptLine& line);
    bool refuseControl(const std::string& text, size_t at, const ScriptLine& line);

    std::istream& in_;
    std::string name_;
    std::string text_;  // the current line, reused
    int number_ = 0;
    std::string error_;
};

// Where a script's text comes from, so that it can be read more than once: a file is opened
// again for each pass; a pipe or a terminal, which cannot be, is read once into memory.
class ScriptSource {
  public:
    // Nothing, and why (one line), when the path cannot be read as a script.
    static std::optional<ScriptSource> Open(const std::string& path, std::string* error);

    // A stream at the start of the text; nothing if the file can no longer be opened.
    std::unique_ptr<std::istream> open() const;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::shared_ptr<const std::string> text_;  // the whole text when it is not a plain file
};

}  // namespace app
