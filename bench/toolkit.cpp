// Raster toolkit: the per-frame operations of the editor on a full 1220 x 666 frame.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "framework/bitmap/resources.h"
#include "toolkit/font.h"
#include "toolkit/graphics/blending.h"
#include "toolkit/graphics/blit.h"
#include "toolkit/graphics/colour.h"
#include "toolkit/graphics/drawline.h"
#include "toolkit/graphics/drawprimitives.h"
#include "toolkit/graphics/line_band.h"

namespace {

const int W = 1220, H = 666;

std::vector<lrgb_t> test_frame() {
  std::vector<lrgb_t> fb((size_t)W * H);
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++)
      fb[(size_t)y * W + x] = lrgb_t{(uint16_t)(x * 26), (uint16_t)(y * 49), (uint16_t)((x + y) * 17 % 32769), 32768};
  return fb;
}

void BM_ConvertToSrgb(benchmark::State& state) {
  std::vector<lrgb_t> fb = test_frame();
  std::vector<srgb_t> out((size_t)W * H);
  for (auto _ : state) {
    convert_lrgb_to_srgb(out.data(), fb.data(), W * H, (int)state.range(0));
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * W * H);
}
BENCHMARK(BM_ConvertToSrgb)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// Items are the pixels the band walk visits.
void BM_DrawLineThin(benchmark::State& state) {
  std::vector<lrgb_t> fb((size_t)W * H, lrgb_t{0, 0, 0, 32768});
  lrgb_t c = make_grey_lin(0.5);
  const int N = 64;
  long visited = 0;
  for (int i = 0; i < N; i++) {
    double a = i * M_PI / N;
    double x1 = 610 - 300 * std::cos(a), y1 = 333 - 300 * std::sin(a), x2 = 610 + 300 * std::cos(a),
           y2 = 333 + 300 * std::sin(a);
    line_band_walk(line_band(x1, y1, x2, y2, blur_extent(0.85, 1.0)), W, H, [&](long, long) { visited++; });
  }
  for (auto _ : state) {
    for (int i = 0; i < N; i++) {
      double a = i * M_PI / N;
      draw_line_thin(fb.data(), W, H, c, BLEND_ADD, 610 - 300 * std::cos(a), 333 - 300 * std::sin(a),
                     610 + 300 * std::cos(a), 333 + 300 * std::sin(a), 0.85, 1.0);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * visited);
}
BENCHMARK(BM_DrawLineThin)->Unit(benchmark::kMicrosecond);

void BM_BlitText40(benchmark::State& state) {
  static RasterBitmap base, small;
  std::string err;
  if (!base.LoadPNG(resource_path("img/font/font48.png"), &err) ||
      !small.LoadPNG(resource_path("img/font/font" + std::to_string(state.range(0)) + ".png"), &err)) {
    state.SkipWithError(err.c_str());
    return;
  }
  font_t* f = font_load(6, load_image(base));
  font_t* sized = make_font_size(f, load_image(small), (double)state.range(0));
  gc_list_t* owner = gc_list_create();
  text_t* t = init_text(owner, sized, TEXT_LEFT, 200, 10.5);
  strcpy(t->string, "Band B : freq:  370 Hz - gain: +3.25 dB.");  // 40 characters
  std::vector<lrgb_t> fb((size_t)W * H, lrgb_t{0, 0, 0, 32768});
  for (auto _ : state) {
    blit_text(t, fb.data(), make_grey_lin(0.9), W, H, 1.3);
    benchmark::ClobberMemory();
  }
  gc_cleanup(owner);
}
BENCHMARK(BM_BlitText40)->Arg(12)->Arg(15)->Unit(benchmark::kMicrosecond);

void BM_BlitLayout(benchmark::State& state) {
  std::vector<lrgb_t> fb = test_frame(), layout((size_t)W * H);
  // A layout as the editor's: mostly transparent, opaque panels, soft edges between.
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++)
      layout[(size_t)y * W + x] = lrgb_t{9000, 9000, 9000, (uint16_t)(x > 1000 ? 32768 : x % 50 < 3 ? 16384 : 0)};
  for (auto _ : state) {
    blit_layout(fb.data(), layout.data(), W, H);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * W * H);
}
BENCHMARK(BM_BlitLayout)->Unit(benchmark::kMillisecond);

void BM_GaussianGradient(benchmark::State& state) {
  std::vector<lrgb_t> fb((size_t)W * H);
  for (auto _ : state) {
    draw_gaussian_gradient(fb.data(), W, H, make_colour_lin(0.14, 0.14, 0.11, 1), make_colour_lin(0.9, 0.9, 0.9, 1),
                           0, 439.5, 283.5, 932, -0.05, -0.15);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_GaussianGradient)->Unit(benchmark::kMillisecond);

void BM_RoundRectFullArea(benchmark::State& state) {
  std::vector<lrgb_t> fb((size_t)W * H, make_grey_lin(0.5));
  for (auto _ : state) {
    draw_roundrect(fb.data(), W, H, lrgb_t{0, 0, 0, 0}, BLEND_ALPHA, 32, 32, 32 + 974, 32 + 602, 3.0, 0.85, 1.0);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_RoundRectFullArea)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
