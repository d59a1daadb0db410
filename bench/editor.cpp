// The editor frame and its expensive parts: a whole frame through the graphics context at the
// largest size with new audio and a new kernel, and without new data; the input spectrum
// per column at two sample rates; the grid image.
#include <benchmark/benchmark.h>

#include "../tools/editor_preview/preview.cpp"
#include "editor/grids.h"
#include "editor/spectrum.h"
#include "engine/inst.h"

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

void BM_frame_new_data(benchmark::State& state) {
  PreviewPlug p = fed_instance(static_cast<int>(state.range(0)), 44100);
  inst_t* inst = p->Inst();
  for (auto _ : state) {
    publish(inst);
    preview_frame(p.get());
  }
}
BENCHMARK(BM_frame_new_data)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_frame_no_new_data(benchmark::State& state) {
  PreviewPlug p = fed_instance(2, 44100);
  for (auto _ : state) preview_frame(p.get());
}
BENCHMARK(BM_frame_no_new_data)->Unit(benchmark::kMillisecond);

// A zoom or pan: the curve redesigned for the new view and the grid image rebuilt as well.
void BM_frame_new_view(benchmark::State& state) {
  PreviewPlug p = fed_instance(2, 44100);
  inst_t* inst = p->Inst();
  for (auto _ : state) {
    publish(inst);
    inst->hview_dirty = 1;
    preview_frame(p.get());
  }
}
BENCHMARK(BM_frame_new_view)->Unit(benchmark::kMillisecond);

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

}  // namespace

BENCHMARK_MAIN();
