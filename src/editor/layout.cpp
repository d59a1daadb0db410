#include "editor/layout.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "editor/skin.h"
#include "framework/IGraphics.h"
#include "engine/inst.h"
#include "quillmar_version.h"
#include "toolkit/graphics/blending.h"
#include "toolkit/graphics/blit.h"
#include "toolkit/graphics/colour.h"
#include "toolkit/graphics/drawprimitives.h"
#include "toolkit/gui/drawelements.h"
#include "toolkit/util/memory.h"

namespace {

struct ui_size_t {
  int w, h, row5;  // editor size; the bottom knob row
};

const ui_size_t SIZES[3] = {{780, 566, 486}, {1060, 566, 486}, {1220, 666, 586}};

constexpr int AREA_MARGIN = 32;               // the area's top-left corner
constexpr int AREA_SPARE_W = 246, AREA_SPARE_H = 64;  // editor minus area
constexpr int OFF_SCREEN = 2000;              // hidden knobs sit this far outside
constexpr double CELL_W = 68.0, CELL_H = 100.0;  // the slot spacing

struct slot_label_t {
  const char* label;
  const char* title;  // null: no group frame at this slot
  int cols, rows;
};

const slot_label_t LABELS[LAYOUT_ITEMS] = {
    {"unlabeled", nullptr, 0, 0},
    {"Gain", "Band parameters", 3, 1},
    {"Frequency", nullptr, 0, 0},
    {"Slope", nullptr, 0, 0},
    {"Colour", "Visualisation", 3, 1},
    {"Colour Gain", nullptr, 0, 0},
    {"Gamma", nullptr, 0, 0},
    {"Transpose", "Curve effects", 3, 1},
    {"Overall Gain", nullptr, 0, 0},
    {"Gain Scale", nullptr, 0, 0},
    {"Resolution", "Precision/Delay/CPU", 2, 1},
    {"Delay", nullptr, 0, 0},
    {"Limiter", "Output", 1, 1},
    {"dB Range", nullptr, 0, 0},
    {"Hor. Zoom", nullptr, 0, 0},
    {"Hor. Position", nullptr, 0, 0},
    {"Size", "Interface", 1, 1},
};

void set_text(text_t* t, const char* s) {
  if (t) std::snprintf(t->string, TEXT_BYTES, "%s", s ? s : "");
}

}  // namespace

void layout_pos_from_uisize(inst_t* inst) {
  const int size = std::min(std::max(inst->ui_size, 0), 2);
  inst->ui_size = size;
  const ui_size_t& s = SIZES[size];
  inst->ui_w = s.w;
  inst->ui_h = s.h;
  inst->area_w = s.w - AREA_SPARE_W;
  inst->area_h = s.h - AREA_SPARE_H;
  inst->area_x = inst->area_y = AREA_MARGIN;
  inst->area_xf = inst->area_yf = AREA_MARGIN;
  if (!inst->layout || inst->n_layout < LAYOUT_ITEMS) return;

  const int c1 = s.w - 174, c2 = s.w - 106, c3 = s.w - 38, r5 = s.row5;
  const layout_item_t slots[LAYOUT_ITEMS] = {
      {0, 0},
      {c1, 86}, {c2, 86}, {c3, 86},                                 // band gain, frequency, slope
      {c1, r5}, {c2, r5}, {c3 - OFF_SCREEN, r5 - OFF_SCREEN},       // colour, colour gain, gamma
      {c1, 186}, {c2, 186}, {c3, 186},                              // transpose, overall gain, gain scale
      {c1, 286}, {c2, 286}, {c3, 286},                              // resolution, delay, limiter
      {c3, r5},                                                     // vertical range
      {c2 - OFF_SCREEN, -1514}, {c3 - OFF_SCREEN, -1514},           // horizontal zoom and position
      {c3, 386},                                                    // interface size
  };
  std::memcpy(inst->layout, slots, sizeof slots);
}

void make_layout(inst_t* inst) {
  lrgb_t* layer = inst->bg_layer;
  const int w = inst->ui_w, h = inst->ui_h;
  if (!layer || w <= 0 || h <= 0) return;  // mutate: skip condition logical relational (saves work only: every drawing below skips a missing or empty layer)
  const skin_t& sk = skin();

  const double cx = inst->area_x + inst->area_w / 2 + 0.5;
  const double cy = inst->area_y + inst->area_h / 2 + 0.5;
  const double radius = 1.4 * h;

  const lrgb_t clear = make_colour_lin(0, 0, 0, 0);
  const lrgb_t frame = make_colour_lin(0.02, 0.02, 0.02,
                                       1);  // mutate: skip constant (the frames multiply, which keeps the panel's alpha)
  const lrgb_t outer = make_colour_lin(0.14, 0.14, 0.1092, 1);
  const lrgb_t inner = make_colour_lin(0.9, 0.9, 0.9, 1);

  text_t* label = init_text(inst->alloc_list, sk.fbold12, TEXT_CENTRE, 0, 0);
  text_t* title = init_text(inst->alloc_list, sk.font12, TEXT_LEFT, 0, 0);

  draw_gaussian_gradient(layer, w, h, outer, inner, BLEND_REPLACE, cx, cy, radius, -0.05, -0.15);
  blit_sprite(layer, w, h, sk.logo.l, sk.logo.w, sk.logo.h, 25, 1, BLEND_MULTIPLY, ALIGN_LEFT, ALIGN_TOP);

  // The curve area is cut out of the panel (alpha 0) and shadowed around its edge.
  const double x0 = inst->area_x, y0 = inst->area_y;
  const double x1 = x0 + inst->area_w, y1 = y0 + inst->area_h;
  draw_roundrect(layer, w, h, clear, BLEND_ALPHA, x0, y0, x1, y1, 3.0, 0.85, 1.0);
  draw_roundrect(layer, w, h, clear, BLEND_MULTIPLY, x0 - 1.8, y0 - 1.8, x1 + 1.8, y1 + 1.8, 3.0, 0.85, 0.9);

  if (inst->layout) {
    const int last = inst->n_layout < LAYOUT_ITEMS ? inst->n_layout : LAYOUT_ITEMS;
    for (int k = 1; k < last; ++k) {
      const int x = inst->layout[k].x, y = inst->layout[k].y;
      const slot_label_t& l = LABELS[k];
      set_text(title, "");
      set_text(label, l.label);
      if (l.title) {
        set_text(title, l.title);
        draw_titled_roundrect_frame(layer, w, h, frame, BLEND_MULTIPLY, x, y, 0.85, l.cols, l.rows, CELL_W, CELL_H);
      }
      blit_sprite(layer, w, h, sk.shade.l, sk.shade.w, sk.shade.h, x, y, BLEND_MULTIPLY, ALIGN_CENTRE,
                  ALIGN_CENTRE);
      if (label) {
        label->x = x;
        label->y = y + 30;
        blit_text(label, layer, sk.black, w, h, 1.0);
      }
      if (title) {
        title->x = x - 30;
        title->y = y - 49;
        blit_text(title, layer, sk.white, w, h, 1.0);
      }
    }
  }
  free_text(inst->alloc_list, label);
  free_text(inst->alloc_list, title);
}

