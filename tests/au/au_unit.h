// A Quillmar unit (or another entry's) opened through the Component Manager for the length of
// a test, as a host opens one.
#pragma once
#include <AudioToolbox/AudioToolbox.h>
#include <gtest/gtest.h>

#include "hosts/au/IPluginAU.h"

extern "C" ComponentResult Quillmar_Entry(ComponentParameters* params, Handle storage);

inline Component register_entry(ComponentRoutineUPP entry) {
  ComponentDescription d = {kAudioUnitType_Effect, 0x516d726c /* Qmrl */, 0x4d727764 /* Mrwd */, 0, 0};
  return RegisterComponent(&d, entry, 0, nullptr, nullptr, nullptr);
}

struct Unit {
  explicit Unit(ComponentRoutineUPP entry = &Quillmar_Entry) : c(register_entry(entry)) {
    EXPECT_EQ(OpenAComponent(c, &u), noErr);
  }
  ~Unit() {
    CloseComponent(u);
    UnregisterComponent(c);
  }
  IPluginAU* plug() const { return reinterpret_cast<IPluginAU*>(GetComponentInstanceStorage(u)); }
  Component c;
  AudioUnit u = nullptr;
};
