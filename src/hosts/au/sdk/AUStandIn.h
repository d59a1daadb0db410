// What the stand-in offers tests beyond Apple's API: the events sent through
// AUEventListenerNotify, in order, and the number of CoreFoundation objects alive (constant
// strings excluded). Not part of Apple's SDK; only test hosts include it.
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

#ifdef __cplusplus
}
#endif
