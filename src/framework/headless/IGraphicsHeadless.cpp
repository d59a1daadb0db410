#include "framework/headless/IGraphicsHeadless.h"

namespace {

IGraphics* make_headless(IPluginBase* pPlug, int w, int h, int fps) {
  return new IGraphicsHeadless(pPlug, w, h, fps);
}

graphics_factory_t& factory() {
  static graphics_factory_t f = make_headless;
  return f;
}

}  // namespace

void SetGraphicsFactory(graphics_factory_t f) { factory() = f ? f : make_headless; }

IGraphics* MakeGraphics(IPluginBase* pPlug, int w, int h, int fps) { return factory()(pPlug, w, h, fps); }

bool IGraphicsHeadless::Tick() {
  IRECT r;
  if (!IsDirty(&r)) return false;
  return Draw(&r);
}

bool IGraphicsHeadless::DrawScreen(IRECT*) {
  ++mFrames;
  return true;
}
