// The page's view of the session as JSON: the state the harness side publishes for the server's
// threads, and the string quoting the routes share.
#pragma once

#include <cstdint>
#include <string>

#include "session.hpp"

namespace app {

// A JSON string of the text: quotes and backslashes escaped, control characters as spaces.
std::string JsonString(const std::string& text);

// The state object without its closing brace (the monitor's lines are added per request).
std::string StateJson(const Session& session, uint64_t frameNumber, const std::string& stopped);

}  // namespace app
