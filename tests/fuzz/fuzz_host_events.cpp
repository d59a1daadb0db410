// A host's calls in any order: sample rates (with Reset), block sizes, parameter values from
// the host (NaN and infinities included) and from the editor, Reset, channel connections,
// bypass, host calls of any length and editor frames. Input: one byte per event, then its
// arguments.
#include "framework/IGraphics.h"
#include "fuzz_plug.h"

namespace {

enum { START_BLOCK = 512, MAX_EVENTS = 64, MAX_FRAMES_PER_RUN = 1 << 16, MAX_EDITOR_FRAMES = 2 };

const double kRates[] = {44100,  48000,  22050, 88200, 96000, 192000,
                         384000, 768000, 8000,  1,     3e6,   11025};
const int kBlocks[] = {0, 1, 2, 64, 128, 500, 4096, 65535, IPluginBase::kMaxBlockSize + 1, -1};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Quillmar* plug = fuzz_fresh_instance(START_BLOCK);
  fuzz_bytes_t in{data, size};
  int channels = 2, frames_left = MAX_FRAMES_PER_RUN, editor_frames = MAX_EDITOR_FRAMES;
  long points_left = FUZZ_POINTS_PER_INPUT;
  for (int event = 0; event < MAX_EVENTS && !in.empty(); ++event) {
    switch (in.u8() % 10) {
      case 0: {  // a new sample rate, from the usual ones or any bit pattern
        const uint8_t pick = in.u8();
        plug->SetSampleRate(pick < 200 ? kRates[pick % 12] : in.f64());
        plug->Reset();
        break;
      }
      case 1: {
        const uint8_t pick = in.u8();
        plug->SetBlockSize(pick < 128 ? kBlocks[pick % 10] : in.u16());
        break;
      }
      case 2: {  // the host's parameter procedure: a value that is not a number is ignored
        const int index = in.u8() % (PARAM_COUNT + 3);
        const double v = in.f64();
        if (IParam* p = plug->GetParam(index)) {
          FW_MutexLock lock(plug->GetMutex());
          p->Set(v);
          plug->OnParamChange(index);
        }
        break;
      }
      case 3:  // a knob moved in the editor
        plug->SetParameterFromGUI(in.u8() % (PARAM_COUNT + 3), in.u8() / 255.0);
        break;
      case 4: plug->Reset(); break;
      case 5: {
        const uint8_t mask = in.u8();
        channels = 1 + (mask & 1);
        plug->SetOutputChannelConnections(0, 1, mask & 2);
        plug->SetOutputChannelConnections(1, 1, mask & 4);
        break;
      }
      case 6: plug->SetBypassed(!plug->IsBypassed()); break;
      case 7: {
        IGraphics* g = plug->GetGUI();
        IRECT r;
        if (editor_frames-- > 0 && g && g->IsDirty(&r)) g->Draw(&r);
        break;
      }
      default: {  // a host call of any length; the frame splits it at the block size
        const int frames =
            fuzz_affordable_frames(plug, &points_left, std::min<int>(in.u16(), frames_left));
        frames_left -= fuzz_process(plug, frames, channels, in.u8());
        fuzz_check_sizes(plug);
        break;
      }
    }
    fuzz_check_params(plug);
  }
  return 0;
}
