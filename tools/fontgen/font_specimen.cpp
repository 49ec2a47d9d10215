// font-specimen: draws sample lines in the three fonts through the firmware's own text routine
// onto a picture and writes it as a PNG (magnified), with each line's baseline marked.
//
//   font-specimen OUT.png
#include <cstdio>
#include <string>

#include "graphics/context.hpp"
#include "graphics/string.hpp"
#include "cli.hpp"
#include "png_io.hpp"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 222;
constexpr int kScale = 3;

pngio::RgbImage g_screen;

void PixelDraw(void*, int32_t x, int32_t y, uint32_t color) {
    g_screen.at(x, y) = color;
}
void PixelDrawMultiple(void*, int32_t, int32_t, int32_t, int32_t, int32_t, const uint8_t*,
                       const void*) {}
void LineDrawH(void*, int32_t x1, int32_t x2, int32_t y, uint32_t color) {
    for (int32_t x = x1; x <= x2; ++x) {
        g_screen.at(x, y) = color;
    }
}
void LineDrawV(void*, int32_t x, int32_t y1, int32_t y2, uint32_t color) {
    for (int32_t y = y1; y <= y2; ++y) {
        g_screen.at(x, y) = color;
    }
}
void RectFill(void*, const Rect* rect, uint32_t color) {
    for (int32_t y = rect->ymin; y <= rect->ymax; ++y) {
        LineDrawH(nullptr, rect->xmin, rect->xmax, y, color);
    }
}
uint32_t ColorTranslate(void*, uint32_t rgb) {
    return rgb;
}
void Flush(void*) {}

const DisplayDriver kScreen = {sizeof(DisplayDriver),
                               nullptr,
                               kWidth,
                               kHeight,
                               PixelDraw,
                               PixelDrawMultiple,
                               LineDrawH,
                               LineDrawV,
                               RectFill,
                               ColorTranslate,
                               Flush};

}  // namespace

int main(int argc, char** argv) {
    std::string outFile;
    cli::Parser parser("font-specimen",
                       "usage: font-specimen OUT.png\n"
                       "  Draws every glyph of the panel's three fonts through the firmware's text\n"
                       "  routine into OUT.png (three times enlarged).\n");
    parser.positional("OUT.png", outFile);
    if (const std::optional<int> stop = parser.parse(argc, argv)) {
        return *stop;
    }
    g_screen.width = kWidth;
    g_screen.height = kHeight;
    g_screen.pixels.assign(kWidth * kHeight, 0xFFFFFF);

    DrawContext context;
    GrContextInit(&context, &kScreen);
    const FontRecord* fonts[] = {&g_sFontCm12, &g_sFontCm14, &g_sFontCm14b};
    const char* lines[] = {
        " !\"#$%&'()*+,-./0123456789:;<=>?@",
        "ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`",
        "abcdefghijklmnopqrstuvwxyz{|}~",
        "Wejscie 1: 1234  Wyjscie DO5 | SMS",
    };
    int y = 2;
    for (const FontRecord* font : fonts) {
        context.font = font;
        for (const char* line : lines) {
            // The baseline (the row under the capitals) in pale red, the cell's top in grey.
            context.foreground = 0xFFC0C0;
            GrLineDrawH(&context, 0, kWidth - 1, y + font->baseline);
            context.foreground = 0xE0E0E0;
            GrLineDrawH(&context, 0, kWidth - 1, y);
            context.foreground = 0x000000;
            GrStringDraw(&context, line, -1, 2, y, 0);
            y += font->height + 2;
        }
        y += 4;
    }
    // White on blue, opaque, as on the screens' buttons.
    context.font = &g_sFontCm14b;
    context.foreground = 0xFFFFFF;
    context.background = 0x1E5689;
    GrStringDraw(&context, "Wyslij SMS  Wyslij e-mail", -1, 2, y, 1);

    pngio::RgbImage out;
    out.width = kWidth * kScale;
    out.height = kHeight * kScale;
    out.pixels.resize(out.width * out.height);
    for (int py = 0; py < out.height; ++py) {
        for (int px = 0; px < out.width; ++px) {
            out.at(px, py) = g_screen.at(px / kScale, py / kScale);
        }
    }
    std::string error;
    if (!pngio::Write(outFile, out, error)) {
        std::fprintf(stderr, "font-specimen: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
