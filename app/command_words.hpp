// The words of one command line and the checks on them, with the messages a script's author
// reads: "tap needs X and Y", "unexpected 'x' after release". A mistake throws cli::UsageError.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// A command line's words: separated by spaces, tabs and line ends.
std::vector<std::string> SplitCommandLine(std::string_view line);

class CommandWords {
  public:
    explicit CommandWords(const std::vector<std::string>& words) : words_(words) {}

    const std::string& command() const { return words_[0]; }
    size_t size() const { return words_.size(); }
    bool has(size_t i) const { return i < words_.size(); }
    // Word i, or a mistake saying that the command needs `what`.
    const std::string& at(size_t i, const std::string& what) const;
    void noMoreAfter(size_t count) const;

    int x(size_t i) const;
    int y(size_t i) const;
    double ms(size_t i, const char* what = "a time in ms") const;
    int64_t whole(size_t i, int64_t low, int64_t high, const char* name) const;
    // Six hex digits RRGGBB.
    uint32_t colour(size_t i) const;
    // One or two hex digits.
    uint8_t hexByte(size_t i) const;

  private:
    const std::vector<std::string>& words_;
};

}  // namespace app
