#include "web_routes.hpp"

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "cli.hpp"
#include "commands.hpp"
#include "web_server.hpp"
#include "web_state.hpp"
#include "workbench.hpp"

namespace app {

namespace {

bool ParseInt(const std::string& text, long low, long high, long& value) {
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && value >= low && value <= high;
}

// The "after" parameter of the polling routes: a number seen before, 0 when absent or wrong.
uint64_t AfterParam(const WebRequest& request) {
    long after = 0;
    if (!ParseInt(request.param("after"), 0, LONG_MAX, after)) {
        after = 0;
    }
    return static_cast<uint64_t>(after);
}

WebAnswer Refused(const std::string& message) {
    return WebAnswer{400, message + "\n", "text/plain", {}};
}

// A command from the page, checked at once (a mistake is answered 400 with the registry's
// message) and run on the harness side in its turn.
WebAnswer PostCommand(const WebContext& context, const std::vector<std::string>& words) {
    Session& session = context.session;
    Command command;
    try {
        command = ParseCommand(words, CommandContext{true, session.bench.hasModule()});
    } catch (const cli::UsageError& e) {
        return Refused(e.message);
    }
    context.shared.post([&session, command] {
        if (const CommandResult result = RunCommand(session, command); !result.ok) {
            std::fprintf(stderr, "panel-sim: %s\n", result.error.c_str());
        }
    });
    return {};
}

WebAnswer Page(const WebContext&, const WebRequest&) {
    return WebAnswer{200, kWebPage, "text/html; charset=utf-8", {}};
}

// The next frame after the one the page has: answered as soon as there is one.
WebAnswer Frame(const WebContext& context, const WebRequest& request) {
    WebShared& shared = context.shared;
    const uint64_t after = AfterParam(request);
    std::unique_lock<std::mutex> lock(shared.mutex);
    if (shared.frameNumber <= after && shared.waitingViewers >= kMostWaitingViewers) {
        return WebAnswer{503,
                         "too many viewers wait for a frame; ask again later\n",
                         "text/plain",
                         {{"Retry-After", "1"}}};
    }
    ++shared.waitingViewers;
    shared.frameReady.wait_for(lock, shared.frameWait,
                               [&] { return shared.stopping || shared.frameNumber > after; });
    --shared.waitingViewers;
    if (shared.frameNumber <= after) {
        return WebAnswer{204, "", "", {}};
    }
    return WebAnswer{
        200,
        shared.frame,
        "application/octet-stream",
        {{"X-Frame", std::to_string(shared.frameNumber)}, {"Cache-Control", "no-store"}}};
}

WebAnswer State(const WebContext& context, const WebRequest& request) {
    std::vector<std::string> lines;
    const uint64_t last = context.session.bench.monitor().linesAfter(AfterParam(request), lines);
    std::string json;
    {
        std::lock_guard<std::mutex> lock(context.shared.mutex);
        json = context.shared.state;
    }
    json += ",\"monitorLast\":" + std::to_string(last) + ",\"monitor\":[";
    for (size_t i = 0; i < lines.size(); ++i) {
        json += (i == 0 ? "" : ",") + JsonString(lines[i]);
    }
    json += "]}";
    return WebAnswer{200, json, "application/json", {{"Cache-Control", "no-store"}}};
}

// The finger, held back as the window's mouse is.
WebAnswer Touch(const WebContext& context, const WebRequest& request) {
    Command touch;
    try {
        touch = ParseCommand({"touch", request.param("x"), request.param("y")},
                             CommandContext{false, true});
    } catch (const cli::UsageError& e) {
        return Refused(e.message);
    }
    context.shared.post([&finger = context.finger, x = touch.x, y = touch.y] {
        if (finger.down) {
            finger.finger.move(x, y);
        } else {
            finger.finger.down(x, y);
            finger.down = true;
        }
    });
    return {};
}

WebAnswer Release(const WebContext& context, const WebRequest&) {
    context.shared.post([&finger = context.finger] {
        if (finger.down) {
            finger.finger.up();
            finger.down = false;
        }
    });
    return {};
}

WebAnswer Fault(const WebContext& context, const WebRequest& request) {
    std::vector<std::string> words{"fault", request.param("kind")};
    if (request.hasParam("answers")) {
        words.push_back(request.param("answers"));
    }
    return PostCommand(context, words);
}

WebAnswer Register(const WebContext& context, const WebRequest& request) {
    return PostCommand(context, {"register", request.param("address"), request.param("value")});
}

// The methods the server routes (any other is a bad request).
bool KnownMethod(const std::string& method) {
    for (const char* known : {"GET", "HEAD", "POST", "PUT", "DELETE", "OPTIONS", "PATCH"}) {
        if (method == known) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string WebRequest::param(const std::string& key) const {
    const auto found = params.find(key);
    return found == params.end() ? std::string() : found->second;
}

const std::vector<WebRoute>& WebRoutes() {
    static const std::vector<WebRoute> routes = {
        {"GET", "/", Page},
        {"GET", "/frame", Frame},
        {"GET", "/state", State},
        {"POST", "/touch", Touch},
        {"POST", "/release", Release},
        {"POST", "/fault", Fault},
        {"POST", "/register", Register},
    };
    return routes;
}

WebAnswer AnswerWeb(const WebContext& context, const WebRequest& request) {
    if (!KnownMethod(request.method)) {
        return WebAnswer{400, "", "", {}};
    }
    const std::string method = request.method == "HEAD" ? "GET" : request.method;
    for (const WebRoute& route : WebRoutes()) {
        if (method == route.method && request.path == route.path) {
            return route.answer(context, request);
        }
    }
    return WebAnswer{404, "", "", {}};
}

}  // namespace app
