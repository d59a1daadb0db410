// A user's sequences of presses, drags, releases and double-clicks, and a window that goes away
// mid-drag, played on an editor through its graphics context's platform calls; and the check
// that every host gesture the editor begins ends exactly once, and that nothing ends that did
// not begin. The same table runs against each host adapter, with what that host was told.
// Header only: it needs the editor, which not every test program links.
#pragma once
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "editor/controls.h"
#include "editor/layout.h"
#include "engine/bands.h"
#include "engine/inst.h"
#include "framework/IGraphics.h"

struct gesture_event_t {
  char kind;  // 'b' begin, 'e' end, 'v' a value the host was told
  int param;
};

// Where a step acts: a knob (by its slot), band b's point or right slope handle, an empty
// spot of the curve area, or where the pointer already is.
enum gesture_place_t { HERE, KNOB, POINT, HANDLE, EMPTY };

struct gesture_step_t {
  // 'L'/'R' press the left/right button at the place, 'l'/'r' release it there, 'm' move by
  // (a, b) with the buttons held, 'D' double-click the left button, 'x' Escape, 'C' the window
  // closed, 'U' the window unmapped.
  char op;
  gesture_place_t place = HERE;
  int which = 0;  // the knob's slot or the band
  int a = 0, b = 0;
};

struct gesture_script_t {
  const char* name;
  std::vector<gesture_step_t> steps;
  bool values_inside;  // every value told to the host lies inside a gesture of its parameter
};

inline const std::vector<gesture_script_t>& gesture_scripts() {
  static const std::vector<gesture_script_t> scripts = {
      {"a knob turned", {{'L', KNOB, CTRL_OVERALL_GAIN}, {'m', HERE, 0, 0, -20}, {'l'}}, true},
      {"a knob turned, the right button pressed and released on it meanwhile",
       {{'L', KNOB, CTRL_OVERALL_GAIN}, {'m', HERE, 0, 0, -20}, {'R', KNOB, CTRL_OVERALL_GAIN}, {'r'},
        {'x'}, {'l'}},
       true},
      {"a knob double-clicked back to its default",
       {{'L', KNOB, CTRL_OVERALL_GAIN}, {'m', HERE, 0, 0, -20}, {'l'}, {'D', KNOB, CTRL_OVERALL_GAIN}, {'l'}},
       true},
      {"a knob turned, the window unmapped mid-drag",
       {{'L', KNOB, CTRL_OVERALL_GAIN}, {'m', HERE, 0, 0, -10}, {'U'}, {'m', HERE, 0, 0, -10}, {'l'}},
       true},
      {"band D's slope handle dragged, then a right press on band C's point",
       {{'L', HANDLE, 3}, {'m', HERE, 0, 10, -10}, {'R', POINT, 2}, {'m', HERE, 0, 5, 0}, {'r'}, {'l'}},
       false},
      {"band B's point dragged, the window closed mid-drag",
       {{'L', POINT, 1}, {'m', HERE, 0, 20, -20}, {'C'}},
       false},
      {"band B's point double-clicked away, released over a knob",
       {{'D', POINT, 1}, {'l', KNOB, CTRL_TRANSPOSE}},
       false},
      {"a press on empty space, released over a knob",
       {{'L', EMPTY}, {'l', KNOB, CTRL_OVERALL_GAIN}},
       false},
  };
  return scripts;
}

// Plays a script; the band handles must have been placed by a frame.
inline void play_gesture_script(IGraphics* g, const inst_t* inst, const gesture_script_t& s) {
  int x = 0, y = 0;
  uint32_t t = 1000;
  bool left = false, right = false;
  auto go = [&](const gesture_step_t& st) {
    const eqband_t& B = inst->bands[st.which];
    switch (st.place) {
      case HERE: break;
      case KNOB: x = inst->layout[st.which].x, y = inst->layout[st.which].y; break;
      case POINT: x = int(std::lround(B.point_px)), y = int(std::lround(B.point_py)); break;
      case HANDLE: x = int(std::lround(B.right_px)), y = int(std::lround(B.right_py)); break;
      case EMPTY: x = inst->area_x + 10, y = inst->area_y + inst->area_h - 10; break;
    }
  };
  for (const gesture_step_t& st : s.steps) {
    go(st);
    const IMouseMod held(true, right);
    switch (st.op) {
      case 'L': case 'R':
        (st.op == 'L' ? left : right) = true;
        g->PlatformMouseDown(x, y, IMouseMod(true, st.op == 'R'), t += 1000, st.op == 'R');
        break;
      case 'l': case 'r':
        (st.op == 'l' ? left : right) = false;
        g->PlatformMouseUp(x, y, IMouseMod(true, st.op == 'r'));
        break;
      case 'm':
        x += st.a, y += st.b;
        g->PlatformMouseMove(x, y, held, left || right);
        break;
      case 'D':
        g->PlatformMouseDown(x, y, IMouseMod(true), t += 1000, 0);
        g->PlatformMouseUp(x, y, IMouseMod(true));
        g->PlatformMouseDown(x, y, IMouseMod(true), t += 100, 0);
        left = true;
        break;
      case 'x': g->PlatformKey(VK_ESCAPE, 0); break;
      case 'C': g->PlatformClosed(); break;
      case 'U': g->PlatformCaptureLost(); break;
    }
  }
}

// Empty when every gesture began once and ended once; otherwise what went wrong, first.
inline std::string gesture_balance(const std::vector<gesture_event_t>& events, bool values_inside) {
  std::map<int, bool> open;
  for (const gesture_event_t& e : events) {
    const std::string p = " of parameter " + std::to_string(e.param);
    if (e.kind == 'b' && open[e.param]) return "a second begin" + p;
    if (e.kind == 'e' && !open[e.param]) return "an end without a begin" + p;
    if (e.kind == 'v' && values_inside && !open[e.param]) return "a value outside a gesture" + p;
    if (e.kind != 'v') open[e.param] = e.kind == 'b';
  }
  for (const auto& o : open)
    if (o.second) return "a gesture left open" + std::string(" of parameter ") + std::to_string(o.first);
  return "";
}
