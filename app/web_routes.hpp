// The web API's answers, apart from the server that carries them: the routes of the page and of
// programs that drive the panel, what the server's threads share with the harness side, and the
// state they report. web_server.cpp puts the routes on the listening server; a request can as
// well be answered in-process (the fuzz target of the API does).
#pragma once

#include <httplib.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "finger.hpp"
#include "session.hpp"
#include "workbench.hpp"

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

    void post(std::function<void()> command);
    // Runs the posted commands in order, on the harness side (between runs).
    void runCommands();
};

// The page's finger: the first point after a release puts it down, the next ones move it.
struct PageFinger {
    Finger& finger;
    bool down = false;
};

struct WebRoute {
    const char* method;  // "GET" or "POST"
    const char* path;
    httplib::Server::Handler handle;
};

// The routes; they hold references to the three.
std::vector<WebRoute> WebRoutes(WebShared& shared, Workbench& bench, PageFinger& finger);

// Answers a request as the server routes it: by method and exact path (HEAD as GET, without the
// body; 200 unless the route says otherwise), 404 when no route has both.
void AnswerRequest(const std::vector<WebRoute>& routes, const httplib::Request& request,
                   httplib::Response& response);

// The panel's state as the page reads it, without the monitor's lines (`stopped`: why the
// firmware stopped, or empty).
std::string StateJson(const Session& session, uint64_t frameNumber, const std::string& stopped);

}  // namespace app
