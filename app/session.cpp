#include "session.hpp"

#include <cstdio>

#include "debugger.hpp"
#include "panel_models.hpp"
#include "workbench.hpp"

namespace app {

std::string StatusLine(const Session& session) {
    sim::Board& board = session.panel.board();
    const PanelView& view = session.view;
    const auto number = [](const auto& value) {
        return value ? std::to_string(*value) : std::string("?");
    };
    char line[200];
    std::snprintf(line, sizeof(line),
                  "t=%8.3f s  clock=%u Hz  ticks=%s  backlight=%s  frame=%s  Dev_1_ERROR=%s",
                  session.panel.nowMs() / 1000.0, board.sysctl().clockHz(),
                  number(view.ticks()).c_str(), sim::DisplayOf(board).backlight() ? "on" : "off",
                  number(view.screen()).c_str(), number(view.dev1Error()).c_str());
    std::string status = line + session.bench.statusSuffix();
    if (const auto instructions = view.instructions()) {
        status += "  instructions=" + std::to_string(*instructions) + "  cycles~" +
                  std::to_string(view.cycles().value_or(0));
    }
    if (session.debugger != nullptr) {
        if (const std::string halted = session.debugger->haltedText(); !halted.empty()) {
            status += "  " + halted;
        }
    }
    return status;
}

}  // namespace app
