// The graphics context without a window: whoever holds it ticks the timer, feeds it events
// (the Platform* calls of IGraphics) and reads the draw bitmap. Tests, snapshots and any
// instance whose host never opens an editor use it. All calls on one thread.
#pragma once
#include "framework/IGraphics.h"

class IGraphicsHeadless : public IGraphics {
 public:
  using IGraphics::IGraphics;

  // One timer tick: when some control is dirty, draws what it needs. True when drawn.
  bool Tick();
  // Frames shown so far.
  int Frames() const { return mFrames; }

  bool DrawScreen(IRECT* pR) override;

 private:
  int mFrames = 0;
};
