#include "cli.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace cli {

bool LooksLikeOption(const std::string& text) {
    if (text.size() < 2 || text[0] != '-') {
        return false;
    }
    const char next = text[1] == '.' && text.size() > 2 ? text[2] : text[1];
    return !(next >= '0' && next <= '9');
}

std::string Quote(const std::string& text) {
    constexpr size_t kLongest = 60;
    constexpr size_t kKept = 57;
    size_t characters = 0;
    for (const char c : text) {
        characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    std::string quoted = "'";
    size_t kept = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool starts = (byte & 0xC0) != 0x80;
        if (starts && characters > kLongest && kept == kKept) {
            return quoted + "...' (" + std::to_string(characters) + " characters)";
        }
        kept += starts ? 1 : 0;
        if (text.compare(i, 3, "\xEF\xBB\xBF") == 0) {
            quoted += "<U+FEFF>";  // a byte-order mark, invisible otherwise
            i += 2;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\x%02X", byte);
            quoted += escaped;
        } else {
            quoted += text[i];
        }
    }
    return quoted + "'";
}

void CheckOutputPath(const std::string& path, const std::string& what) {
    const auto fail = [&](const std::string& why) {
        throw UsageError{what + " " + Quote(path) + ": " + why};
    };
    if (path.empty()) {
        fail("needs a file name");
    }
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) {
            fail("is a folder, not a file");
        }
        // An existing file is replaced: it must be writable (opened without truncating it).
        const int file = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (file < 0 && errno != ENXIO) {  // ENXIO: a pipe with no reader yet
            fail(std::string("cannot be written (") + std::strerror(errno) + ")");
        }
        if (file >= 0) {
            ::close(file);
        }
        return;
    }
    if (errno != ENOENT) {
        fail(std::strerror(errno));  // e.g. a part of the path is a file, not a folder
    }
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0              ? "/"
                                                         : path.substr(0, slash);
    if (::stat(folder.c_str(), &status) != 0) {
        fail("the folder " + Quote(folder) + " does not exist");
    }
    if (!S_ISDIR(status.st_mode)) {
        fail(Quote(folder) + " is not a folder");
    }
    struct statvfs volume {};
    if (::statvfs(folder.c_str(), &volume) == 0 && (volume.f_flag & ST_RDONLY) != 0) {
        fail("the folder " + Quote(folder) + " is on a read-only file system");
    }
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        fail("the folder " + Quote(folder) + " is not writable (" + std::strerror(errno) + ")");
    }
}

double Real(const std::string& text, double low, double high, const std::string& what) {
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    const bool whole = !text.empty() && end == text.c_str() + text.size();
    if (!whole || !std::isfinite(value) || errno == ERANGE || value < low || value > high) {
        char range[96];
        std::snprintf(range, sizeof(range), "a number from %g to %g", low, high);
        throw UsageError{what + " needs " + range + ", not " + Quote(text)};
    }
    return value;
}

int64_t Whole(const std::string& text, int64_t low, int64_t high, const std::string& what) {
    const auto bad = [&] {
        return UsageError{what + " needs a whole number from " + std::to_string(low) + " to " +
                          std::to_string(high) + ", not " + Quote(text)};
    };
    size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) {
        negative = text[at] == '-';
        ++at;
    }
    int base = 10;
    if (text.size() > at + 2 && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
        base = 16;
        at += 2;
    }
    if (at >= text.size()) {
        throw bad();
    }
    uint64_t magnitude = 0;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0 || magnitude > (UINT64_MAX - static_cast<uint64_t>(digit)) / base) {
            throw bad();
        }
        magnitude = magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    }
    // Anything beyond the 64-bit range is outside every range a caller asks for.
    if (magnitude > static_cast<uint64_t>(INT64_MAX)) {
        throw bad();
    }
    const int64_t value = negative ? -static_cast<int64_t>(magnitude)
                                   : static_cast<int64_t>(magnitude);
    if (value < low || value > high) {
        throw bad();
    }
    return value;
}

Parser::Parser(std::string program, std::string usage)
    : program_(std::move(program)), usage_(std::move(usage)) {}

