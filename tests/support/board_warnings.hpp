// For a test that provokes board warnings on purpose: takes them (so the end-of-test check finds
// none left) and gives their texts, for comparing with what the test expects.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board.hpp"

// The texts of the board's warnings of the given kind; a warning of another kind fails the test.
inline std::vector<std::string> TakeWarnings(sim::Board& board, sim::WarningKind kind) {
    std::vector<std::string> texts;
    for (const sim::BoardWarning& warning : board.warnings().take()) {
        if (warning.kind != kind) {
            ADD_FAILURE() << "unexpected " << sim::Describe(warning);
            continue;
        }
        texts.push_back(warning.what);
    }
    return texts;
}