void draw_version_label(inst_t* inst) {
  text_t* t = init_text(inst->alloc_list, skin().font12, TEXT_RIGHT, inst->ui_w - 3, inst->ui_h - 15);
  if (!t) return;
  set_text(t, "v" QUILLMAR_VERSION_SHORT);
  blit_text(t, inst->bg_layer, make_colour_lin(0.15, 0.15, 0.15, 1), inst->ui_w, inst->ui_h, 1.0);
  free_text(inst->alloc_list, t);
}

namespace {

constexpr int LABEL_MARGIN = 8;  // how far the labels' ticks reach into the curve area, blur included

// The strips: columns left of `left` in the rows above `bottom`, and every row from `bottom`.
void strip_edges(const inst_t* inst, int* left, int* bottom) {
  *left = std::min(inst->ui_w, inst->area_x + LABEL_MARGIN);
  *bottom = std::max(0, inst->area_y + inst->area_h - LABEL_MARGIN);
}

// The panel where the scale labels and their ticks go: every row left of the curve area and
// every column below it. Copied row by row between an image and the packed backing.
void copy_label_strips(const inst_t* inst, lrgb_t* image, lrgb_t* packed, bool to_packed) {
  const int w = inst->ui_w;
  int left, bottom;
  strip_edges(inst, &left, &bottom);
  for (int y = 0; y < inst->ui_h; ++y) {
    const int n = y < bottom ? left : w;
    lrgb_t* row = image + (size_t)y * w;
    std::memcpy(to_packed ? packed : row, to_packed ? row : packed, sizeof(lrgb_t) * n);
    packed += n;
  }
}

}  // namespace

void make_final_layout(inst_t* inst) {
  if (!inst->bg_layer || !inst->bg_final || !inst->label_backing) return;
  std::memcpy(inst->bg_final, inst->bg_layer, sizeof(lrgb_t) * inst->ui_w * inst->ui_h);
  copy_label_strips(inst, inst->bg_layer, inst->label_backing, true);
  // bg_final holds the panel and label_backing what the labels cover: the drawing is not kept.
  gc_discard(inst->alloc_list, inst->bg_layer);
  inst->layout_stale = 1;
}

void restore_label_strips(inst_t* inst) {
  if (!inst->bg_final || !inst->label_backing) return;
  copy_label_strips(inst, inst->bg_final, inst->label_backing, false);
}

bool meets_label_strips(const inst_t* inst, const long box[4]) {
  int left, bottom;
  strip_edges(inst, &left, &bottom);
  return box[0] < left || box[1] + box[3] > bottom;
}

void prepare_panel(inst_t* inst) {
  if (inst->panel_ready) return;
  skin_ensure(inst->graphics);
  const skin_t& sk = skin();
  // The editor's texts were made with the instance, before it had any use for fonts.
  if (inst->info_text) inst->info_text->font = sk.font15;
  if (inst->label_text_a) inst->label_text_a->font = sk.fbold12;
  if (inst->label_text_b) inst->label_text_b->font = sk.fbold12;
  if (inst->label_text_c) inst->label_text_c->font = sk.font12;
  if (inst->graphics) inst->graphics->SetPromptFont(sk.font12);
  // The frame, both panel layers and the display pixels are drawn over whole at this size.
  const size_t frame_pixels = (size_t)inst->ui_w * inst->ui_h;
  for (lrgb_t* image : {inst->fb, inst->bg_layer, inst->bg_final}) mem_expect_written(image, frame_pixels * sizeof(lrgb_t));
  mem_expect_written(inst->screen_bits, frame_pixels * sizeof(srgb_t));
  make_layout(inst);
  draw_version_label(inst);
  make_final_layout(inst);
  inst->panel_ready = 1;
  // The labels go into the new panel. The plug-in creates the instance with the flag set and
  // prepares the panel once, in the first frame, before the grid is made: the line guards a
  // panel prepared later.
  inst->grids_stale = 1;
}

int load_layout() { return 0; }
