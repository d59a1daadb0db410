// The editor's host gestures at the LV2 host: the table of a user's sequences, played through
// the UI's editor, gives touches that begin and end once each.
#include <gtest/gtest.h>

#include "framework/headless/IGraphicsHeadless.h"
#include "lv2_fixture.h"
#include "support/gesture_script.h"

namespace {

TEST_F(LV2Test, EveryTouchTheEditorBeginsEndsOnce) {
  for (const gesture_script_t& s : gesture_scripts()) {
    auto h = make_host();
    h->run(4096);
    lv2_ui_t ui(lv2ui_descriptor, *h);
    auto* g = dynamic_cast<IGraphicsHeadless*>(plug_of(*h)->GetGUI());
    ASSERT_NE(g, nullptr);
    g->Tick();  // the band handles are placed by a frame
    play_gesture_script(g, plug_of(*h)->Inst(), s);
    ui.idle();
    std::vector<gesture_event_t> events;
    for (const lv2_ui_t::touch_t& t : ui.touches) events.push_back({t.grabbed ? 'b' : 'e', int(t.port)});
    EXPECT_EQ(gesture_balance(events, false), "") << s.name;
  }
}

}  // namespace
