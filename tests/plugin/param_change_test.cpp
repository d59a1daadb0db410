#include <cmath>
#include <cstring>
#include <thread>

#include "engine/bands.h"
#include "engine/engine.h"
#include "engine/inst.h"
#include "engine/params.h"
#include "plug_env.h"
#include "toolkit/font.h"
#include "toolkit/util/mutex.h"

namespace {

struct ParamChange : PlugTest {
  PlugPtr p;
  inst_t* inst = nullptr;
  void SetUp() override {
    PlugTest::SetUp();
    p = make();
    inst = p->Inst();
    clear();
  }
  void clear() {
    inst->bands_dirty = 0;
    inst->bands_from_editor = 1;
    inst->bufs_dirty = 0;
    inst->vrange_dirty = 0;
    inst->hview_dirty = 0;
    inst->prefs_dirty = 0;
    inst->prefs_save_count = 7;
    inst->grid_fade = 3.0;
  }
  void change(int index, double value) {
    p->GetParam(index)->Set(value);
    p->OnParamChange(index);
  }
};

TEST_F(ParamChange, BandParametersRequestARedesignFromTheParameters) {
  for (int i = 0; i <= PARAM_GAIN_SCALE; ++i) {
    clear();
    change(i, p->GetParam(i)->Value());
    EXPECT_EQ(inst->bands_dirty, 1) << i;
    EXPECT_EQ(inst->bands_from_editor, 0) << i;
    EXPECT_EQ(inst->grid_fade, 1e-7) << i;
    EXPECT_EQ(inst->prefs_dirty, 0) << i;
    EXPECT_EQ(inst->bufs_dirty, 0) << i;
  }
  // With the mouse in the curve area the grids stay hidden.
  clear();
  inst->grid_fade = 0.0;
  change(PARAM_TRANSPOSE, 3.0);
  EXPECT_EQ(inst->grid_fade, 0.0);
  EXPECT_EQ(inst->bands_from_editor, 0);
}

TEST_F(ParamChange, DisplaySettingsAndTheDelayedPreferencesWrite) {
  change(PARAM_COLOUR, 1.0);
  EXPECT_EQ(inst->colour_scheme, 1);
  EXPECT_EQ(inst->prefs_dirty, 1);
  EXPECT_EQ(inst->prefs_save_count, 0);
  clear();
  change(PARAM_COLOUR_GAIN, 12.5);
  EXPECT_EQ(inst->colour_gain, 12.5);
  EXPECT_EQ(inst->prefs_dirty, 1);
  change(PARAM_GAMMA, 1.7);
  EXPECT_EQ(inst->gamma, 1.7);
  clear();
  change(PARAM_LIMITER, -6.0);
  EXPECT_EQ(inst->prefs_dirty, 1);
  EXPECT_EQ(inst->bufs_dirty, 0);
  EXPECT_EQ(inst->bands_dirty, 0);
  // Zoom, position and the band parameters never cause a write.
  clear();
  change(PARAM_HOR_ZOOM, 2.0);
  change(PARAM_BAND_GAIN + 2, 5.0);
  EXPECT_EQ(inst->prefs_dirty, 0);
}

TEST_F(ParamChange, ColourIsTruncatedNotRounded) {
  p->GetParam(PARAM_COLOUR)->Set(1.9);  // stored directly, bypassing rounding by kind
  p->OnParamChange(PARAM_COLOUR);
  EXPECT_EQ(inst->colour_scheme, int(p->GetParam(PARAM_COLOUR)->Value()));
  EXPECT_LE(inst->colour_scheme, 1);
}

TEST_F(ParamChange, ResolutionAndInputBufferSizeRequestAReSizing) {
  change(PARAM_RESOLUTION, 2.0);
  EXPECT_EQ(inst->bufs_dirty, 1);
  EXPECT_EQ(inst->prefs_dirty, 1);
  clear();
  change(PARAM_INPUT_BUFFER_SIZE, 0.0);
  EXPECT_EQ(inst->bufs_dirty, 1);
  // The re-sizing happens at the next audio call, with the new latency reported.
  p->SetBlockSize(64);
  std::vector<double> buf(64, 0.0);
  double* io[2] = {buf.data(), buf.data()};
  p->ProcessDoubleReplacing(io, io, 64);
  // K = 2051 at Resolution 2; with no input buffer N = 2304 (the fast size for 2050 + 128).
  EXPECT_EQ(p->GetLatency(), 2051 / 2 + 2304 + 1 - 2051);
  EXPECT_EQ(inst->bufs_state, 2);
}

TEST_F(ParamChange, VerticalRangeSetsTheScale) {
  change(PARAM_VERT_RANGE, 64.34294481903252);
  EXPECT_EQ(inst->vscale, 1.0);
  EXPECT_EQ(inst->vrange_dirty, 1);
  EXPECT_EQ(inst->grid_fade, 1e-7);
  change(PARAM_VERT_RANGE, 3.0);
  EXPECT_NEAR(inst->vscale, 21.44764827301084, 1e-13);
}

TEST_F(ParamChange, HorizontalView) {
  change(PARAM_HOR_ZOOM, 10.0);
  change(PARAM_HOR_POSITION, 0.5);
  EXPECT_NEAR(inst->view_f_lo, 20 * std::pow(1000.0, 0.45), 1e-9);
  EXPECT_NEAR(inst->view_f_lo, 447.7, 0.05);
  EXPECT_NEAR(inst->view_f_hi, 893.4, 0.05);
  EXPECT_NEAR(inst->view_u_lo, 0.45, 1e-12);
  EXPECT_NEAR(inst->view_u_hi, 0.55, 1e-12);
  EXPECT_NEAR(inst->view_width, 0.1, 1e-15);
  EXPECT_EQ(inst->hview_dirty, 1);
  for (double pos : {0.0, 0.3, 1.0}) {
    change(PARAM_HOR_ZOOM, 1.0);
    change(PARAM_HOR_POSITION, pos);
    EXPECT_NEAR(inst->view_f_lo, 20.0, 1e-9);
    EXPECT_NEAR(inst->view_f_hi, 20000.0, 1e-8);
  }
}

// The audio path reads the view's positions for its designs under the curve lock: a zoom
// changed while it holds the lock lands only once the lock is free.
TEST_F(ParamChange, TheViewWaitsForTheCurveLock) {
  mutex_to_1(inst->lock_curve);
  std::thread host([this] { change(PARAM_HOR_ZOOM, 10.0); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(inst->view_u_lo, 0.0);
  mutex_to_0(inst->lock_curve);
  host.join();
  EXPECT_NEAR(inst->view_u_lo, 0.45, 1e-12);
}

TEST_F(ParamChange, InterfaceSizeMessageOnlyOnceTheEditorHasRun) {
  change(PARAM_INTERFACE_SIZE, 2.0);
  EXPECT_EQ(inst->ui_size, 2);
  EXPECT_STREQ(inst->info_text->string, "Instance #0");
  inst->frame_count = 21;
  change(PARAM_INTERFACE_SIZE, 0.0);
  EXPECT_EQ(inst->ui_size, 0);
  EXPECT_STREQ(inst->info_text->string,
               "The interface size will change after you restart Quillmar.");
  EXPECT_EQ(inst->prefs_dirty, 1);
}

TEST_F(ParamChange, EditedBandsFlowBackIntoParametersAndToTheHost) {
  inst->bands[2].gain = -9.0;
  inst->bands[2].slope = 12.0;
  inst->bands_from_editor = 1;
  inst->bands_dirty = 1;
  const int before = p->ProgramChanges();
  p->ServePendingChanges();
  EXPECT_NEAR(p->GetParam(PARAM_BAND_GAIN + 2)->Value(), -9.0, 1e-12);
  EXPECT_NEAR(p->GetParam(PARAM_BAND_SLOPE + 2)->Value(), 12.0, 1e-12);
  EXPECT_EQ(p->ProgramChanges(), before + 1);
  // The editor's own redesign tells the host once, when the editor has finished it.
  inst->bands[2].gain = -6.0;
  inst->bands_from_editor = 1;
  inst->bands_dirty = 1;
  engine_update_kernel(inst->engine, inst, inst->engine_host, 1);
  EXPECT_EQ(p->ProgramChanges(), before + 1);
  p->finish_idle_write_back();
  p->finish_idle_write_back();
  EXPECT_EQ(p->ProgramChanges(), before + 2);
  EXPECT_NEAR(p->GetParam(PARAM_BAND_GAIN + 2)->Value(), -6.0, 1e-12);
  // A parameter change while dragging hands control back to the parameters.
  inst->bands_from_editor = 1;
  change(PARAM_TRANSPOSE, 12.0);
  EXPECT_EQ(inst->bands_from_editor, 0);
  p->ServePendingChanges();
  EXPECT_NEAR(inst->bands[0].freq, 160.0, 1e-9);
}

}  // namespace
