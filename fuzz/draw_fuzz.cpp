// Pictures, text, rectangles and lines drawn at any position under any clip, on a display that
// fails on any pixel outside the clip. Oracles: what a clipped picture, text or rectangle leaves
// is exactly the unclipped drawing cut to the clip; a compressed picture draws the same pixels
// as the same picture stored plain; a line's pixels lie near the true line (clipping rounds).
#include <algorithm>
#include <vector>

#include "clip_display.hpp"
#include "graphics/image.hpp"
#include "graphics/string.hpp"
#include "image_codec.hpp"
#include "project/pictures.hpp"

namespace {

using fuzz::ClipDisplay;

// Two displays serve every input (allocating and clearing whole screens per input was most of
// the target's time): a scene takes one and clears what the last scene on it drew.
ClipDisplay& Display(int slot) {
    static ClipDisplay displays[2];
    return displays[slot];
}

struct Scene {
    ClipDisplay& display;
    DrawContext context{};
    Scene(int slot, const Rect* clip) : display(Display(slot)) {
        display.clear();
        GrContextInit(&context, display.driver());
        context.foreground = 0x01ABCDEF;
        context.background = 0x01123456;
        if (clip != nullptr) {
            GrContextClipRegionSet(&context, clip);
        }
        display.allow(context.clip);
    }
};

// The unclipped drawing cut to the clip (an empty clip keeps nothing): every pixel the clipped
// drawing touched is inside the clip with the unclipped colour, and every pixel the unclipped
// drawing touched inside the clip was touched alike.
void ExpectCut(const ClipDisplay& clipped, const ClipDisplay& whole, const Rect& clip) {
    const auto inside = [&clip](uint32_t i) {
        const int x = static_cast<int>(i % ClipDisplay::kWidth);
        const int y = static_cast<int>(i / ClipDisplay::kWidth);
        return x >= clip.xmin && x <= clip.xmax && y >= clip.ymin && y <= clip.ymax;
    };
    for (const uint32_t i : clipped.touched()) {
        FUZZ_CHECK(inside(i) && clipped.at(i) == whole.at(i));
    }
    for (const uint32_t i : whole.touched()) {
        FUZZ_CHECK(!inside(i) || clipped.at(i) == whole.at(i));
    }
}

// A picture record from the input: format, size, palette and pixels; plain and compressed.
struct Picture {
    std::vector<uint8_t> plain;
    std::vector<uint8_t> compressed;  // empty for 16-bit pictures
};

Picture MakePicture(fuzz::Input& in) {
    static constexpr uint8_t kFormats[] = {0x01, 0x04, 0x08, 0xC0};
    const uint8_t format = kFormats[in.byte() % 4];
    const int width = 1 + in.byte() % 96;
    const int height = 1 + in.byte() % 64;
    const int bpp = format == 0xC0 ? 16 : format;
    std::vector<uint8_t> head = {format, static_cast<uint8_t>(width), 0,
                                 static_cast<uint8_t>(height), 0};
    if (bpp == 4 || bpp == 8) {
        const int colors = 1 << bpp;
        head.push_back(static_cast<uint8_t>(colors - 1));
        for (int i = 0; i < 3 * colors; ++i) {
            head.push_back(static_cast<uint8_t>(i * 37 + 11));
        }
    }
    const size_t bytes = static_cast<size_t>((bpp * width + 7) / 8) * height;
    std::vector<uint8_t> pixels(bytes);
    // The input's bytes, repeated: runs make back references in the compressed form.
    const size_t available = std::min<size_t>(in.left(), 512);
    for (size_t i = 0; i < bytes; ++i) {
        pixels[i] = available == 0 ? 0 : in.rest()[i % available];
    }
    in.skip(available);
    Picture picture;
    picture.plain = head;
    picture.plain.insert(picture.plain.end(), pixels.begin(), pixels.end());
    if (bpp != 16) {
        picture.compressed = head;
        picture.compressed[0] = static_cast<uint8_t>(format | 0x80);
        const std::vector<uint8_t> stream = imagegen::Compress(pixels);
        picture.compressed.insert(picture.compressed.end(), stream.begin(), stream.end());
    }
    return picture;
}

void Draw(const Rect& clip, const uint8_t* record, int32_t x, int32_t y) {
    Scene clipped(0, &clip);
    _GrImageDraw(&clipped.context, record, x, y);
    Scene whole(1, nullptr);
    _GrImageDraw(&whole.context, record, x, y);
    ExpectCut(clipped.display, whole.display, clipped.context.clip);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const Rect clip{in.i16(), in.i16(), in.i16(), in.i16()};
    // Positions mostly near the screen, sometimes anywhere in 32 bits.
    const bool far = in.byte() == 0xFF;
    const int32_t x = far ? in.i32() : static_cast<int16_t>(in.u16()) % 400;
    const int32_t y = far ? in.i32() : static_cast<int16_t>(in.u16()) % 300;
    switch (in.byte() % 5) {
        case 0: {
            // The project's own pictures.
            const uint8_t* const pictures[] = {g_pucPictureLogo, g_pucPictureSmallLogo,
                                               g_pucPictureLampOff, g_pucPictureLampOn};
            Draw(clip, pictures[in.byte() % 4], x, y);
            break;
        }
        case 1: {
            const Picture picture = MakePicture(in);
            Draw(clip, picture.plain.data(), x, y);
            if (!picture.compressed.empty()) {
                Scene plain(0, &clip);
                _GrImageDraw(&plain.context, picture.plain.data(), x, y);
                Scene compressed(1, &clip);
                _GrImageDraw(&compressed.context, picture.compressed.data(), x, y);
                FUZZ_CHECK(plain.display.sameAs(compressed.display));
            }
            break;
        }
        case 2: {
            // End points anywhere in 32 bits.
            const int32_t x1 = in.i32(), y1 = in.i32(), x2 = in.i32(), y2 = in.i32();
            Scene scene(0, &clip);
            GrLineDraw(&scene.context, x1, y1, x2, y2);
            const __int128 dx = static_cast<__int128>(x2) - x1;
            const __int128 dy = static_cast<__int128>(y2) - y1;
            const __int128 major = std::max(dx < 0 ? -dx : dx, dy < 0 ? -dy : dy);
            for (const uint32_t i : scene.display.touched()) {
                const __int128 px = i % ClipDisplay::kWidth;
                const __int128 py = i / ClipDisplay::kWidth;
                const __int128 cross = dx * (py - y1) - dy * (px - x1);
                // Each clip step rounds one end toward zero (under one step off the line it
                // was computed on), and computes it from the ends the step before left, so the
                // errors add up: at most four steps (each end on both axes), then half a step
                // more for the run between the ends.
                FUZZ_CHECK(2 * (cross < 0 ? -cross : cross) <= 9 * major);
            }
            break;
        }
        case 3: {
            const Rect rect{in.i16(), in.i16(), in.i16(), in.i16()};
            const bool outline = in.flag();
            Scene clipped(0, &clip);
            Scene whole(1, nullptr);
            for (Scene* scene : {&clipped, &whole}) {
                if (outline) {
                    GrRectDraw(&scene->context, &rect);
                } else {
                    _GrRectFill(&scene->context, &rect);
                }
            }
            ExpectCut(clipped.display, whole.display, clipped.context.clip);
            break;
        }
        default: {
            const FontRecord* const fonts[] = {&g_sFontCm12, &g_sFontCm14, &g_sFontCm14b};
            const FontRecord* font = fonts[in.byte() % 3];
            const uint32_t opaque = in.byte() & 1;
            const std::string text = in.text(64);
            Scene clipped(0, &clip);
            clipped.context.font = font;
            GrStringDraw(&clipped.context, text.c_str(), -1, x, y, opaque);
            Scene whole(1, nullptr);
            whole.context.font = font;
            GrStringDraw(&whole.context, text.c_str(), -1, x, y, opaque);
            ExpectCut(clipped.display, whole.display, clipped.context.clip);
            break;
        }
    }
    return 0;
}
