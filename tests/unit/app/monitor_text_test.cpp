// The window's Modbus monitor lays out its lines in rows of its width: nothing of a line is cut
// (a read's 22 register values all shown), no row is wider than the panel, the newest exchange
// is at the bottom.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "monitor_text.hpp"

namespace {

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

const char* const kRead =
    "    6912.547 ms  module>panel  01 03 2C 00 00  | slave 1: 22 registers: 0 0 0 0 0 1 0 13 6 "
    "3 0 0 0 0 0 0 654 298 673 819 0 0 | good";

TEST(MonitorText, WrapsLinesAtSpacesWithinTheWidthLosingNoWord) {
    const struct {
        std::string text;
        size_t columns;
    } cases[] = {
        {"slave 1: 22 registers: 0 0 0 0 0 1 0 13 6 3 0 0 0 0 0 0 654 298 673 819 0 0", 40},
        {"short", 40},
        {std::string(100, 'x') + " tail", 30},  // a word longer than a row is broken
        {"a  b   c", 12},
        {"", 20},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> rows = app::WrapText(c.text, c.columns, 4);
        std::string joined;
        for (size_t i = 0; i < rows.size(); ++i) {
            EXPECT_LE(rows[i].size(), c.columns) << c.text;
            if (i > 0) {
                EXPECT_EQ(rows[i].substr(0, 4), "    ") << c.text;
            }
            joined += rows[i].substr(i > 0 ? 4 : 0);
            joined += rows[i].size() < c.columns ? " " : "";  // a full row may end inside a word
        }
        std::string unbroken;
        for (const std::string& word : Words(joined)) {
            unbroken += word;
        }
        std::string expected;
        for (const std::string& word : Words(c.text)) {
            expected += word;
        }
        EXPECT_EQ(unbroken, expected) << c.text;
        if (c.text.size() <= 30) {
            EXPECT_EQ(Words(joined), Words(c.text)) << c.text;
        }
    }
}

TEST(MonitorText, ShowsEveryRegisterOfTheNewestReadsAndTheCountersInItsRows) {
    app::ModbusCounters counters;
    counters.requests = 12;
    counters.good = 11;
    counters.late = 1;
    std::vector<std::string> lines;
    for (int i = 0; i < 30; ++i) {
        lines.push_back(kRead);
    }
    lines.push_back("    7005.543 ms  panel>module  01 03 00 62 00 16 65 DA  | slave 1: read "
                    "holding 98-119 (22) | good");
    const size_t columns = 60;
    const size_t rows = 20;
    const std::vector<app::MonitorRow> text = app::MonitorText(counters, lines, columns, rows);
    ASSERT_LE(text.size(), rows);
    std::string all;
    for (const app::MonitorRow& row : text) {
        EXPECT_LE(row.text.size(), columns) << row.text;
        all += row.text + "\n";
    }
    EXPECT_NE(all.find("12 requests"), std::string::npos) << all;
    EXPECT_NE(all.find("late 1"), std::string::npos) << all;
    // The newest line last, wrapped: its start on the row before, its end on the last row.
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text[text.size() - 2].text.find("7005.543 ms"), 0u) << all;
    EXPECT_NE(text.back().text.find("98-119 (22)"), std::string::npos) << all;
    // The last read answer above it, whole: its 22 values follow "22 registers:".
    const size_t last = all.rfind("22 registers:");
    ASSERT_NE(last, std::string::npos) << all;
    const std::vector<std::string> after = Words(all.substr(last + 13));
    ASSERT_GE(after.size(), 23u) << all;
    EXPECT_EQ(after[18], "673") << all;
    EXPECT_EQ(after[21], "0") << all;
    EXPECT_EQ(after[22], "7005.543") << all;  // the next line: nothing of the read was lost
    EXPECT_FALSE(text.back().bad);
}

}  // namespace
