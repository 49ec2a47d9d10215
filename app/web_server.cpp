#include "web_server.hpp"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "commands.hpp"
#include "debugger.hpp"
#include "finger.hpp"
#include "panel_models.hpp"
#include "web_routes.hpp"
#include "web_state.hpp"
#include "workbench.hpp"

namespace app {

namespace {

std::atomic<bool> g_stop{false};

void Stop(int) {
    g_stop = true;
}

// Virtual time run per loop at most, so that the page stays live when the host is slow.
constexpr double kMaxRunPerLoopMs = 100.0;
// Each connection holds a thread of the server while it is open: a viewer's frame requests,
// its state requests and its finger's, besides the page itself and other programs.
constexpr int kServerThreads = 3 * kMostWaitingViewers;

WebRequest RequestOf(const httplib::Request& request) {
    return WebRequest{request.method, request.path, request.params, request.body};
}

void Answer(const WebAnswer& answer, httplib::Response& response) {
    // A plain 200 is left to the server, which answers a range request 206 with its range.
    if (answer.status != 200) {
        response.status = answer.status;
    }
    for (const auto& [name, value] : answer.headers) {
        response.set_header(name, value);
    }
    if (!answer.contentType.empty()) {
        response.set_content(answer.body, answer.contentType);
    }
}

// Every route of the page, each answered by its function.
void AddRoutes(httplib::Server& server, const WebContext& context) {
    for (const WebRoute& route : WebRoutes()) {
        const auto handler = [&context, answer = route.answer](const httplib::Request& request,
                                                               httplib::Response& response) {
            Answer(answer(context, RequestOf(request)), response);
        };
        if (std::string(route.method) == "GET") {
            server.Get(route.path, handler);
        } else {
            server.Post(route.path, handler);
        }
    }
}

}  // namespace

class WebServer {
  public:
    httplib::Server http;
    int port = -1;
    socket_t listening = -1;
};

void WebServerDeleter::operator()(WebServer* server) const {
    delete server;
}

WebServerPtr ListenWeb(const Options& options, std::string* why) {
    WebServerPtr server(new WebServer);
    httplib::Server& http = server->http;
    http.new_task_queue = [] { return new httplib::ThreadPool(kServerThreads); };
    // Not the library's SO_REUSEPORT: with it a second simulator could listen on the same port
    // and take every other request.
    http.set_socket_options([listening = &server->listening](socket_t socket) {
        int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
        *listening = socket;
    });
    // A request without Content-Length or chunks has no body; the library would read one until
    // its time-out instead.
    http.set_pre_routing_handler([](const httplib::Request& request, httplib::Response&) {
        if (!request.has_header("Content-Length") && !request.has_header("Transfer-Encoding") &&
            (request.method == "POST" || request.method == "PUT" || request.method == "PATCH")) {
            // The request is the server's own, passed to this handler read-only.
            const_cast<httplib::Request&>(request).set_header("Content-Length", "0");
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    // Only this machine may drive the panel.
    const char* host = "127.0.0.1";
    errno = 0;
    const int port = options.webPort == 0                       ? http.bind_to_any_port(host)
                     : http.bind_to_port(host, options.webPort) ? options.webPort
                                                                : -1;
    if (port <= 0) {
        const int error = errno;
        *why = "--web " + std::to_string(options.webPort) + ": cannot listen on " + host +
               " port " + std::to_string(options.webPort) +
               (error == EADDRINUSE ? std::string(": the port is taken (another program listens "
                                                  "there; choose another, or 0 for any free one)")
                : error != 0        ? std::string(": ") + std::strerror(error)
                                    : std::string());
        return nullptr;
    }
    // The library listens with a backlog of 5: viewers that connect at once beyond it would wait
    // for the system's retry, a second or more. Listening again sets a longer one.
    if (server->listening >= 0) {
        ::listen(server->listening, kServerThreads);
    }
    server->port = port;
    return server;
}

namespace {

// The harness side of a web session: the page's commands in their turn, virtual time paced to
// the wall clock, the frames and the state published for the server's threads.
class WebRun {
  public:
    WebRun(Session& session, const Options& options, WebShared& shared, Finger& finger)
        : session_(session),
          options_(options),
          shared_(shared),
          finger_(finger),
          display_(sim::DisplayOf(session.panel.board())),
          target_(session.panel.nowMs()),
          endMs_(options.secondsGiven ? options.seconds * 1000.0 : -1.0) {}

    // Until Ctrl-C or the end of --seconds; the exit code.
    int run() {
        if (session_.debugger != nullptr) {
            // Held by a debugger: the page's state says so (its commands wait for the run).
            session_.debugger->whileHeld([this] {
                std::string state = StateJson(session_, frameNumber_, stopped_);
                std::lock_guard<std::mutex> lock(shared_.mutex);
                shared_.state.swap(state);
            });
        }
        while (!g_stop && !(endMs_ >= 0 && session_.panel.nowMs() >= endMs_)) {
            pageCommands();
            const Clock::time_point now = Clock::now();
            advance(std::chrono::duration<double, std::milli>(now - last_).count());
            last_ = now;
            publish(now);
            // At most 50 frames a second; the page asks for each one as soon as it has the last.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (session_.debugger != nullptr) {
            session_.debugger->whileHeld(nullptr);  // it refers to this run
        }
        return halted_ ? 1 : 0;
    }

  private:
    using Clock = std::chrono::steady_clock;

    // The page's commands, in order (a finger event waits in the finger until its time).
    void pageCommands() {
        for (;;) {
            std::function<void()> command;
            {
                std::lock_guard<std::mutex> lock(shared_.mutex);
                if (shared_.commands.empty()) {
                    return;
                }
                command = std::move(shared_.commands.front());
                shared_.commands.pop_front();
            }
            command();
        }
    }

    // Runs in steps that stop where a held-back finger event falls due.
    void advance(double elapsedMs) {
        if (halted_) {
            return;
        }
        sim::PanelHarness& panel = session_.panel;
        target_ += std::min(elapsedMs * options_.speed, kMaxRunPerLoopMs);
        if (endMs_ >= 0) {
            target_ = std::min(target_, endMs_);
        }
        for (;;) {
            const double due = finger_.apply(panel.nowMs());
            const double step = due >= 0 && due < target_ ? due : target_;
            const double before = panel.nowMs();
            if (step <= before) {
                return;
            }
            if (panel.runUntilMs(step) == sim::StopReason::Halted) {
                halted_ = true;
                stopped_ = "the firmware stopped: " + panel.core().haltReason();
                std::fprintf(stderr, "panel-sim: %s\n", stopped_.c_str());
                lastState_ = {};  // the page learns it at once
                return;
            }
            // A step less than a picosecond past the current time rounds to it: the run stops
            // where it is, and asking again would never get further (the loop would spin).
            if (panel.nowMs() <= before) {
                return;
            }
        }
    }

    // A new frame as soon as there is one, the state at least every 100 ms.
    void publish(Clock::time_point now) {
        const bool newFrame = display_.version() != shownVersion_;
        if (!newFrame && now - lastState_ < std::chrono::milliseconds(100)) {
            return;
        }
        std::string rgb;
        if (newFrame) {
            shownVersion_ = display_.version();
            const std::vector<uint8_t> pixels = display_.renderRgb();
            rgb.assign(pixels.begin(), pixels.end());
            ++frameNumber_;
        }
        std::string state = StateJson(session_, frameNumber_, stopped_);
        lastState_ = now;
        {
            std::lock_guard<std::mutex> lock(shared_.mutex);
            if (newFrame) {
                shared_.frame.swap(rgb);
                shared_.frameNumber = frameNumber_;
            }
            shared_.state.swap(state);
        }
        if (newFrame) {
            shared_.frameReady.notify_all();
        }
    }

    Session& session_;
    const Options& options_;
    WebShared& shared_;
    Finger& finger_;
    sim::DisplayModule& display_;
    uint64_t shownVersion_ = ~uint64_t{0};
    uint64_t frameNumber_ = 0;
    bool halted_ = false;
    std::string stopped_;
    Clock::time_point last_ = Clock::now();
    Clock::time_point lastState_{};
    double target_;
    const double endMs_;
};

}  // namespace

int RunWeb(WebServer& web, Session& session, const Options& options) {
    WebShared shared;
    httplib::Server& server = web.http;
    Finger finger([&session](bool pressed, int x, int y) {
        if (const CommandResult r = RunTouch(session, pressed, x, y); !r.ok) {
            std::fprintf(stderr, "panel-sim: %s\n", r.error.c_str());
        }
    });
    PageFinger pageFinger{finger};
    const WebContext context{shared, session, pageFinger};
    AddRoutes(server, context);
    std::thread serving([&server] { server.listen_after_bind(); });
    std::printf("panel-sim: the panel is on http://127.0.0.1:%d/ (Ctrl-C to stop)\n", web.port);
    std::fflush(stdout);
    std::signal(SIGINT, Stop);
    std::signal(SIGTERM, Stop);

    const int result = WebRun(session, options, shared, finger).run();
    {
        std::lock_guard<std::mutex> lock(shared.mutex);
        shared.stopping = true;
    }
    shared.frameReady.notify_all();
    server.stop();
    serving.join();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::printf("panel-sim: web server stopped\n");
    return result;
}

}  // namespace app
