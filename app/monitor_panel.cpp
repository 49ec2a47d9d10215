#include "monitor_panel.hpp"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "monitor_text.hpp"

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

    std::vector<std::string> lines;
    monitor.linesAfter(0, lines);
    const std::vector<MonitorRow> text = MonitorText(monitor.counters(), lines, columns, rows);

    SDL_Surface* surface =
        SDL_CreateRGBSurfaceWithFormat(0, kWidth, screenHeight_, 32, SDL_PIXELFORMAT_ARGB8888);
    if (surface == nullptr) {
        return;
    }
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 24, 24, 32));
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i].text.empty()) {
            continue;
        }
        const SDL_Color colour =
            text[i].bad ? SDL_Color{255, 140, 120, 255} : SDL_Color{210, 230, 210, 255};
        SDL_Surface* rendered = TTF_RenderUTF8_Blended(font_, text[i].text.c_str(), colour);
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
