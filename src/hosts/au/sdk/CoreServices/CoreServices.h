// Stand-in for the Component Manager part of Apple's CoreServices (CarbonCore Components.h):
// component descriptions, the dispatch record a component's entry point receives, the
// Component Manager selectors and statuses, instance storage and component info. A host opens
// an instance with RegisterComponent and OpenAComponent. Never compiled on Apple.
#pragma once
#include <CoreFoundation/CoreFoundation.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef SInt32 ComponentResult;
typedef struct ComponentRecord* Component;
typedef struct ComponentInstanceRecord* ComponentInstance;

typedef struct ComponentDescription {
  OSType componentType;
  OSType componentSubType;
  OSType componentManufacturer;
  UInt32 componentFlags;
  UInt32 componentFlagsMask;
} ComponentDescription;

// What an entry point receives. On 64-bit systems params[0] is the component instance and the
// call's arguments follow in their declared order, one long-sized slot each.
typedef struct ComponentParameters {
  UInt8 flags;
  UInt8 paramSize;  // bytes of arguments that follow the instance
  SInt16 what;      // the selector: negative for the Component Manager's own
  UInt32 padding;
  long params[1];
} ComponentParameters;

typedef ComponentResult (*ComponentRoutineProcPtr)(ComponentParameters* cp,
                                                   Handle componentStorage);
typedef ComponentRoutineProcPtr ComponentRoutineUPP;

enum {
  kComponentOpenSelect = -1,
  kComponentCloseSelect = -2,
  kComponentCanDoSelect = -3,
  kComponentVersionSelect = -4,
  kComponentRegisterSelect = -5,
  kComponentTargetSelect = -6,
  kComponentUnregisterSelect = -7,
};

enum { invalidComponentID = -3000 };

enum {
  badComponentInstance = (int)0x80008001,
  badComponentSelector = (int)0x80008002,
};

void SetComponentInstanceStorage(ComponentInstance aComponentInstance, Handle theStorage);
Handle GetComponentInstanceStorage(ComponentInstance aComponentInstance);
// aComponent may be a component instance, as on Apple. Null handles are not filled.
OSErr GetComponentInfo(Component aComponent, ComponentDescription* cd, Handle componentName,
                       Handle componentInfo, Handle componentIcon);

// Host side.
Component RegisterComponent(ComponentDescription* cd, ComponentRoutineUPP componentEntryPoint,
                            SInt16 global, Handle componentName, Handle componentInfo,
                            Handle componentIcon);
OSErr UnregisterComponent(Component aComponent);
// Sends the open selector; a failed open is followed by the close selector and no instance.
OSErr OpenAComponent(Component aComponent, ComponentInstance* ci);
OSErr CloseComponent(ComponentInstance aComponentInstance);
ComponentResult GetComponentVersion(ComponentInstance ci);
ComponentResult CallComponentCanDo(ComponentInstance ci, SInt16 ftnNumber);
// Calls the entry of the instance in cp->params[0] with cp as it is.
ComponentResult CallComponentDispatch(ComponentParameters* cp);

#ifdef __cplusplus
}
#endif
