// The editor's platform layer in Audio Unit builds without Apple's frameworks: a graphics
// context without a window whose view is an AUStandIn_View record. A test host delivers mouse
// events to that record as a window system would; they reach the context's mouse dispatch.
// Every call runs on the host's main thread.
#pragma once
#include "framework/headless/IGraphicsHeadless.h"
#include "sdk/AUStandIn.h"

class IGraphicsAUStandIn : public IGraphicsHeadless {
 public:
  IGraphicsAUStandIn(IPluginBase* pPlug, int w, int h, int fps);
  // The view record (the same one while it stays open); pParent is not used.
  void* OpenWindow(void* pParent) override;
  void CloseWindow() override { mOpen = false; }
  bool WindowIsOpen() const override { return mOpen; }

 private:
  AUStandIn_View mView;
  bool mOpen = false;
};

IGraphics* MakeAUStandInGraphics(IPluginBase* pPlug, int w, int h, int fps);
