// The editor's graphics context, as the plug-in base sees it. The graphics context implements
// it; the plug-in owns the one it attaches and deletes it when the plug-in is destroyed.
#pragma once

class IGraphics {
 public:
  virtual ~IGraphics() = default;
  // Shows a parameter's value on every control bound to it; a plain value when normalized is
  // false.
  virtual void SetParameterFromPlug(int paramIdx, double value, bool normalized) = 0;
  // Creates the draw bitmap the editor composes its frames in.
  virtual void PrepDraw() = 0;
  // Sets the value (normalised) of the control with the given index, as the plug-in shows a
  // setting that did not come from that control; the parameter is not touched.
  virtual void SetControlFromPlug(int controlIdx, double normalizedValue) = 0;
};
