#include "editor/IKnobInvisibleControl.h"

#include <cmath>

#include "editor/IDrawControl.h"
#include "editor/controls.h"
#include "editor/layout.h"
#include "engine/bands.h"
#include "engine/inst.h"
#include "engine/params.h"
#include "framework/IGraphics.h"
#include "framework/IParam.h"
#include "framework/IPluginBase.h"

namespace {

const int KNOB_PARAMS[CTRL_COUNT] = {
    -1, PARAM_BAND_GAIN, PARAM_BAND_FREQ, PARAM_BAND_SLOPE, PARAM_COLOUR, PARAM_COLOUR_GAIN,
    PARAM_GAMMA, PARAM_TRANSPOSE, PARAM_OVERALL_GAIN, PARAM_GAIN_SCALE, PARAM_RESOLUTION,
    PARAM_INPUT_BUFFER_SIZE, PARAM_LIMITER, PARAM_VERT_RANGE, PARAM_HOR_ZOOM, PARAM_HOR_POSITION,
    PARAM_INTERFACE_SIZE,
};

IKnobInvisibleControl* knob(inst_t* inst, int slot) {
  IGraphics* g = inst->graphics;
  return g ? static_cast<IKnobInvisibleControl*>(g->GetControl(slot)) : nullptr;
}

}  // namespace

int knob_param(int sel_band, int slot) {
  if (slot < 1 || slot >= CTRL_COUNT) return -1;
  return KNOB_PARAMS[slot] + (slot <= CTRL_BAND_SLOPE ? sel_band : 0);
}

IKnobInvisibleControl::IKnobInvisibleControl(IPluginBase* pPlug, int x, int y, int paramIdx,
                                             inst_t* inst)
    : IKnobControl(pPlug, IRECT(x - KNOB_SIZE / 2, y - KNOB_SIZE / 2, x + KNOB_SIZE / 2, y + KNOB_SIZE / 2),
                   paramIdx, kVertical, KNOB_GEARING),
      mInst(inst) {
  DisablePrompt(false);
}

void IKnobInvisibleControl::OnMouseDown(int, int, IMouseMod* pMod) {
  if (pMod && pMod->R) PromptUserInput();
}

void IKnobInvisibleControl::PromptUserInput() {
  IParam* param = GetParam();
  if (!param || mDisablePrompt) return;
  if (param->GetNDisplayTexts()) {
    IControl::PromptUserInput(&mRECT);
    return;
  }
  const int cx = static_cast<int>((mRECT.L + mRECT.R) * 0.5f), cy = static_cast<int>((mRECT.T + mRECT.B) * 0.5f);
  IRECT box(cx - 26, cy - 8, cx + 26, cy + 8);
  IControl::PromptUserInput(&box);
}

void attach_editor_controls(inst_t* inst) {
  IGraphics* g = inst->graphics;
  IPluginBase* plug = inst->plug;
  g->AttachControl(new IDrawControl(plug, IRECT(0, 0, inst->ui_w, inst->ui_h), inst));
  // The band knobs are made on band B's parameters and pointed at the selected band below.
  for (int slot = 1; slot < CTRL_COUNT; ++slot) {
    const layout_item_t& c = inst->layout[slot];
    g->AttachControl(new IKnobInvisibleControl(plug, c.x, c.y, knob_param(1, slot), inst));
  }
  plug->AttachGraphics(g);
}

void bind_band_knobs(inst_t* inst, int b) {
  IPluginBase* plug = inst->plug;
  for (int slot = CTRL_BAND_GAIN; slot <= CTRL_BAND_SLOPE; ++slot)
    if (IKnobInvisibleControl* k = knob(inst, slot)) k->ChangeParam(knob_param(b, slot));
  IKnobInvisibleControl *gain = knob(inst, CTRL_BAND_GAIN), *freq = knob(inst, CTRL_BAND_FREQ),
                        *slope = knob(inst, CTRL_BAND_SLOPE);
  if (!gain || !freq || !slope) return;  // mutate: skip logical (the three are there or missing together)
  gain->ChangeDefaultValue(GAIN_KNOB_DEFAULT);
  // A band that is off has no frequency to return to (freq_knob -1): no default then. The
  // band record's frequency is transposed; the parameter's is not.
  const double fk = inst->bands[b].freq_knob;
  const double untransposed = fk * std::pow(2.0, -plug->GetParam(PARAM_TRANSPOSE)->Value() / 12.0);
  freq->ChangeDefaultValue(fk < 0 ? -1.0 : plug->GetParam(PARAM_BAND_FREQ + b)->GetNormalized(untransposed));  // mutate: skip relational constant (a knob frequency is -1 or at least 20 Hz; any negative default is none)
  slope->ChangeDefaultValue(SLOPE_KNOB_DEFAULT);
}

void sync_band_knobs(inst_t* inst, bool as_user_input) {
  static const int slots[] = {CTRL_BAND_GAIN, CTRL_BAND_FREQ, CTRL_BAND_SLOPE,
                              CTRL_TRANSPOSE, CTRL_OVERALL_GAIN, CTRL_GAIN_SCALE};
  for (int slot : slots) {
    IKnobInvisibleControl* k = knob(inst, slot);
    IParam* p = inst->plug->GetParam(knob_param(inst->sel_band, slot));
    if (!k || !p) continue;
    if (as_user_input)
      k->SetValueFromUserInput(p->GetNormalized());
    else
      k->SetValueFromPlug(p->GetNormalized());
  }
}
