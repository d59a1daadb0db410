// A knob of the editor's panel as the graphics context sees it: it takes the mouse (vertical
// drag with gearing 4, fine with control or shift; wheel; double-click to the default; right
// click for typed entry or a menu) and draws nothing. The editor control draws its value and
// image in every frame.
//
// Threads: every operation runs on the editor's main thread, called by the graphics context.
#pragma once
#include "framework/IControl.h"

struct inst_t;

class IKnobInvisibleControl : public IKnobControl {
 public:
  // A 60 x 60 square centred on (x, y).
  IKnobInvisibleControl(IPluginBase* pPlug, int x, int y, int paramIdx, inst_t* inst);

  // With the right button (or Super): value entry.
  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  bool Draw(IGraphics*) override { return true; }

  // A menu over the knob for a parameter with display texts, else a 52 x 16 text field at its
  // centre; only with a parameter and prompting enabled.
  void PromptUserInput();
  void ChangeParam(int paramIdx) { mParamIdx = paramIdx; }
  void ChangeDefaultValue(double value) { mDefaultValue = value; }

 private:
  inst_t* mInst;
};
