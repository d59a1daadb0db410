// Loading an Audio Unit bundle as macOS does: its Info.plist read, the AudioComponents entry of
// the unit found, the bundle's executable opened and the factory function the entry names
// registered with the AudioComponent API. The validator and the Cocoa view's test host share it.
#pragma once
#include <AudioToolbox/AudioToolbox.h>

#include <string>

struct au_bundle_t {
  std::string path;        // the bundle folder, X.component
  std::string executable;  // Contents/MacOS/<CFBundleExecutable>
  std::string factory_name, name, identifier;
  AudioComponentDescription desc = {};
  UInt32 version = 0;  // the entry's version
  void* library = nullptr;
  AudioComponentFactoryFunction factory = nullptr;
  AudioComponent component = nullptr;  // registered under desc
};

// Loads the bundle and registers the entry whose type, subtype and manufacturer are the given
// four-character codes. False with the reason in *err.
bool load_au_bundle(const std::string& path, const char* type, const char* subtype,
                    const char* manufacturer, au_bundle_t* out, std::string* err);

// A four-character code from its text ("aufx"); 0 unless exactly four characters.
OSType four_char_code(const std::string& s);
