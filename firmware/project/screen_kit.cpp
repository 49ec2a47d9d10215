#include "project/screen_kit.hpp"

#include "graphics/hmi.hpp"
#include "graphics/image.hpp"
#include "graphics/ustdlib.hpp"

namespace screen_kit {

namespace {

// The check box's state, as the 0 or 1 written to its variable.
int32_t SelectedBit(const CheckBoxRecord* checkBox) {
    return (checkBox->style >> 5) & 1;
}

void SetSelected(CheckBoxRecord* checkBox, bool selected) {
    checkBox->style = static_cast<uint16_t>(selected ? checkBox->style | CB_SELECTED
                                                     : checkBox->style & ~CB_SELECTED);
}

// A number cut at the label's edge reads as a smaller, plausible number ("1000" as "100"), so a
// value wider than the label's inside is replaced by as many '#' as fit: no digit, no sign,
// nothing an operator could take for a reading.
void FitValue(const CanvasRecord& label, char (&buffer)[kValueTextSize]) {
    DrawContext context{};
    context.font = label.font;
    const int32_t outline = (label.style & CANVAS_OUTLINE) != 0 ? 2 : 0;
    const int32_t room = label.position.xmax - label.position.xmin + 1 - outline;
    if (GrStringWidthGet(&context, buffer, -1) <= room) {
        return;
    }
    const int32_t mark = GrStringWidthGet(&context, "#", 1);
    size_t count = 0;
    while (count + 1 < kValueTextSize && static_cast<int32_t>(count + 1) * mark <= room) {
        buffer[count++] = '#';
    }
    if (count == 0) {
        buffer[count++] = '#';  // narrower than one mark: the cut mark still is no number
    }
    buffer[count] = '\0';
}

}  // namespace

void AddWidgets(const ScreenWidget* widgets, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const ScreenWidget& entry = widgets[i];
        WidgetAdd(&g_sRoot, entry.widget);
        if (entry.checkBox != nullptr) {
            // Reading consumes the change mark: binding sets it again for the first cycle.
            SetSelected(entry.checkBox, var_get(entry.state) != 0);
            CheckBoxPaint(entry.checkBox, 1);
        }
    }
}

void RemoveWidgets(const ScreenWidget* widgets, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        WidgetRemove(widgets[i].widget);
    }
}

void PaintScreen() {
    // If the queue refuses the request the screen stays unpainted until a later paint.
    (void)WidgetMessageQueueAdd(&g_sRoot, MSG_PAINT, 0, 0, 0, 0);
    WidgetMessageQueueProcessEx(MSG_PAINT);
}

void Bind(const Binding* bindings, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        bindings[i].variable->dirty = 1;
        bindings[i].variable->display_proc = bindings[i].display;
    }
}

void Unbind(const Binding* bindings, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        bindings[i].variable->display_proc = nullptr;
    }
}

void DrawVector(DrawContext* context, int32_t x, int32_t y, const VectorElement* elements,
                size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const VectorElement& e = elements[i];
        switch (e.kind) {
            case VectorElement::Kind::Picture:
                hmi_DrawImage(context, e.picture, x + e.x1, y + e.y1);
                break;
            case VectorElement::Kind::FilledRect:
                hmi_SetForeground(context, e.color);
                hmi_FillRect(context, x + e.x1, y + e.y1, x + e.x2, y + e.y2);
                hmi_DrawRect(context, x + e.x1, y + e.y1, x + e.x2, y + e.y2);
                break;
            case VectorElement::Kind::Text:
                context->font = e.font;
                hmi_SetForeground(context, e.color);
                GrStringDraw(context, e.text, e.length, x + e.x1, y + e.y1, 0);
                break;
        }
    }
}

void PaintFrame(DrawContext* context, VectorRoutine picture) {
    hmi_SetForeground(context, kWhite);
    // One past the last pixel; the canvas's clip cuts it.
    hmi_FillRect(context, 0, 0, 320, 240);
    picture(context, 0, 0);
}

void ClearPressed(WidgetRecord* button) {
    static_cast<PushButtonRecord*>(button)->style &= ~PB_PRESSED;
}

void ShowValue(CanvasRecord* label, char (&buffer)[kValueTextSize], VarRecord* variable) {
    const int32_t value = var_get(variable);
    usprintf(buffer, "%d", value);  // at most 11 characters and the NUL
    FitValue(*label, buffer);
    label->text = buffer;
    if (WidgetMessageQueueAdd(label, MSG_PAINT, 0, 0, 0, 0) == 0) {
        // Refused (queue full, or its lock disturbed by an interrupt): keep the change mark so
        // that the next cycle shows the value, instead of leaving the old one on screen until
        // the value changes again.
        variable->dirty = 1;
    }
}

void HandDrawnChange(WidgetRecord* checkBox, uint32_t state, VarRecord* variable,
                     void (*draw)(WidgetRecord* checkBox, int32_t value)) {
    if ((state & kCheckBoxPaintRequest) != 0) {
        draw(checkBox, static_cast<int32_t>((state >> 5) & 1));
    } else {
        WriteCheckBoxState(checkBox, variable);
    }
}

void WriteCheckBoxState(WidgetRecord* checkBox, VarRecord* variable) {
    var_set_write_data(variable, SelectedBit(static_cast<CheckBoxRecord*>(checkBox)));
}

void DrawStatePicture(WidgetRecord* checkBox, int32_t value, const VectorRoutine (&pictures)[2]) {
    DrawContext context{};
    GrContextInit(&context, checkBox->display);
    GrContextClipRegionSet(&context, &checkBox->position);
    hmi_SetForeground(&context, kWhite);
    // The lowest bit, also for a negative value (a remainder of -1 would index before the table).
    pictures[static_cast<uint32_t>(value) & 1](&context, checkBox->position.xmin + 1,
                                               checkBox->position.ymin + 1);
    checkBox->display->Flush(checkBox->display->displayData);
}

void ShowHandDrawn(CheckBoxRecord* checkBox, VarRecord* variable,
                   void (*draw)(WidgetRecord* checkBox, int32_t value)) {
    SetSelected(checkBox, var_get(variable) != 0);
    CheckBoxPaint(checkBox, 1);
    // A value such as 2 ticks the box but shows the picture of its lowest bit.
    draw(checkBox, var_get(variable));
}

}  // namespace screen_kit
