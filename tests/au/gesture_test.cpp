// The editor's host gestures at an Audio Unit host: the table of a user's sequences, played
// through the unit's editor, gives begin and end events that pair up, with every value the
// knobs send inside its gesture.
#include "AUStandIn.h"
#include "au_unit.h"
#include "framework/headless/IGraphicsHeadless.h"
#include "plugin/Quillmar.h"
#include "support/gesture_script.h"

namespace {

TEST(AUGestures, EveryGestureTheEditorBeginsEndsOnce) {
  for (const gesture_script_t& s : gesture_scripts()) {
    Unit unit;
    auto* plug = static_cast<Quillmar*>(unit.plug());
    auto* g = dynamic_cast<IGraphicsHeadless*>(plug->GetGUI());
    ASSERT_NE(g, nullptr);
    g->Tick();  // the band handles are placed by a frame
    AUStandIn_ClearEvents();
    play_gesture_script(g, plug->Inst(), s);
    std::vector<gesture_event_t> events;
    AudioUnitEvent e;
    for (CFIndex i = 0; AUStandIn_GetEvent(i, &e); ++i) {
      const char kind = e.mEventType == kAudioUnitEvent_BeginParameterChangeGesture ? 'b'
                        : e.mEventType == kAudioUnitEvent_EndParameterChangeGesture  ? 'e'
                        : e.mEventType == kAudioUnitEvent_ParameterValueChange       ? 'v'
                                                                                      : 0;
      if (kind) events.push_back({kind, int(e.mArgument.mParameter.mParameterID)});
    }
    EXPECT_EQ(gesture_balance(events, s.values_inside), "") << s.name;
  }
}

}  // namespace
