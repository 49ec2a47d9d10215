#include "warnings.hpp"

#include <cstdio>
#include <utility>

#include "board.hpp"

namespace sim {

namespace {
const char* KindName(WarningKind kind) {
    switch (kind) {
        case WarningKind::Unimplemented:
            return "unimplemented";
        case WarningKind::WriteToReadOnly:
            return "write to read-only";
        case WarningKind::ReadOfWriteOnly:
            return "read of write-only";
        case WarningKind::CharacterDropped:
            return "character dropped";
    }
    return "?";
}
}  // namespace

std::string Describe(const BoardWarning& warning) {
    return "board warning at cycle " + std::to_string(warning.cycle) + ", " + Hex(warning.address) +
           " value " + Hex(warning.value) + " (" + KindName(warning.kind) + "): " + warning.what;
}

WarningLog::~WarningLog() {
    if (!warnings_.empty() || notKept_ != 0) {
        WarningsLeftBehind(std::move(warnings_), notKept_);
    }
}

void WarningLog::record(BoardWarning warning) {
    const std::lock_guard<std::mutex> guard(lock_);
    if (warnings_.size() >= kKept) {
        ++notKept_;
        return;
    }
    warnings_.push_back(std::move(warning));
}

std::vector<BoardWarning> WarningLog::list() const {
    const std::lock_guard<std::mutex> guard(lock_);
    return warnings_;
}

std::vector<BoardWarning> WarningLog::take() {
    const std::lock_guard<std::mutex> guard(lock_);
    notKept_ = 0;
    return std::exchange(warnings_, {});
}

uint64_t WarningLog::notKept() const {
    const std::lock_guard<std::mutex> guard(lock_);
    return notKept_;
}

[[gnu::weak]] void WarningsLeftBehind(std::vector<BoardWarning> warnings, uint64_t notKept) {
    for (const BoardWarning& warning : warnings) {
        std::fprintf(stderr, "simulated board: %s\n", Describe(warning).c_str());
    }
    if (notKept != 0) {
        std::fprintf(stderr, "simulated board: ... and %llu more warnings\n",
                     static_cast<unsigned long long>(notKept));
    }
}

}  // namespace sim
