// The editor control: covers the whole window, draws every frame of the editor (spectrum,
// grids, curve and handles, measured response, panel, knobs, limiter light, info line) and
// edits the bands with the mouse. Control 0 of the graphics context.
//
// Threads: every operation runs on the editor's main thread, called by the graphics context:
// Draw from its timer (60 per second; IsDirty is always true), the mouse handlers from its
// event dispatch whenever the pointer is not over a knob.
#pragma once
#include "framework/IControl.h"

struct inst_t;

class IDrawControl : public IControl {
 public:
  IDrawControl(IPluginBase* pPlug, IRECT rect, inst_t* inst);

  // Band points and slope handles: press selects and grabs, drag moves or reshapes, release
  // lets go; the right button pans a zoomed view, the wheel zooms.
  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  void OnMouseUp(int x, int y, IMouseMod* pMod) override;
  void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* pMod) override;
  // Removes the band whose point is under the pointer, or adds one there.
  void OnMouseDblClick(int x, int y, IMouseMod* pMod) override;
  void OnMouseWheel(int x, int y, IMouseMod* pMod, int d) override;
  // Highlights what is under the pointer and names its frequency and level.
  void OnMouseOver(int x, int y, IMouseMod* pMod) override;
  void OnMouseOut() override;
  // One whole frame, with the housekeeping that runs once per frame (preferences write,
  // redesign while the audio path is idle), into the window's own pixels when the platform
  // offers them (IGraphics::DirectFrame), else into the draw bitmap. Always true.
  bool Draw(IGraphics* pGraphics) override;
  bool IsDirty() override { return true; }

 private:
  // Ends the host gestures of a band drag, each once.
  void EndGestures();

  inst_t* mInst;
  int mGestureParams[2] = {-1, -1};  // what the host is told a drag of a band is changing
  // A drag moves the grabbed handle by the pointer's movement since the press: where the
  // handle stood then (x, y), the pointer's offset from it, and the point's frequency and
  // level then, which a drag along one axis keeps exactly on the other.
  struct grab_t {
    double x = 0, y = 0, dx = 0, dy = 0, freq = 0, gain = 0;
  } mGrab;
};
