#include "script_reader.hpp"

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace app {

namespace {

// A stream over text shared with the source, not copied for each pass.
class SharedTextStream : public std::istream {
  public:
    explicit SharedTextStream(std::shared_ptr<const std::string> text)
        : std::istream(&buffer_), text_(std::move(text)), buffer_(*text_) {}

  private:
    class Buffer : public std::streambuf {
      public:
        explicit Buffer(const std::string& text) {
            char* begin = const_cast<char*>(text.data());  // only ever read
            setg(begin, begin, begin + text.size());
        }
    };
    std::shared_ptr<const std::string> text_;
    Buffer buffer_;
};

}  // namespace

ScriptReader::ScriptReader(std::istream& in, std::string name) : in_(in), name_(std::move(name)) {}

std::string ScriptReader::where(int line) const {
    return name_ + ":" + std::to_string(line) + ": ";
}

bool ScriptReader::next(ScriptLine& line) {
    while (std::getline(in_, text_)) {
        ++number_;
        size_t start = 0;
        if (number_ == 1 && text_.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            start = 3;  // the byte-order mark some editors put at the top
        }
        if (!text_.empty() && text_.back() == '\r') {
            text_.pop_back();  // a line ending in CR LF
        }
        line.number = number_;
        if (!split(start == 0 ? text_ : text_.substr(start), line)) {
            return false;
        }
        if (!line.words.empty() && line.words[0][0] != '#') {
            return true;
        }
    }
    if (in_.bad()) {
        error_ = name_ + ": cannot be read";
    }
    return false;
}

bool ScriptReader::split(const std::string& text, ScriptLine& line) {
    size_t count = 0;  // words of this line so far (the vector's strings are reused)
    const size_t size = text.size();
    for (size_t at = 0; at < size;) {
        if (text[at] == ' ' || text[at] == '\t') {
            ++at;
            continue;
        }
        // A word: copied whole (a script may have a million lines).
        size_t end = at;
        while (end < size && text[end] != ' ' && text[end] != '\t') {
            const auto byte = static_cast<unsigned char>(text[end]);
            if (byte < 0x20 || byte == 0x7F) {
                return refuseControl(text, end, line);
            }
            ++end;
        }
        if (count == line.words.size()) {
            line.words.emplace_back();
        }
        line.words[count++].assign(text, at, end - at);
        at = end;
    }
    line.words.resize(count);
    return true;
}

bool ScriptReader::refuseControl(const std::string& text, size_t at, const ScriptLine& line) {
    size_t column = 0;  // characters, as an editor counts them
    for (size_t i = 0; i <= at; ++i) {
        column += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 ? 1 : 0;
    }
    const auto byte = static_cast<unsigned char>(text[at]);
    char what[64];
    if (byte == 0) {
        std::snprintf(what, sizeof(what), "a NUL character");
    } else {
        std::snprintf(what, sizeof(what), "the control character 0x%02X", byte);
    }
    error_ = name_ + ":" + std::to_string(line.number) + ":" + std::to_string(column) + ": " +
             what + " (a script is plain text, words separated by spaces)";
    return false;
}

std::optional<ScriptSource> ScriptSource::Open(const std::string& path, std::string* error) {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        *error = "--script " + path + " is a folder, not a script";
        return std::nullopt;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "--script " + path + " cannot be read";
        return std::nullopt;
    }
    ScriptSource source;
    source.path_ = path;
    if (!S_ISREG(status.st_mode)) {
        source.text_ = std::make_shared<const std::string>(std::istreambuf_iterator<char>(file),
                                                           std::istreambuf_iterator<char>());
    }
    return source;
}

std::unique_ptr<std::istream> ScriptSource::open() const {
    if (text_) {
        return std::make_unique<SharedTextStream>(text_);
    }
    auto file = std::make_unique<std::ifstream>(path_, std::ios::binary);
    if (!*file) {
        return nullptr;
    }
    return file;
}

}  // namespace app
