// The faint grid of the curve area (frequency lines, dashed level lines) as an image of the
// area's size, and the scale labels and ticks around the area in the final background.
#pragma once

#include <cstdint>

struct inst_t;
struct lrgb_t;

// Room for the grid's runs of covered pixels in the largest area: a count per row and at most
// one run per two columns.
enum { GRID_RUNS_CAPACITY = 602 * (1 + 974 + 1) };
// Room for the recorded dash pixels of the level lines (one key each in grid_dash_ops, and at
// most one packed pixel each in grid_dash_packed): several times what the busiest vertical
// range records.
enum { GRID_DASH_CAPACITY = 1 << 19 };

// Rebuilds grids_lut and the labels (bg_final starts again from bg_layer).
void make_grids_lut(inst_t* inst);
// Vertical lines at the round frequencies; labels for those the zoom makes room for.
void draw_freq_grid(inst_t* inst);
// Level lines: every 12 dB, and every 6, 3 and 1 dB faded in as the vertical zoom grows.
void draw_db_grid(inst_t* inst);
// One level line at v real dB with intensity q, and its label when label_switch allows.
void draw_db_dashed_line(inst_t* inst, int label_switch, double v, double q);
// Lays grids_lut over the curve area of fb, faded by grid_fade.
void draw_grids_lut(inst_t* inst);

// The blend of one run of n covered grid pixels g over the frame's f at the fade's opacity A
// (0 .. 32768); the alphas of f are kept. Plain C++ everywhere, and the SSE2 and AVX2 kernels
// where built and where the processor runs them (else null); draw_grids_lut takes the fastest.
// Tests force each one: they must give the same bits.
typedef void (*grid_blend_fn)(lrgb_t* f, const lrgb_t* g, int n, uint32_t A);
struct grid_blends_t {
  grid_blend_fn plain, sse2, avx2;
};
grid_blends_t grid_blends();
