// The editor frame and its expensive parts: a whole frame through the graphics context with
// new audio and a new kernel, without new data, and while the user zooms or pans (a wheel
// step or a right-button pan step every frame); the input spectrum per column at two sample
// rates; the grid image; the display conversion alone. Every frame case (and the conversion)
// also reports the plain pass over the frame's memory (read the 16-bit linear pixels, write
// 8-bit ones) as floor_ms and its own time as x_floor times that floor, both as CPU time of
// this thread.
//
//   bench_editor [Google Benchmark options]
//   bench_editor --callgrind CASE N   N frames of CASE (new_data, no_new_data, zoom_pan,
//                                     new_view) at size 2 after the usual 30 fed frames, with
//                                     callgrind's instrumentation on only around them
#include <benchmark/benchmark.h>
#include <emmintrin.h>
#include <time.h>
#include <valgrind/callgrind.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "../tools/editor_preview/preview.cpp"
#include "editor/grids.h"
#include "editor/layout.h"
#include "editor/spectrum.h"
#include "engine/inst.h"
#include "framework/IGraphics.h"
#include "toolkit/graphics/srgb.h"

namespace {

PreviewPlug fed_instance(int size, double rate) {
  preview_scratch_config();
  PreviewPlug p = preview_make(size, rate);
  preview_signal_t pink;
  preview_run(p.get(), &pink, 30);
  return p;
}

// What the audio path publishes between two frames: captured samples, a new kernel and the
// curve that comes with it.
void publish(inst_t* inst) {
  inst->capture_new = 1;
  inst->kernel_view_new = 1;
  inst->curve_new = 1;
}

double thread_cpu_ms() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
}

// The least a frame can cost: one pass over its linear pixels, every 16-bit channel read and
// written as a byte (shifted and clamped, two pixels a step), no table, no dither. Best of a
// few runs, in ms.
double plain_pass_ms(const inst_t* inst) {
  const size_t n = (size_t)inst->ui_w * inst->ui_h;
  static std::vector<uint32_t> out(FRAME_PIXELS);
  double best = 1e9;
  for (int run = 0; run < 30; ++run) {
    const double t0 = thread_cpu_ms();
    const __m128i* in = reinterpret_cast<const __m128i*>(inst->fb);
    uint32_t* o = out.data();
    for (size_t i = 0; i + 2 <= n; i += 2) {
      const __m128i v = _mm_srli_epi16(_mm_loadu_si128(in + i / 2), 7);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(o + i), _mm_packus_epi16(v, v));
    }
    benchmark::DoNotOptimize(o[n / 2]);
    best = std::min(best, thread_cpu_ms() - t0);
  }
  return best;
}

// Times the loop of a frame case in this thread's CPU time and reports it against the floor.
template <class Frame>
void run_frames(benchmark::State& state, Quillmar* plug, Frame frame) {
  const double t0 = thread_cpu_ms();
  for (auto _ : state) frame();
  const double per_frame = (thread_cpu_ms() - t0) / std::max<int64_t>(1, state.iterations());
  const double floor = plain_pass_ms(plug->Inst());
  state.counters["floor_ms"] = floor;
  state.counters["x_floor"] = per_frame / floor;
}

void BM_frame_new_data(benchmark::State& state) {
  PreviewPlug p = fed_instance(static_cast<int>(state.range(0)), 44100);
  inst_t* inst = p->Inst();
  run_frames(state, p.get(), [&] {
    publish(inst);
    preview_frame(p.get());
  });
}
BENCHMARK(BM_frame_new_data)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_frame_no_new_data(benchmark::State& state) {
  PreviewPlug p = fed_instance(2, 44100);
  run_frames(state, p.get(), [&] { preview_frame(p.get()); });
}
BENCHMARK(BM_frame_no_new_data)->Unit(benchmark::kMillisecond);

// The user zooming and panning while audio plays: before every frame one wheel step at the
// pointer or one step of a right-button drag, through the graphics context as the platform
// delivers them, in a cycle of 16 that zooms in four steps, pans right four, zooms out four
// and pans left four (from a view already zoomed in four steps, so that panning moves it).
struct zoom_pan_t {
  IGraphics* g;
  int x, y, step = 0;
  explicit zoom_pan_t(Quillmar* p) : g(p->GetGUI()) {
    const inst_t* inst = p->Inst();
    x = inst->area_x + inst->area_w / 3;
    y = inst->area_y + inst->area_h / 2;
    IMouseMod none;
    g->OnMouseOver(x, y, &none);
    for (int i = 0; i < 4; ++i) g->OnMouseWheel(x, y, &none, 1);
  }
  void next() {
    IMouseMod none, right(false, true);
    const int phase = (step++ / 4) % 4;
    if (phase == 0 || phase == 2) {
      g->OnMouseWheel(x, y, &none, phase == 0 ? 1 : -1);
    } else {
      const int dx = phase == 1 ? -12 : 12;  // dragging left moves the view right
      g->OnMouseDown(x, y, &right);
      g->OnMouseDrag(x + dx, y, &right);
      g->OnMouseUp(x + dx, y, &right);
    }
  }
};

