#include "module.hpp"

#include <cctype>
#include <sstream>
#include <vector>

#include "cli.hpp"
#include "registers.hpp"

namespace remote_module {

Module::Module(uint16_t* registers, bool running, Say say)
    : registers_(registers), say_(std::move(say)) {
    process_.setRunning(running);
    sync(0);
}

void Module::sync(double seconds) {
    process_.advanceTo(seconds);
    for (int i = 0; i < remote_io::kRegisterCount; ++i) {
        registers_[i] = process_.read(i);
    }
}

void Module::takeWrites(double seconds) {
    const size_t eventsBefore = process_.events().size();
    for (int i = 0; i < remote_io::kRegisterCount; ++i) {
        const uint16_t value = registers_[i];
        if (value != process_.read(i)) {
            process_.write(i, value, seconds);
            say_("write " + std::to_string(remote_io::kFirstRegister + i) + " " +
                 std::to_string(value));
        }
    }
    for (size_t e = eventsBefore; e < process_.events().size(); ++e) {
        const bool sms = process_.events()[e].kind == remote_io::Event::Kind::Sms;
        say_(std::string("request ") + (sms ? "sms" : "email"));
    }
}

bool Module::command(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    if (words.empty()) {
        return true;
    }
    const std::string& verb = words[0];
    const size_t arguments = verb == "quit" ? 0 : verb == "get" ? 1 : verb == "set" ? 2 : 99;
    if (arguments == 99) {
        say_("error unknown command '" + verb + "' (set REG VALUE, get REG or quit)");
        return true;
    }
    if (words.size() != arguments + 1) {
        say_("error " + verb + " takes " +
             (verb == "quit" ? std::string("nothing") : verb == "get" ? "REG" : "REG VALUE"));
        return true;
    }
    if (verb == "quit") {
        return false;
    }
    try {
        // A register by its address, or by its tool or variable name ("DO1", "Dev_1_AO10").
        const bool named =
            !words[1].empty() && std::isdigit(static_cast<unsigned char>(words[1][0])) == 0;
        const int found = named ? remote_io::FindRegister(words[1]) : -1;
        if (named && found < 0) {
            say_("error no register named " + cli::Quote(words[1]));
            return true;
        }
        const int reg = named ? remote_io::kFirstRegister + found
                              : static_cast<int>(cli::Whole(words[1], remote_io::kFirstRegister,
                                                            remote_io::kLastRegister, "REG"));
        const int index = reg - remote_io::kFirstRegister;
        if (verb == "get") {
            say_("value " + std::to_string(reg) + " " + std::to_string(process_.read(index)));
            return true;
        }
        const auto value = static_cast<uint16_t>(cli::Whole(words[2], 0, 0xFFFF, "VALUE"));
        if (process_.running() && remote_io::IsInput(index)) {
            say_("error register " + std::to_string(reg) + " (" + remote_io::NameOf(index) +
                 ") is an input the module's process drives; start with --static to hold it");
            return true;
        }
        process_.set(index, value);
        registers_[index] = value;
        say_("ok");
    } catch (const cli::UsageError& e) {
        say_("error " + e.message);
    }
    return true;
}

void Serve(modbus_t* ctx, modbus_mapping_t* mapping, Module& module, const uint8_t* request,
           int length, double seconds) {
    module.sync(seconds);
    modbus_reply(ctx, request, length, mapping);
    module.takeWrites(seconds);
}

std::optional<std::string> ConsoleLines::next() {
    const size_t end = pending_.find('\n');
    if (end == std::string::npos) {
        return std::nullopt;
    }
    std::string line = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    return line;
}

}  // namespace remote_module
