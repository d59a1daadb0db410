// Shared by the editor's tests: a scratch settings folder, instances of a given size, and
// view records set up from first principles.
#pragma once
#include <gtest/gtest.h>

#include <cmath>

#include "engine/inst.h"
#include "preview.h"
#include "toolkit/graphics/srgb.h"

constexpr double FULL_RANGE = 64.34294481903252;  // Vert. Range at its maximum: no zoom

// A record with only the view fields set: area size, vertical range, zoom and position.
inline void set_view(inst_t* inst, int w, int h, double vrange = FULL_RANGE, double zoom = 1, double pos = 0.5) {
  inst->area_w = w;
  inst->area_h = h;
  inst->vscale = FULL_RANGE / vrange;
  const double width = 1 / zoom;
  inst->view_width = width;
  inst->view_pos = pos;
  inst->view_u_lo = (1 - width) * pos;
  inst->view_u_hi = inst->view_u_lo + width;
  inst->view_f_lo = 20 * std::pow(1000.0, inst->view_u_lo);
  inst->view_f_hi = 20 * std::pow(1000.0, inst->view_u_hi);
}

struct EditorTest : ::testing::Test {
  static void SetUpTestSuite() { preview_scratch_config(); }
  PreviewPlug make(int size = 1, double rate = 44100) {
    PreviewPlug p = preview_make(size, rate);
    EXPECT_NE(p, nullptr);
    return p;
  }
};
