// The per-instance record shared by the audio path, the editor and the knobs. One slot of
// the process-wide table; its buffers are tracked allocations on `alloc_list`.
#pragma once
#include <atomic>
#include <cstdint>

#include "engine/flags.h"

struct design_t;
struct editor_host_t;
struct engine_host_t;
struct engine_t;
struct eqband_t;
struct fft_plan_t;
struct gc_list_t;
struct knob_cache_t;
struct layout_item_t;
struct lrgb_t;
struct mutex_t;
struct srgb_t;
struct text_t;
class IGraphics;
class IPluginBase;

enum {
  BUFFER_CAPACITY = 470000,  // values in every engine buffer
  CURVE_COLUMNS = 1220,      // the widest curve area
};

struct inst_t {
  uint8_t in_use = 0;
  gc_list_t* alloc_list = nullptr;

  // Text objects of the editor: the info line and the three control-info labels.
  text_t* info_text = nullptr;
  text_t* label_text_a = nullptr;
  text_t* label_text_b = nullptr;
  text_t* label_text_c = nullptr;

  // The editor's frame in linear light and its display copy; the interface size and the
  // curve-and-spectrum area inside it.
  srgb_t* screen_bits = nullptr;
  lrgb_t* fb = nullptr;
  int32_t ui_w = 0, ui_h = 0;
  int32_t area_w = 0, area_h = 0;
  int32_t area_x = 0, area_y = 0;
  double area_xf = 0.0, area_yf = 0.0;
  lrgb_t* bg_layer = nullptr;  // the panel as drawn once, until bg_final has it
  lrgb_t* bg_final = nullptr;  // the panel with the scale labels: laid over every frame
  lrgb_t* label_backing = nullptr;  // the panel without labels where they go, packed
  // The panel's opaque and partly transparent runs, for the frame; rebuilt by the first frame
  // after bg_final changed (layout_stale).
  int32_t* layout_runs = nullptr;
  uint64_t* convert_scratch = nullptr;  // two rows of the display conversion
  int32_t layout_stale = 1;
  int32_t panel_ready = 0;  // the panel and the skin drawn, by the first frame (prepare_panel)
  knob_cache_t* knob_cache = nullptr;  // the knobs as last drawn (knob_draw.cpp)

  // Input capture for the spectrum display.
  double* capture[2] = {};
  double* capture_copy[2] = {};
  double* capture_spectrum[2] = {};
  int32_t capture_len = 0;
  int32_t capture_pos = 0;
  flag_t capture_new;
  flag_t bands_dirty;
  fft_plan_t* capture_plan = nullptr;

  // Published kernel spectrum: [0] written by the engine, [1] the editor's copy.
  double* kernel_view[2] = {};
  int32_t* fft_size_ref = nullptr;
  int32_t* kernel_size_ref = nullptr;
  double* active_kernel = nullptr;
  flag_t kernel_view_new;
  double* response_col = nullptr;
  double* capture_window = nullptr;  // made by the editor when it first needs it
  int32_t capture_window_len = 0;    // the length capture_window holds the window of

  // Curve per column: [0] computed by the engine, [1] and [2] the editor's.
  double* curve[3] = {};
  int32_t* curve_row = nullptr;
  flag_t curve_new;
  flag_t vrange_dirty;
  flag_t hview_dirty;
  double dash_phase = 0.0;
  double* dash_cache = nullptr;  // where the measured response's dashes go, and from what (dashed.cpp)
  double ring_phase = 0.0;
  double pulse_phase = 0.0;

  double samplerate = 44100.0;
  int32_t latency = 0;
  double* spectrum_col[3] = {};  // input level per column: left, right, their sum
  double* bin_cache = nullptr;   // the transforms' bins per column, for the view (spectrum.cpp)

  // Horizontal view of the curve area on the 20 Hz .. 20 kHz axis.
  double view_width = 1.0, view_pos = 0.5;
  double view_f_lo = 20.0, view_f_hi = 20000.0;
  double view_u_lo = 0.0, view_u_hi = 1.0;

