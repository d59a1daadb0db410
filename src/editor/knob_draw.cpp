#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "editor/controls.h"
#include "editor/curve.h"
#include "editor/knobs.h"
#include "editor/layout.h"
#include "editor/skin.h"
#include "engine/bands.h"
#include "engine/inst.h"
#include "engine/levels.h"
#include "engine/params.h"
#include "framework/IParam.h"
#include "framework/IPluginBase.h"
#include "toolkit/font.h"
#include "toolkit/graphics/blit.h"
#include "toolkit/graphics/colour.h"
#include "toolkit/util/memory.h"

namespace {

constexpr double INF_DB = -160.0;  // real dB at or below which a gain reads "-INF"
constexpr double LIGHT_DECAY = 0.9, LIGHT_OFF = 1e-6;

void general_text(double v, char* out, int size) {
  std::snprintf(out, size, v != 0 && std::fabs(v) < 0.999 ? "%.2f" : "%.1f", v);
}

// The gain as the user reads it: true dB, or -INF for silence.
void gain_text(double level, char* out, int size, const char* format) {
  const double r = db_to_realdb(level);
  if (r <= INF_DB)
    std::snprintf(out, size, "%s", "-INF");
  else
    std::snprintf(out, size, format, r);
}

const char* const COLOUR_NAMES[] = {"RGB", "CMY", "Stereo"};
const char* const SIZE_NAMES[] = {"780", "1060", "1220"};  // the editor widths

}  // namespace

const char* knob_caption(int param, int value) {
  if (value < 0 || value > 2) return nullptr;
  if (param == PARAM_COLOUR) return COLOUR_NAMES[value];
  if (param == PARAM_INTERFACE_SIZE) return SIZE_NAMES[value];
  return nullptr;
}

bool knob_value_text(const inst_t* inst, int slot, double v, char* out, int size) {
  // The band's on parameter, not its record, which the audio path may be rewriting.
  if (slot >= CTRL_BAND_GAIN && slot <= CTRL_BAND_SLOPE &&
      !(inst->plug->GetParam(PARAM_BAND_ON + inst->sel_band)->Value() >= 0.5)) {
    out[0] = 0;
    return true;
  }
  switch (slot) {
    case CTRL_BAND_GAIN: gain_text(v, out, size, "%.1f"); return true;
    case CTRL_BAND_FREQ: std::snprintf(out, size, "%.0f", v); return true;
    case CTRL_BAND_SLOPE: std::snprintf(out, size, std::fabs(v) < 99.95 ? "%.1f" : "%.0f", v); return true;
    case CTRL_COLOUR:
    case CTRL_INTERFACE_SIZE: {
      const char* name = v >= 0 && v < 3 ? knob_caption(knob_param(0, slot), static_cast<int>(v)) : nullptr;
      if (!name) return false;
      std::snprintf(out, size, "%s", name);
      return true;
    }
    default: general_text(v, out, size); return true;
  }
}

// What a knob's box showed when it was last drawn. A box lying wholly on opaque panel, apart
// from every other box, shows the same pixels as long as its frame and value text stay and the
// panel under it is unchanged: those pixels are copied back instead of drawn.
struct knob_cache_t {
  enum { BOX = 64, LABEL = 32 };  // mutate: skip constant (a box or label too large to keep is drawn anew: the same pixels; room to spare keeps the same ones)
  bool checked;   // the boxes were checked against the panel, made once per instance
  bool spilled;   // this frame, a text went outside its box: the boxes after it are drawn
  struct slot_t {
    bool usable;     // on opaque panel, apart from the other boxes
    int32_t frame;   // the image frame kept; -1: nothing kept
    const font_t* font;
    char label[LABEL];
    lrgb_t pixels[BOX * BOX];
  } slot[CTRL_COUNT];
};

knob_cache_t* new_knob_cache(inst_t* inst) {
  auto* k = static_cast<knob_cache_t*>(gc_calloc(inst->alloc_list, 1, sizeof(knob_cache_t)));
  return k;
}

