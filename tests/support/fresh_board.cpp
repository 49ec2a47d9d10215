#include "support/fresh_board.hpp"

#include <memory>

#include "core/startup.hpp"

namespace {

struct FreshBench {
    std::unique_ptr<sim::Board> board;
    std::unique_ptr<sim::HostCore> core;
};
FreshBench g_fresh;

}  // namespace

sim::Board& FreshBoard(const sim::BoardConfig& config) {
    ReleaseFreshBoard();
    g_fresh.board = std::make_unique<sim::Board>(config);
    g_fresh.core = std::make_unique<sim::HostCore>(*g_fresh.board, g_pfnVectors, kVectorCount,
                                                   sim::HostCore::Mode::Direct);
    return *g_fresh.board;
}

sim::HostCore& FreshCore() {
    return *g_fresh.core;
}

void ReleaseFreshBoard() {
    g_fresh.core.reset();
    g_fresh.board.reset();
}