void BM_frame_zoom_pan(benchmark::State& state) {
  PreviewPlug p = fed_instance(2, 44100);
  inst_t* inst = p->Inst();
  zoom_pan_t user(p.get());
  run_frames(state, p.get(), [&] {
    user.next();
    publish(inst);
    preview_frame(p.get());
  });
}
BENCHMARK(BM_frame_zoom_pan)->Unit(benchmark::kMillisecond);

// The view marked changed with no change of view: everything a view change rebuilds.
void BM_frame_new_view(benchmark::State& state) {
  PreviewPlug p = fed_instance(2, 44100);
  inst_t* inst = p->Inst();
  run_frames(state, p.get(), [&] {
    publish(inst);
    inst->hview_dirty = 1;
    preview_frame(p.get());
  });
}
BENCHMARK(BM_frame_new_view)->Unit(benchmark::kMillisecond);

// The display conversion alone, of the last frame's pixels at size 2, with dither.
void BM_convert_frame(benchmark::State& state) {
  PreviewPlug p = fed_instance(2, 44100);
  const inst_t* inst = p->Inst();
  std::vector<srgb_t> out(FRAME_PIXELS);
  std::vector<uint64_t> scratch(2 * FRAME_W);
  run_frames(state, p.get(), [&] {
    convert_frame_to_srgb(out.data(), inst->fb, inst->ui_w, inst->ui_h, 1, scratch.data());
    benchmark::DoNotOptimize(out.data());
  });
}
BENCHMARK(BM_convert_frame)->Unit(benchmark::kMillisecond);

void BM_plain_pass(benchmark::State& state) {
  PreviewPlug p = fed_instance(static_cast<int>(state.range(0)), 44100);
  for (auto _ : state) benchmark::DoNotOptimize(plain_pass_ms(p->Inst()));
  state.counters["best_ms"] = plain_pass_ms(p->Inst());
}
BENCHMARK(BM_plain_pass)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(3);

// The audio feeding a frame (1/60 s at 44.1 kHz in host calls of 128), for comparison.
void BM_audio_per_frame(benchmark::State& state) {
  PreviewPlug p = fed_instance(2, 44100);
  preview_signal_t pink;
  std::vector<double> l(735), r(735), o0(735), o1(735);
  for (int i = 0; i < 735; ++i) l[i] = r[i] = next_sample(&pink, 44100);
  double* in[2] = {l.data(), r.data()};
  double* out[2] = {o0.data(), o1.data()};
  for (auto _ : state) {
    for (int done = 0; done < 735; done += 128) {
      double* ip[2] = {in[0] + done, in[1] + done};
      double* op[2] = {out[0] + done, out[1] + done};
      p->ProcessDoubleReplacing(ip, op, std::min(128, 735 - done));
    }
  }
}
BENCHMARK(BM_audio_per_frame)->Unit(benchmark::kMillisecond);

void BM_comp_spectral_table(benchmark::State& state) {
  PreviewPlug p = fed_instance(2, double(state.range(0)));
  inst_t* inst = p->Inst();
  for (auto _ : state) comp_spectral_table(inst);
  state.counters["capture_len"] = inst->capture_len;
}
BENCHMARK(BM_comp_spectral_table)->Arg(44100)->Arg(192000)->Unit(benchmark::kMillisecond);

void BM_make_grids_lut(benchmark::State& state) {
  PreviewPlug p = fed_instance(2, 44100);
  inst_t* inst = p->Inst();
  for (auto _ : state) make_grids_lut(inst);
}
BENCHMARK(BM_make_grids_lut)->Unit(benchmark::kMillisecond);

int callgrind_frames(const std::string& which, int n) {
  PreviewPlug p = fed_instance(2, 44100);
  inst_t* inst = p->Inst();
  zoom_pan_t user(p.get());
  preview_frame(p.get());
  CALLGRIND_START_INSTRUMENTATION;
  for (int i = 0; i < n; ++i) {
    if (which == "zoom_pan") user.next();
    if (which == "new_view") inst->hview_dirty = 1;
    if (which != "no_new_data") publish(inst);
    preview_frame(p.get());
  }
  CALLGRIND_STOP_INSTRUMENTATION;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && !std::strcmp(argv[1], "--callgrind")) return callgrind_frames(argv[2], std::atoi(argv[3]));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