namespace {

// The box of a slot's knob image: x, y, w, h.
bool knob_box(const inst_t* inst, const image_t* image, int slot, long box[4]) {
  const layout_item_t& c = inst->layout[slot];
  box[0] = c.x - (image->w >> 1);
  box[1] = c.y - (image->h >> 1);
  box[2] = image->w;
  box[3] = image->h;
  return box[0] >= 0 && box[1] >= 0 && box[0] + box[2] <= inst->ui_w && box[1] + box[3] <= inst->ui_h &&
         box[2] <= knob_cache_t::BOX && box[3] <= knob_cache_t::BOX;  // mutate: skip relational (a full-size box not kept is drawn anew: the same pixels)
}

void check_boxes(inst_t* inst, const image_t* image) {
  knob_cache_t* k = inst->knob_cache;
  k->checked = true;  // mutate: skip (a cache: checking again finds the same boxes)
  long boxes[CTRL_COUNT][4] = {};
  for (int s = 1; s < CTRL_COUNT; ++s) {
    knob_cache_t::slot_t& slot = k->slot[s];
    slot.frame = -1;
    // The scale labels are rebuilt with every view change, without a new panel: a box that
    // meets their strips is never kept.
    slot.usable = knob_box(inst, image, s, boxes[s]) && !meets_label_strips(inst, boxes[s]);  // mutate: skip statement (left false: every knob is drawn)
    const long* b = boxes[s];
    for (long y = b[1]; slot.usable && y < b[1] + b[3]; ++y)
      for (long x = b[0]; x < b[0] + b[2]; ++x)
        if (inst->bg_final[y * inst->ui_w + x].a < 32768) slot.usable = false;  // mutate: skip relational (a box not kept is drawn)
  }
  for (int s = 1; s < CTRL_COUNT; ++s)
    for (int o = 1; o < CTRL_COUNT; ++o) {
      const long *a = boxes[s], *b = boxes[o];
      if (o != s && a[0] < b[0] + b[2] && b[0] < a[0] + a[2] && a[1] < b[1] + b[3] && b[1] < a[1] + a[3])
        k->slot[s].usable = false;
    }
}

// Copies the box between the frame and the kept pixels.
void copy_box(inst_t* inst, const long box[4], lrgb_t* kept, bool keep) {
  for (long y = 0; y < box[3]; ++y) {
    lrgb_t* row = inst->fb + (box[1] + y) * inst->ui_w + box[0];
    std::memcpy(keep ? kept + y * box[2] : row, keep ? row : kept + y * box[2], sizeof(lrgb_t) * box[2]);
  }
}

}  // namespace

void draw_knob(inst_t* inst, const image_t* image, const char*, int param, int slot) {
  IParam* p = inst->plug->GetParam(param);
  text_t* label = inst->label_text_c;
  if (!p || !label) return;
  const layout_item_t& c = inst->layout[slot];
  label->x = c.x - 0.5;
  label->y = c.y;
  knob_value_text(inst, slot, p->Value(), label->string, TEXT_BYTES);
  const bool drawable = image->l && image->w > 0 && image->h > 0;
  const int n = std::min(KNOB_FRAMES - 1, std::max(0, static_cast<int>(p->GetNormalized() * (KNOB_FRAMES - 1) + 0.5)));

  knob_cache_t* k = inst->knob_cache;
  long box[4] = {};
  const bool boxed = k && drawable && slot > 0 && slot < CTRL_COUNT && knob_box(inst, image, slot, box);
  if (boxed && !k->checked) check_boxes(inst, image);  // first use: the panel is made by now
  knob_cache_t::slot_t* kept = boxed && k->slot[slot].usable && !k->spilled ? &k->slot[slot] : nullptr;
  if (kept && kept->frame == n && kept->font == label->font && std::strcmp(kept->label, label->string) == 0) {
    copy_box(inst, box, kept->pixels, false);
    return;
  }

  static const lrgb_t text_colour = make_colour_srgb(64, 192, 255, 255);
  blit_text(label, inst->fb, text_colour, inst->ui_w, inst->ui_h, 1.3);
  if (drawable)
    blit_sprite(inst->fb, inst->ui_w, inst->ui_h, image->l + static_cast<size_t>(n) * image->w * image->h,
                image->w, image->h, c.x, c.y, 1, ALIGN_CENTRE, ALIGN_CENTRE);
  if (!k) return;
  long i0 = 0, i1 = 0, j0 = 0, j1 = 0;
  // A text wholly off the frame (a hidden slot's) marks nothing.
  const bool inside = !text_bounds(label, inst->ui_w, inst->ui_h, &i0, &i1, &j0, &j1) ||
                      (boxed && i0 >= box[0] && i1 <= box[0] + box[2] && j0 >= box[1] && j1 <= box[1] + box[3]);
  if (!inside) k->spilled = true;
  if (!kept) return;
  kept->frame = -1;
  if (!inside || std::strlen(label->string) >= sizeof kept->label) return;
  copy_box(inst, box, kept->pixels, true);
  std::strcpy(kept->label, label->string);
  kept->font = label->font;
  kept->frame = n;
}

