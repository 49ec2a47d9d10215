// panel-sim with the real firmware image (--image), and the script commands that the comparison
// of the host build with the image uses.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "arm_core.hpp"
#include "panel_harness.hpp"
#include "session.hpp"

namespace app {

// Loads the image (read from `path`) onto the panel's board and fits its core to the harness;
// null (with the reason on stderr) if it cannot.
sim::arm::ArmCore* AttachImage(sim::PanelHarness& panel, sim::arm::FirmwareImage image,
                               const std::string& path);

// Script commands (false when the command is none of them; error set when it failed):
//   modbus-log FILE            every request and answer on the line so far, in hex
//   module-fault KIND [N]      the module misbehaves for N answers (or until changed);
//                              KIND: none silence bad-crc wrong-address wrong-function
//                              exception truncated late noise
//   module-process run|stop    the module's process behind its registers runs or holds still
//   profile [N]                (image only) the N functions (15) that took most cycles since
//                              the previous profile, with instructions and estimated cycles
//   calls FUNCTION             (image only) calls of a measured function (default_timer_proc,
//                              polling_Dev_1, CanvasMsgProc) since its previous report: count,
//                              instructions, estimated cycles, virtual time
//   screen-changes             (image only) instructions, estimated cycles and virtual time
//                              of every screen change so far, and of the start-up
bool IsScenarioCommand(const std::string& command);
bool ScenarioCommand(Session& session, const std::string& command, std::istream& words,
                     std::string& error);

}  // namespace app
