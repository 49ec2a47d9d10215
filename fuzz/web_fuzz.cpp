// The web API's request handling, driven in-process (no sockets): any method, path, query and
// body is answered 2xx or 4xx, the commands a request posts run on the session without a
// fault, and afterwards the page's state still reads as valid JSON.
//
// Input: a byte choosing the method (a known one or raw text), a byte choosing the path (a
// route of the page or raw text), a byte giving up to seven parameters (each a known name or
// raw text, then its value), and the rest as the body.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "commands.hpp"
#include "fault_kinds.hpp"
#include "fuzz_support.hpp"
#include "json_check.hpp"
#include "options.hpp"
#include "panel_harness.hpp"
#include "panel_models.hpp"
#include "panel_view.hpp"
#include "web_routes.hpp"
#include "web_state.hpp"
#include "workbench.hpp"

namespace {

constexpr const char* kMethods[] = {"GET", "POST", "HEAD", "PUT", "DELETE", "OPTIONS", "PATCH"};
constexpr const char* kPaths[] = {"/",        "/frame", "/state",   "/touch",
                                  "/release", "/fault", "/register"};
constexpr const char* kParams[] = {"after", "x", "y", "kind", "answers", "address", "value"};

// A known word when the byte picks one, else raw text from the input.
template <size_t N>
std::string Pick(fuzz::Input& in, const char* const (&known)[N], size_t rawMax) {
    const uint8_t choice = in.byte();
    return choice < N ? std::string(known[choice]) : in.text(rawMax);
}

app::WebRequest RequestOf(fuzz::Input& in) {
    app::WebRequest request;
    request.method = Pick(in, kMethods, 16);
    request.path = Pick(in, kPaths, 64);
    const int params = in.byte() % 8;
    for (int i = 0; i < params; ++i) {
        std::string key = Pick(in, kParams, 16);
        request.params.emplace(std::move(key), in.text(32));
    }
    request.body.assign(reinterpret_cast<const char*>(in.rest()), in.left());
    return request;
}

// The JSON checker itself, on cases whose answer is known (a checker that took anything would
// let every broken state through).
void CheckJsonChecker() {
    struct Case {
        const char* text;
        bool valid;
    };
    const Case cases[] = {
        {"{}", true},          {R"({"a":[1,-2.5e3,true,false,null,"x\"\\\u00e9"]})", true},
        {" [ ] ", true},       {"\"caf\xc3\xa9\"", true},
        {"", false},           {"{", false},
        {"{\"a\":1,}", false}, {"[1 2]", false},
        {"{\"a\" 1}", false},  {"\"raw\x01\"", false},
        {"\"\xc3\"", false},   {"\"\xed\xa0\x80\"", false},
        {"\"\\x\"", false},    {"01", false},
        {"{} {}", false},
    };
    for (const Case& c : cases) {
        FUZZ_CHECK(fuzz::JsonCheck::Valid(c.text) == c.valid);
    }
}

// One panel per process (running the firmware's start per input would cost far too much): it
// has run a second, so that the monitor has lines and the display a frame. An input may change
// the fault, the module's registers and the finger; each is put back after it.
class Bench {
  public:
    Bench()
        : panel_(options_.board, sim::PanelHarness::Firmware::Host),
          view_(app::HostView()),
          bench_(panel_, options_) {
        CheckJsonChecker();
        options_.mode = app::Options::Mode::Web;
        FUZZ_CHECK(bench_.start());
        panel_.runUntilMs(1000);
        startRegisters_ = bench_.registers();
        shared_.frameWait = std::chrono::milliseconds(0);  // a long poll must not hold the run
        const std::vector<uint8_t> rgb = sim::DisplayOf(panel_.board()).renderRgb();
        shared_.frame.assign(rgb.begin(), rgb.end());
        shared_.frameNumber = 1;
        publish();
    }

    void run(const app::WebRequest& request) {
        app::Finger finger([this](bool pressed, int x, int y) { touch(pressed, x, y); });
        app::PageFinger pageFinger{finger};
        const app::WebContext context{shared_, session_, pageFinger};
        const app::WebAnswer answer = app::AnswerWeb(context, request);
        FUZZ_CHECK((answer.status >= 200 && answer.status < 300) ||
                   (answer.status >= 400 && answer.status < 500));
        FUZZ_CHECK(!answer.contentType.empty() || answer.body.empty());
        runPosted();
        finger.apply(panel_.nowMs());
        publish();
        checkState(context);
        putBack();
    }

  private:
    // The harness side's turn: what the request posted, in order.
    void runPosted() {
        while (!shared_.commands.empty()) {
            const std::function<void()> command = std::move(shared_.commands.front());
            shared_.commands.pop_front();
            command();
        }
    }

    void touch(bool pressed, int x, int y) {
        FUZZ_CHECK(app::RunTouch(session_, pressed, x, y).ok);
        touched_ = pressed;
    }

    void publish() { shared_.state = app::StateJson(session_, shared_.frameNumber, ""); }

    // The simulator still answers the page's state request, with valid JSON.
    void checkState(const app::WebContext& context) {
        app::WebRequest state{"GET", "/state", {{"after", "0"}}, ""};
        const app::WebAnswer answer = app::AnswerWeb(context, state);
        FUZZ_CHECK(answer.status == 200);
        FUZZ_CHECK(answer.contentType == "application/json");
        FUZZ_CHECK(fuzz::JsonCheck::Valid(answer.body));
    }

    void putBack() {
        std::string why;
        if (&bench_.fault() != &app::FaultKinds()[0]) {
            FUZZ_CHECK(bench_.setFault(app::FaultKinds()[0], -1, &why));
        }
        const std::vector<uint16_t> now = bench_.registers();
        for (size_t i = 0; i < now.size(); ++i) {
            if (now[i] != startRegisters_[i]) {
                FUZZ_CHECK(bench_.setRegister(static_cast<int>(i), startRegisters_[i], &why));
            }
        }
        if (touched_) {
            touch(false, 0, 0);
        }
    }

    app::Options options_;
    sim::PanelHarness panel_;
    std::unique_ptr<app::PanelView> view_;
    app::Workbench bench_;
    app::Session session_{panel_, bench_, *view_, nullptr};
    app::WebShared shared_;
    std::vector<uint16_t> startRegisters_;
    bool touched_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Bench bench;
    fuzz::Input in(data, size);
    bench.run(RequestOf(in));
    return 0;
}
