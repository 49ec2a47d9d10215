#include "monitor_panel.hpp"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <vector>

namespace app {

namespace {

constexpr const char* kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
constexpr int kPointSize = 11;
constexpr uint64_t kRemakeMs = 250;

}  // namespace

MonitorPanel::MonitorPanel(SDL_Window* window, SDL_Renderer* renderer, int screenWidth,
                           int screenHeight)
    : window_(window), renderer_(renderer), screenWidth_(screenWidth), screenHeight_(screenHeight) {}

MonitorPanel::~MonitorPanel() {
    if (text_ != nullptr) {
        SDL_DestroyTexture(text_);
    }
    if (font_ != nullptr) {
        TTF_CloseFont(font_);
        TTF_Quit();
    }
}

void MonitorPanel::toggle() {
    if (!visible_ && font_ == nullptr) {
        if (TTF_Init() != 0 || (font_ = TTF_OpenFont(kFont, kPointSize)) == nullptr) {
            std::fprintf(stderr, "panel-sim: no font for the Modbus monitor (%s)\n", TTF_GetError());
            return;
        }
    }
    visible_ = !visible_;
    SDL_SetWindowSize(window_, screenWidth_ + (visible_ ? kWidth : 0), screenHeight_);
    madeAt_ = 0;
}

void MonitorPanel::remake(const ModbusMonitor& monitor) {
    const int lineHeight = TTF_FontLineSkip(font_);
    int charWidth = 7;
    TTF_SizeUTF8(font_, "0", &charWidth, nullptr);
    const size_t columns = static_cast<size_t>((kWidth - 8) / std::max(charWidth, 1));
    const size_t rows = static_cast<size_t>(screenHeight_ / lineHeight);

    std::vector<std::string> text;
    const ModbusCounters c = monitor.counters();
    char line[200];
    std::snprintf(line, sizeof(line), "Modbus: %" PRIu64 " requests  %" PRIu64 " good", c.requests,
                  c.good);
    text.push_back(line);
    std::snprintf(line, sizeof(line),
                  "CRC %" PRIu64 "  timeout %" PRIu64 "  exception %" PRIu64 "  late %" PRIu64
                  "  other %" PRIu64,
                  c.crcErrors, c.timeouts, c.exceptions, c.late, c.otherErrors);
    text.push_back(line);
    text.emplace_back();
    // Each monitor line as: time, direction, verdict, meaning (the hex does not fit).
    std::vector<std::string> lines;
    monitor.linesAfter(0, lines);
    const size_t room = rows > text.size() ? rows - text.size() : 0;
    for (size_t i = lines.size() > room ? lines.size() - room : 0; i < lines.size(); ++i) {
        const std::string& full = lines[i];
        const size_t meaningAt = full.find("  | ");
        const size_t verdictAt = full.rfind(" | ");
        std::string shown = full;
        if (meaningAt != std::string::npos && verdictAt != std::string::npos &&
            verdictAt > meaningAt) {
            const size_t headEnd = full.find("  ", full.find("ms  ") + 4);
            shown = full.substr(0, headEnd) + "  " + full.substr(verdictAt + 3) + ": " +
                    full.substr(meaningAt + 4, verdictAt - meaningAt - 4);
        }
        text.push_back(shown.substr(0, columns));
    }

    SDL_Surface* surface =
        SDL_CreateRGBSurfaceWithFormat(0, kWidth, screenHeight_, 32, SDL_PIXELFORMAT_ARGB8888);
    if (surface == nullptr) {
        return;
    }
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 24, 24, 32));
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i].empty()) {
            continue;
        }
        const bool bad = text[i].find(" good:") == std::string::npos && i >= 3;
        const SDL_Color colour = bad ? SDL_Color{255, 140, 120, 255} : SDL_Color{210, 230, 210, 255};
        SDL_Surface* rendered = TTF_RenderUTF8_Blended(font_, text[i].c_str(), colour);
        if (rendered != nullptr) {
            SDL_Rect where{4, static_cast<int>(i) * lineHeight, rendered->w, rendered->h};
            SDL_BlitSurface(rendered, nullptr, surface, &where);
            SDL_FreeSurface(rendered);
        }
    }
    if (text_ != nullptr) {
        SDL_DestroyTexture(text_);
    }
    text_ = SDL_CreateTextureFromSurface(renderer_, surface);
    SDL_FreeSurface(surface);
}

void MonitorPanel::draw(const ModbusMonitor& monitor) {
    if (!visible_) {
        return;
    }
    const uint64_t now = SDL_GetTicks64();
    if (madeAt_ == 0 || now - madeAt_ >= kRemakeMs) {
        madeAt_ = now;
        remake(monitor);
    }
    if (text_ != nullptr) {
        const SDL_Rect where{screenWidth_, 0, kWidth, screenHeight_};
        SDL_RenderCopy(renderer_, text_, nullptr, &where);
    }
}

}  // namespace app
