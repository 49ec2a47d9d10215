#include "monitor_text.hpp"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace app {

namespace {

constexpr size_t kIndent = 4;

// A monitor line as the panel shows it: time, direction, verdict, meaning (without the hex,
// which the log file has).
std::string Shown(const std::string& line) {
    const std::string full = line.substr(std::min(line.find_first_not_of(' '), line.size()));
    const size_t meaningAt = full.find("  | ");
    const size_t verdictAt = full.rfind(" | ");
    if (meaningAt == std::string::npos || verdictAt == std::string::npos ||
        verdictAt <= meaningAt) {
        return full;
    }
    const size_t headEnd = full.find("  ", full.find("ms  ") + 4);
    return full.substr(0, headEnd) + "  " + full.substr(verdictAt + 3) + ": " +
           full.substr(meaningAt + 4, verdictAt - meaningAt - 4);
}

}  // namespace

std::vector<std::string> WrapText(const std::string& text, size_t columns, size_t indent) {
    std::vector<std::string> rows;
    columns = std::max<size_t>(columns, indent + 8);
    std::string rest = text;
    while (rest.size() > columns - (rows.empty() ? 0 : indent)) {
        const size_t room = columns - (rows.empty() ? 0 : indent);
        size_t cut = rest.rfind(' ', room);
        const bool atSpace = cut != std::string::npos && cut > 0;
        if (!atSpace) {
            cut = room;  // one word longer than the row
        }
        rows.push_back((rows.empty() ? "" : std::string(indent, ' ')) + rest.substr(0, cut));
        const size_t next = rest.find_first_not_of(' ', cut);
        rest = next == std::string::npos ? std::string() : rest.substr(next);
    }
    if (!rest.empty() || rows.empty()) {
        rows.push_back((rows.empty() ? "" : std::string(indent, ' ')) + rest);
    }
    return rows;
}

std::vector<MonitorRow> MonitorText(const ModbusCounters& c,
                                    const std::vector<std::string>& lines, size_t columns,
                                    size_t rows) {
    std::vector<MonitorRow> text;
    char line[240];
    std::snprintf(line, sizeof(line), "Modbus: %" PRIu64 " requests  %" PRIu64 " good", c.requests,
                  c.good);
    for (std::string& row : WrapText(line, columns, kIndent)) {
        text.push_back({std::move(row), false});
    }
    std::snprintf(line, sizeof(line),
                  "CRC %" PRIu64 "  timeout %" PRIu64 "  exception %" PRIu64 "  late %" PRIu64
                  "  other %" PRIu64 "  unasked frames %" PRIu64,
                  c.crcErrors, c.timeouts, c.exceptions, c.late, c.otherErrors, c.unasked);
    for (std::string& row : WrapText(line, columns, kIndent)) {
        text.push_back({std::move(row), false});
    }
    text.push_back({});
    // The newest lines that fit whole, from the bottom up.
    std::vector<MonitorRow> exchanges;
    size_t room = rows > text.size() ? rows - text.size() : 0;
    for (size_t i = lines.size(); i-- > 0;) {
        const std::string shown = Shown(lines[i]);
        const bool bad = shown.find(" good:") == std::string::npos;
        std::vector<std::string> wrapped = WrapText(shown, columns, kIndent);
        if (wrapped.size() > room) {
            break;
        }
        room -= wrapped.size();
        for (size_t r = wrapped.size(); r-- > 0;) {
            exchanges.push_back({std::move(wrapped[r]), bad});
        }
    }
    text.insert(text.end(), exchanges.rbegin(), exchanges.rend());
    if (text.size() > rows) {
        text.resize(rows);
    }
    return text;
}

}  // namespace app
