#include "hosts/au/AUStandInView.h"

namespace {

IGraphicsAUStandIn* Context(void* ref) { return static_cast<IGraphicsAUStandIn*>(ref); }

// Left-button events, as a window system hands them over.
void MouseDown(void* ref, int x, int y) {
  IMouseMod mod(true);
  Context(ref)->OnMouseDown(x, y, &mod);
}

void MouseDragged(void* ref, int x, int y) {
  IMouseMod mod(true);
  Context(ref)->OnMouseDrag(x, y, &mod);
}

void MouseUp(void* ref, int x, int y) {
  IMouseMod mod(true);
  Context(ref)->OnMouseUp(x, y, &mod);
}

}  // namespace

IGraphicsAUStandIn::IGraphicsAUStandIn(IPluginBase* pPlug, int w, int h, int fps)
    : IGraphicsHeadless(pPlug, w, h, fps),
      mView{this, w, h, &MouseDown, &MouseDragged, &MouseUp} {}

void* IGraphicsAUStandIn::OpenWindow(void*) {
  mOpen = true;
  return &mView;
}

IGraphics* MakeAUStandInGraphics(IPluginBase* pPlug, int w, int h, int fps) {
  return new IGraphicsAUStandIn(pPlug, w, h, fps);
}