  // Display settings (from the parameters).
  int32_t colour_scheme = 0;
  double colour_gain = 1.0;
  double gamma = 1.1;
  double vscale = 1.0;
  int32_t ui_size = 1;

  design_t* design = nullptr;
  // The band records, the point list and its count belong to the curve: every thread reads
  // and writes them under lock_curve (designs, band mappings, drags, handle positions).
  eqband_t* bands = nullptr;         // 4 records, band order
  eqband_t* bands_sorted = nullptr;  // 6 records: start, active bands, end
  flag_t bands_from_editor;
  int32_t band_count = 0;
  int32_t drag_mode = 0;
  int32_t drag_band = 0, drag_handle = 0;  // handle: 0 point, 1 right slope, 2 left slope
  int32_t hover = 0, hover_band = 0, hover_handle = 0;

  IPluginBase* plug = nullptr;
  IGraphics* graphics = nullptr;

  mutex_t* lock_capture = nullptr;
  mutex_t* lock_kernel_view = nullptr;
  mutex_t* lock_curve = nullptr;
  mutex_t* lock_buffers = nullptr;
  mutex_t* lock_process = nullptr;

  flag_t samples_since_frame;
  flag_t audio_idle_frames;
  flag_t bufs_dirty;
  flag_t bufs_state;  // 1 just re-sized, 2 message due, 0 shown

  double limiter_peak = 0.0, limiter_time = 0.0;
  std::atomic<double> limiter_over{0.0};
  int32_t sel_band = 0;

  // Editor timing: frames drawn, the grid fade, the delayed preferences write.
  std::atomic<double> grid_fade{0.0};  // also restarted by parameter changes from any thread
  // The grid image of the curve area while the grid is rebuilt (make_grids_lut), which the
  // frame does before it draws anything: it shares fb's memory (frame.cpp).
  lrgb_t* grids_lut = nullptr;
  int32_t* grid_runs = nullptr;   // its covered pixels: per row a count, then first/end pairs
  lrgb_t* grid_packed = nullptr;  // and those pixels, in the order of the runs
  int32_t grids_stale = 0;        // the grid and the labels are due at the next frame
  // The level lines' dashes, which a horizontal zoom or pan leaves where they are, recorded
  // for a vertical range and an area size (grids.cpp): each dash pixel's weight as one key
  // (its index in the grid image, its drawing order, the weight), sorted; where each row's
  // keys start (area_h + 1 entries); and the dashes alone, tinted and packed as runs as in
  // grid_runs and grid_packed.
  uint64_t* grid_dash_ops = nullptr;
  int32_t* grid_dash_row_start = nullptr;
  int32_t* grid_dash_runs = nullptr;
  lrgb_t* grid_dash_packed = nullptr;
  int32_t grid_dash_count = -1;  // -1: nothing usable recorded
  double grid_dash_vscale = 0;
  int32_t grid_dash_w = 0, grid_dash_h = 0;
  // The light the response curve's line adds, gathered once per shape (curve.cpp): its runs of
  // pixels and their amounts; the gathering image, all zero in between; what it was gathered
  // for.
  int32_t* curve_line_runs = nullptr;
  lrgb_t* curve_line_packed = nullptr;
  lrgb_t* curve_line_image = nullptr;
  int32_t* curve_line_span = nullptr;  // per row the first and end columns gathered into
  double* curve_line_key = nullptr;
  layout_item_t* layout = nullptr;  // knob slot centres
  int32_t frame_count = 0;
  flag_t prefs_save_count;
  flag_t prefs_dirty;
  int32_t n_layout = 0;

  // The engine that owns the audio path, for the editor's service while audio is idle.
  engine_t* engine = nullptr;
  engine_host_t* engine_host = nullptr;
  editor_host_t* editor_host = nullptr;  // the plug-in, for the editor's preferences write
  // The audio path rewrote the band parameters: the editor's next frame moves their knobs.
  flag_t knobs_dirty;
};