void draw_knobs(inst_t* inst, const image_t* strip) {
  const image_t* image = strip ? strip : &skin().bknob;
  if (inst->knob_cache) inst->knob_cache->spilled = false;
  for (int slot = 1; slot < CTRL_COUNT; ++slot)
    draw_knob(inst, image, nullptr, knob_param(inst->sel_band, slot), slot);
}

void blit_sprite_fma(inst_t* inst, const lrgb_t* sprite, int w, int h, int x, int y, int flags,
                     const lrgb_t* tint, double q) {
  if (!sprite) return;  // a sprite of no width or height leaves the loops below empty
  if (!(flags & 4)) {
    x -= w >> 1;
    y -= h >> 1;
  }
  const int W = inst->ui_w, H = inst->ui_h;
  const int x0 = std::max(0, -x), y0 = std::max(0, -y);
  const int x1 = std::min(w, W - x), y1 = std::min(h, H - y);
  const int64_t fr = static_cast<int64_t>(tint->r * q + 0.5), fg = static_cast<int64_t>(tint->g * q + 0.5),
                fb = static_cast<int64_t>(tint->b * q + 0.5);
  auto add = [](uint16_t p, int64_t s, int64_t f) {
    return static_cast<uint16_t>(std::min<int64_t>(32768, p + ((s * f) >> 15)));
  };
  for (int j = y0; j < y1; ++j)
    for (int i = x0; i < x1; ++i) {
      const lrgb_t& s = sprite[j * w + i];
      lrgb_t& p = inst->fb[(y + j) * W + (x + i)];
      p.r = add(p.r, s.r, fr);
      p.g = add(p.g, s.g, fg);
      p.b = add(p.b, s.b, fb);
    }
}

void draw_limiter_light(inst_t* inst) {
  double seen = inst->limiter_over.load(std::memory_order_relaxed);
  if (!(seen > 0)) return;  // mutate: skip relational (a peak of 0 adds no light and stays 0)
  const double over = seen > 1 ? 1 : seen;
  const image_t& light = skin().light;
  static const lrgb_t tint = srgb_colour(192, 240, 255);  // added light: no alpha
  const layout_item_t& c = inst->layout[CTRL_LIMITER];
  blit_sprite_fma(inst, light.l, light.w, light.h, c.x, c.y, 0, &tint, over);
  const double next = over * LIGHT_DECAY;
  // Only what this frame saw fades: a peak the audio path raised meanwhile stays lit.
  inst->limiter_over.compare_exchange_strong(seen, next < LIGHT_OFF ? 0.0 : next, std::memory_order_relaxed);
}

void print_control_info(inst_t* inst) {
  text_t* info = inst->info_text;
  if (!info || inst->drag_band < 0 || inst->drag_band >= BAND_COUNT) return;
  const eqband_t& B = inst->bands[inst->drag_band];
  const char letter = static_cast<char>('A' + inst->drag_band);
  char* s = info->string;
  const int n = TEXT_BYTES;
  char* tmp = info->scratch;
  if (inst->drag_handle == HANDLE_RIGHT || inst->drag_handle == HANDLE_LEFT) {
    std::snprintf(tmp, n, "Band %c,", letter);
    std::snprintf(s, n, B.freq >= 100 ? "%s %s handle : freq: %4.0f Hz - slope: %-4.1f dB/octave"
                                      : "%s %s handle : freq: %4.1f Hz - slope: %-4.1f dB/octave",
                  tmp, inst->drag_handle == HANDLE_RIGHT ? "top" : "bottom", B.freq, B.slope);
  } else if (inst->drag_handle == HANDLE_POINT) {
    std::snprintf(tmp, n, "Band %c :", letter);
    std::snprintf(s, n, B.freq >= 100 ? "%s freq: %4.0f Hz -" : "%s freq: %4.1f Hz -", tmp, B.freq);
    std::snprintf(tmp, n, "%s", s);
    const double r = db_to_realdb(B.gain);
    if (r < INF_DB)
      std::snprintf(s, n, "%s gain: -INF dB", tmp);
    else
      std::snprintf(s, n, std::fabs(r) >= 12.5 ? "%s gain: %+2.1f dB" : "%s gain: %+2.2f dB", tmp, r);
  }
}
