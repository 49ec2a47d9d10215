// The text of the window's Modbus monitor, laid out in rows of a fixed width: the counters, then
// the newest exchanges that fit, each wrapped at spaces (its later rows indented) rather than
// cut at the edge, so that a read's register values are all there.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "modbus_monitor.hpp"

namespace app {

struct MonitorRow {
    std::string text;
    bool bad = false;  // part of an exchange that was not good
};

// `lines`: the monitor's lines, oldest first; at most `rows` rows of at most `columns`
// characters each.
std::vector<MonitorRow> MonitorText(const ModbusCounters& counters,
                                    const std::vector<std::string>& lines, size_t columns,
                                    size_t rows);

// `text` in rows of at most `columns` characters, broken at spaces where there are any; the rows
// after the first start with `indent` spaces.
std::vector<std::string> WrapText(const std::string& text, size_t columns, size_t indent);

}  // namespace app
