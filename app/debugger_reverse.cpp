// Running backwards. While a debugger is connected to a run whose inputs all come from the
// simulator, the state of the whole process is kept (a copy of it, ReplayProcesses) at every
// hold and every quarter second of a run, and the core skips idle and delay loops whatever the
// debugger asks (ArmCore::setExact), so that a copy run on from a checkpoint goes exactly the
// way the run went.
// What the debugger did while holding the firmware (monitor commands, writes) is noted with the
// hold's checkpoint and done again by a copy that replays past it.
//
// reverse-stepi asks the checkpoint before now for the boundary before now; reverse-continue
// asks the checkpoints, latest first, for the last breakpoint or watch met before now. Then a
// copy from the checkpoint before that point runs on to it and takes over the debugger's
// connection; the process that was asked ends. Checkpoints past the point are dropped.
#include <unistd.h>

#include <algorithm>

#include "debugger.hpp"
#include "debugger_monitor.hpp"
#include "image_target.hpp"

namespace app {

namespace {

// A run keeps a checkpoint this often (virtual time), and at most this many in all (the
// oldest after the first go first, so the start of the history stays).
constexpr double kKeepEveryMs = 250;
constexpr size_t kMostCheckpoints = 64;

}  // namespace

void Debugger::startHistory() {
    if (!reverseRefusal_.empty() || recording_) {
        return;
    }
    replay_.start();
    session_->image->setExact(true);
    recording_ = true;
    lastKeptPs_ = session_->panel.board().scheduler().nowPs();
}

bool Debugger::keepCheckpoint(bool held) {
    auto& checkpoints = replay_.checkpoints();
    if (checkpoints.size() >= kMostCheckpoints) {
        // The second oldest goes; the replays from the first get longer.
        replay_.drop(1);
    }
    const size_t before = checkpoints.size();
    if (std::optional<ReplayRequest> request =
            replay_.keep(session_->image->position(), held, client_)) {
        client_ = -1;  // a copy: the connection is the present one's
        beginReplay(std::move(*request));
        return false;
    }
    return checkpoints.size() > before;
}

void Debugger::keepHeld() {
    if (!recording_ || replaying_) {
        return;
    }
    if (keepCheckpoint(true)) {
        heldCheckpoint_ = replay_.checkpoints().size() - 1;
    } else if (!replaying_) {
        // No copy could be made: without it the history would be wrong from here.
        replay_.drop(0);
        recording_ = false;
    }
}

void Debugger::keepRunning() {
    if (!recording_ || replaying_) {
        return;
    }
    const sim::Picoseconds now = session_->panel.board().scheduler().nowPs();
    if (now - lastKeptPs_ < static_cast<sim::Picoseconds>(kKeepEveryMs * sim::kPsPerMs)) {
        return;
    }
    lastKeptPs_ = now;
    keepCheckpoint(false);  // one missed while running only makes a replay longer
}

void Debugger::noteAction(HeldAction action) {
    if (replaying_ || !recording_) {
        return;
    }
    if (!heldCheckpoint_) {
        // Something done to the firmware with no checkpoint in front of it cannot be replayed.
        replay_.drop(0);
        recording_ = false;
        return;
    }
    replay_.checkpoints().at(*heldCheckpoint_).actions.push_back(std::move(action));
}

bool Debugger::reverse(gdb::Resume how, std::string& why) {
    if (!reverseRefusal_.empty()) {
        why = reverseRefusal_;
        return false;
    }
    auto& checkpoints = replay_.checkpoints();
    if (!recording_ || checkpoints.empty()) {
        why = "nothing of this run is kept to go back to";
        return false;
    }
    const RunPosition now = session_->image->position();
    ReplayRequest ask;
    ask.goal = ReplayRequest::Goal::Search;
    ask.marks = target_->marks();
    ask.before = now;
    // Checkpoint i's stretch replayed up to `end`.
    const auto search = [&](size_t i, RunPosition end, SearchResult& found) {
        ask.end = end;
        ask.actions = checkpoints[i].actions;
        if (!replay_.search(i, ask, found) || !found.reached) {
            why = "the replay did not get back to now";
            return false;
        }
        return true;
    };
    gdb::StopEvent event;
    std::optional<RunPosition> point;
    for (size_t i = checkpoints.size(); i-- > 0 && !point;) {
        SearchResult found;
        if (how == gdb::Resume::ReverseStep) {
            // The checkpoint before now knows the boundary before now.
            if (checkpoints[i].at < now) {
                if (!search(i, now, found)) {
                    return false;
                }
                point = found.previous;
                event.reason = gdb::StopEvent::Reason::Step;
            }
        } else if (checkpoints[i].at <= now) {
            // Latest stretch first: the last breakpoint or watch before now.
            if (!search(i, i + 1 < checkpoints.size() ? checkpoints[i + 1].at : now, found)) {
                return false;
            }
            if (found.hit) {
                point = found.hit->at;
                event = target_->eventFor(found.hit->stop);
            }
        }
    }
    if (!point) {
        // Back to where the history starts.
        point = checkpoints.front().at;
        event.reason = gdb::StopEvent::Reason::HistoryStart;
        if (*point == now) {
            target_->reportAtOnce(event);
            return true;
        }
    }
    return goTo(*point, event, why);
}

bool Debugger::goTo(RunPosition point, const gdb::StopEvent& event, std::string& why) {
    auto& checkpoints = replay_.checkpoints();
    size_t from = checkpoints.size();
    for (size_t i = checkpoints.size(); i-- > 0;) {
        if (checkpoints[i].at < point || (checkpoints[i].held && checkpoints[i].at == point)) {
            from = i;
            break;
        }
    }
    if (from == checkpoints.size()) {
        why = "no checkpoint before that point is kept";
        return false;
    }
    ReplayRequest request;
    request.goal = ReplayRequest::Goal::Become;
    request.end = point;
    request.marks = target_->marks();
    request.actions = checkpoints[from].actions;
    request.noAck = gdb_->noAck();
    request.event = event;
    request.client = client_;
    replay_.drop(from + 1);  // the future from here on is another one
    replay_.become(from, std::move(request), why);
    // Here only when the copy could not take over: this run goes on, with less history.
    if (heldCheckpoint_ && *heldCheckpoint_ >= checkpoints.size()) {
        heldCheckpoint_.reset();
    }
    return false;
}

void Debugger::beginReplay(ReplayRequest request) {
    sim::arm::ArmCore& core = *session_->image;
    replaying_ = std::move(request);
    heldCheckpoint_.reset();
    target_ = makeTarget();
    target_->setMarks(replaying_->marks);
    // The marks are only noted on the way: a copy stops where it was asked to, nowhere else.
    core.recordHits(true, replaying_->goal == ReplayRequest::Goal::Search ? replaying_->before
                                                                            : RunPosition{});
    core.stopAtPosition(replaying_->end);
}

bool Debugger::replayReached() const {
    return session_->image->position() == replaying_->end;
}

bool Debugger::replayHeld() {
    sim::arm::ArmCore& core = *session_->image;
    const std::vector<HeldAction> actions = replaying_->actions;
    for (size_t i = 0; i < actions.size(); ++i) {
        if (replayReached()) {
            arrive(i);
            return true;
        }
        const HeldAction& action = actions[i];
        switch (action.kind) {
            case HeldAction::Kind::WriteMemory:
                target_->writeMemory(action.address,
                                     reinterpret_cast<const uint8_t*>(action.data.data()),
                                     action.data.size());
                break;
            case HeldAction::Kind::WriteRegister: {
                uint32_t value = 0;
                action.data.copy(reinterpret_cast<char*>(&value), sizeof(value));
                target_->writeRegister(static_cast<gdb::Register>(action.address), value);
                break;
            }
            case HeldAction::Kind::Monitor:
                // A command whose run the debugger's marks stopped stops at the same place.
                core.stopAtPosition(action.cutAt ? std::min(*action.cutAt, replaying_->end)
                                                 : replaying_->end);
                RunMonitorCommand(*session_, action.data);
                core.stopAtPosition(replaying_->end);
                break;
            case HeldAction::Kind::Acknowledge:
                session_->panel.acknowledgeStop();
                break;
        }
    }
    if (replayReached()) {
        arrive(actions.size());
        return true;
    }
    return false;
}

void Debugger::arrive(size_t actionsDone) {
    sim::arm::ArmCore& core = *session_->image;
    if (replaying_->goal == ReplayRequest::Goal::Search) {
        SearchResult found;
        found.reached = true;
        found.hit = core.lastHit();
        found.previous = core.previousPosition();
        replay_.answerSearch(found);
    }
    ReplayRequest request = std::move(*replaying_);
    replaying_.reset();
    core.recordHits(false);
    core.stopAtPosition(std::nullopt);
    replay_.tookOver(request);
    auto& checkpoints = replay_.checkpoints();
    request.actions.resize(actionsDone);
    checkpoints.back().actions = request.actions;
    if (checkpoints.back().held && holding_) {
        heldCheckpoint_ = checkpoints.size() - 1;  // what is done from here belongs to it
    }
    if (session_->panel.stoppedWhileHeld()) {
        // The point fell inside a monitor command's run: the debugger hears of it now.
        session_->panel.acknowledgeStop();
        noteAction(HeldAction{HeldAction::Kind::Acknowledge, 0, {}, {}});
    }
    client_ = request.client;
    target_ = makeTarget();
    target_->setMarks(request.marks);
    target_->stoppedWith(request.event);
    gdb_ = std::make_unique<gdb::GdbSession>(*target_);
    gdb_->adopt(request.noAck);
}

}  // namespace app
