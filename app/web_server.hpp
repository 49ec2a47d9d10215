// The panel in a browser: `panel-sim --web PORT` serves a page on the loopback address with the
// live screen, the pointer or a finger as the panel's finger, the module's registers (shown and
// settable), the fault buttons and the Modbus monitor.
#pragma once

#include <memory>
#include <string>

#include "options.hpp"
#include "panel_harness.hpp"
#include "session.hpp"
#include "workbench.hpp"

namespace app {

// The server, listening on the loopback port but not yet serving.
class WebServer;
struct WebServerDeleter {
    void operator()(WebServer* server) const;
};
using WebServerPtr = std::unique_ptr<WebServer, WebServerDeleter>;

// Takes the port of --web (0: any free one), before anything else runs; nothing, and why in one
// line, when it cannot (another program listens there).
WebServerPtr ListenWeb(const Options& options, std::string* why);

// Serves the panel until interrupted (Ctrl-C or SIGTERM) or --seconds; returns the process exit
// code.
int RunWeb(WebServer& server, Session& session, const Options& options);

// The page itself.
extern const char* const kWebPage;

}  // namespace app
