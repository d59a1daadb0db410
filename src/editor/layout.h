// The editor's three sizes, the knob slots, and the panel background drawn once per
// instance: gradient, logo, the framed curve area, titled knob groups, shadows and labels.
#pragma once
#include <cstdint>

struct inst_t;

// A knob slot's centre in editor pixels.
struct layout_item_t {
  int32_t x, y;
};

enum {
  LAYOUT_ITEMS = 17,        // slot 0 is not placed
  FRAME_W = 1220, FRAME_H = 666,  // the largest editor
  FRAME_PIXELS = FRAME_W * FRAME_H,  // the capacity of every framebuffer
};

// Editor size, curve area and the 17 slot centres for the instance's ui_size. A size
// outside 0 .. 2 takes the nearest of them, and ui_size is set to it.
void layout_pos_from_uisize(inst_t* inst);
// Draws the background into bg_layer.
void make_layout(inst_t* inst);
// Writes the version label into bg_layer, bottom right.
void draw_version_label(inst_t* inst);
// Copies bg_layer into bg_final and keeps the part the scale labels cover in label_backing;
// bg_layer's memory is then given back (gc_discard): it reads as zeros.
void make_final_layout(inst_t* inst);
// Puts the panel without labels back where the labels go (the start of a labels rebuild).
// Nothing else of the panel changes: what is kept of it elsewhere stays valid.
void restore_label_strips(inst_t* inst);
// Whether a box (x, y, w, h) meets the strips the scale labels and their ticks are drawn in.
bool meets_label_strips(const inst_t* inst, const long box[4]);
// Editor thread, before the instance's first frame draws: loads the process-wide skin if no
// editor has yet, gives the editor's texts their fonts, draws the panel (make_layout, the
// version label, make_final_layout) and marks the grid and labels due. Once per instance;
// the instance's construction leaves all of this to its first frame.
void prepare_panel(inst_t* inst);
// No layout is ever stored: always 0, and the background is drawn by make_layout.
int load_layout();