Parser& Parser::flag(const std::string& name, bool& target) {
    options_.push_back(Option{name, 0, false, nullptr, &target});
    return *this;
}

Parser& Parser::option(const std::string& name, Handler handler, int count, bool repeatable) {
    options_.push_back(Option{name, count, repeatable, std::move(handler), nullptr});
    return *this;
}

Parser& Parser::text(const std::string& name, std::string& target) {
    return option(name, [&target](const std::vector<std::string>& v) { target = v[0]; });
}

Parser& Parser::real(const std::string& name, double& target, double low, double high) {
    return option(name, [&target, low, high, name](const std::vector<std::string>& v) {
        target = Real(v[0], low, high, name);
    });
}

Parser& Parser::whole(const std::string& name, int64_t& target, int64_t low, int64_t high) {
    return option(name, [&target, low, high, name](const std::vector<std::string>& v) {
        target = Whole(v[0], low, high, name);
    });
}

Parser& Parser::positional(const std::string& name, std::string& target, bool required) {
    positionals_.push_back(Positional{name, &target, required});
    return *this;
}

Parser::Option* Parser::find(const std::string& name) {
    const auto it = std::find_if(options_.begin(), options_.end(),
                                 [&name](const Option& o) { return o.name == name; });
    return it == options_.end() ? nullptr : &*it;
}

bool Parser::given(const std::string& name) const {
    return std::find(given_.begin(), given_.end(), name) != given_.end();
}

int Parser::fail(const std::string& message) const {
    std::fprintf(stderr, "%s: %s (see %s --help)\n", program_.c_str(), message.c_str(),
                 program_.c_str());
    return 2;
}

void Parser::parseArguments(int argc, char** argv, int first) {
    size_t nextPositional = 0;
    bool optionsEnded = false;
    for (int i = first; i < argc; ++i) {
        std::string arg = argv[i];
        const auto takePositional = [&] {
            if (nextPositional >= positionals_.size()) {
                throw UsageError{"unexpected argument '" + arg + "'"};
            }
            if (arg.empty()) {
                throw UsageError{positionals_[nextPositional].name + " must not be empty"};
            }
            *positionals_[nextPositional++].target = arg;
        };
        if (optionsEnded || !LooksLikeOption(arg)) {
            takePositional();
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::optional<std::string> inlineValue;
        const size_t equals = arg.find('=');
        if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            inlineValue = arg.substr(equals + 1);
            arg.resize(equals);
        }
        Option* option = find(arg);
        if (option == nullptr) {
            throw UsageError{"unknown option '" + arg + "'"};
        }
        if (given(arg) && !option->repeatable) {
            throw UsageError{arg + " is given twice"};
        }
        given_.push_back(arg);
        if (option->count == 0) {
            if (inlineValue) {
                throw UsageError{arg + " takes no value"};
            }
            *option->flag = true;
            continue;
        }
        std::vector<std::string> values;
        if (inlineValue) {
            values.push_back(*inlineValue);
        }
        while (static_cast<int>(values.size()) < option->count) {
            if (i + 1 >= argc) {
                throw UsageError{arg + " needs " +
                                 (option->count == 1 ? std::string("a value")
                                                     : std::to_string(option->count) + " values")};
            }
            const std::string value = argv[++i];
            if (LooksLikeOption(value)) {
                throw UsageError{arg + " needs a value, not the option '" + value + "'"};
            }
            values.push_back(value);
        }
        for (const std::string& value : values) {
            if (value.empty()) {
                throw UsageError{arg + " needs a value that is not empty"};
            }
        }
        option->handler(values);
    }
    for (size_t p = nextPositional; p < positionals_.size(); ++p) {
        if (positionals_[p].required) {
            throw UsageError{"missing " + positionals_[p].name};
        }
    }
}

std::optional<int> Parser::parse(int argc, char** argv, int first) {
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            break;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage_.c_str(), stdout);
            return 0;
        }
    }
    try {
        parseArguments(argc, argv, first);
    } catch (const UsageError& error) {
        return fail(error.message);
    }
    return std::nullopt;
}

}  // namespace cli
