// Stand-in for Apple's AudioComponent.h: how a version 2 Audio Unit is found and opened without
// the Component Manager. A bundle's Info.plist names a factory function; the system calls it
// for each new instance and gets a plug-in interface, whose Open, Close and Lookup it calls, and
// through Lookup one method per selector, each taking the interface as its first argument.
// Never compiled on Apple.
#pragma once
#include <CoreFoundation/CoreFoundation.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct AudioComponentDescription {
  OSType componentType;
  OSType componentSubType;
  OSType componentManufacturer;
  UInt32 componentFlags;
  UInt32 componentFlagsMask;
} AudioComponentDescription;

typedef struct OpaqueAudioComponent* AudioComponent;
// Declared with the Component Manager's instance record, as on macOS, but not one of its
// instances: the Component Manager's calls do not take it.
typedef struct ComponentInstanceRecord* AudioComponentInstance;

typedef OSStatus (*AudioComponentMethod)(void* self, ...);

typedef struct AudioComponentPlugInInterface {
  OSStatus (*Open)(void* self, AudioComponentInstance mInstance);
  OSStatus (*Close)(void* self);
  AudioComponentMethod (*Lookup)(SInt16 selector);
  void* reserved;
} AudioComponentPlugInInterface;

typedef AudioComponentPlugInInterface* (*AudioComponentFactoryFunction)(
    const AudioComponentDescription* inDesc);

// The first component after inComponent (null: from the start) whose type, subtype and
// manufacturer match inDesc's non-zero fields.
AudioComponent AudioComponentFindNext(AudioComponent inComponent,
                                      const AudioComponentDescription* inDesc);
OSStatus AudioComponentGetDescription(AudioComponent inComponent,
                                      AudioComponentDescription* outDesc);
OSStatus AudioComponentGetVersion(AudioComponent inComponent, UInt32* outVersion);
// Calls the factory, then the interface's Open; a failed Open is followed by Close.
OSStatus AudioComponentInstanceNew(AudioComponent inComponent,
                                   AudioComponentInstance* outInstance);
// Calls the interface's Close.
OSStatus AudioComponentInstanceDispose(AudioComponentInstance inInstance);
AudioComponent AudioComponentInstanceGetComponent(AudioComponentInstance inInstance);
// Whether the interface's Lookup gives a method for the selector.
Boolean AudioComponentInstanceCanDo(AudioComponentInstance inInstance, SInt16 inSelectorID);
// Registers a factory in this process, as a host does with a bundle it loaded itself.
AudioComponent AudioComponentRegister(const AudioComponentDescription* inDesc, CFStringRef inName,
                                      UInt32 inVersion, AudioComponentFactoryFunction inFactory);

#ifdef __cplusplus
}
#endif
