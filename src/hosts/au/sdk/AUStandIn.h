// What the stand-in offers test hosts beyond Apple's API: the events sent through
// AUEventListenerNotify, in order; the number of CoreFoundation objects alive (constant strings
// excluded); and the editor view a unit's view component hands out, to which the host delivers
// mouse events as a window system would. Not part of Apple's SDK.
#pragma once
#include <AudioToolbox/AudioToolbox.h>

#ifdef __cplusplus
extern "C" {
#endif

CFIndex AUStandIn_EventCount(void);
// False (event untouched) for an index outside the record.
Boolean AUStandIn_GetEvent(CFIndex index, AudioUnitEvent* outEvent);
void AUStandIn_ClearEvents(void);
CFIndex AUStandIn_CFObjectsAlive(void);

// An editor view without a window system: x, y in view pixels from the top left.
typedef struct AUStandIn_View {
  void* mRef;
  int mWidth, mHeight;
  void (*mMouseDown)(void* ref, int x, int y);
  void (*mMouseDragged)(void* ref, int x, int y);
  void (*mMouseUp)(void* ref, int x, int y);
} AUStandIn_View;

#ifdef __cplusplus
}
#endif
