// The web page's routes, apart from the server that carries them: a request (method, path,
// parameters, body) in, an answer (status, body, content type, headers) out. The server's
// handlers call them, and so can anything that holds a request without a socket.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "finger.hpp"
#include "session.hpp"

namespace app {

// Viewers whose request for the next frame may wait at once; one more is answered "busy" at once
// (the page asks again a little later), so that the server's threads never all wait.
constexpr int kMostWaitingViewers = 48;

// What the harness side publishes for the server's threads, and what they ask of it.
struct WebShared {
    std::mutex mutex;
    std::condition_variable frameReady;
    uint64_t frameNumber = 0;
    std::string frame;  // RGB, 3 bytes a pixel, row by row
    std::string state;  // JSON without the monitor's lines
    std::deque<std::function<void()>> commands;
    bool stopping = false;
    int waitingViewers = 0;
    // A long poll for a new frame gives up after this long (the page just asks again); a viewer
    // that went away holds its place no longer than this.
    std::chrono::milliseconds frameWait{2000};

    void post(std::function<void()> command) {
        std::lock_guard<std::mutex> lock(mutex);
        commands.push_back(std::move(command));
    }
};

// The page's finger: the first point after a release puts it down, the next ones move it.
struct PageFinger {
    Finger& finger;
    bool down = false;
};

struct WebRequest {
    std::string method;
    std::string path;
    std::multimap<std::string, std::string> params;  // the query's (and a form body's)
    std::string body;

    bool hasParam(const std::string& key) const { return params.count(key) != 0; }
    // The first value of the key, "" when there is none.
    std::string param(const std::string& key) const;
};

struct WebAnswer {
    int status = 200;
    std::string body;
    std::string contentType;  // "" with no body
    std::vector<std::pair<std::string, std::string>> headers;
};

// What the routes work on.
struct WebContext {
    WebShared& shared;
    Session& session;
    PageFinger& finger;
};

struct WebRoute {
    const char* method;  // "GET" (also answers HEAD) or "POST"
    const char* path;
    WebAnswer (*answer)(const WebContext& context, const WebRequest& request);
};

// Every route of the page; the server registers a handler for each.
const std::vector<WebRoute>& WebRoutes();

// The request's route, or what the server answers without one: 404 for a method it knows, 400
// for any other.
WebAnswer AnswerWeb(const WebContext& context, const WebRequest& request);

}  // namespace app
