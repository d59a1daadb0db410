// quillmar_auval: a test host that drives the Audio Unit component as a host and Apple's
// validator do, through the component's exported functions only. Shared pieces of its phases.
#pragma once
#include <AudioToolbox/AudioToolbox.h>

#include <string>
#include <vector>

#include "bundle.h"

// The components the validator registered: the plug-in (through the bundle's factory, or
// through its Component Manager entry), its view component, and two source units of its own
// (one offering a fast render procedure, one not) for input by connection.
struct components_t {
  bool by_bundle = false;  // instances through the AudioComponent API, as macOS opens the bundle
  au_bundle_t bundle;
  Component plugin = nullptr, view = nullptr, source_fast = nullptr, source_slow = nullptr;
  ComponentRoutineUPP entry = nullptr;  // the plug-in's entry, for calls no API call makes
  std::string plugin_path, cli_path, temp_dir;
};
extern components_t g;

// Opens an instance of the plug-in the way the validator was asked to (or of another component
// through the Component Manager); closes one either way.
OSStatus open_unit(AudioUnit* u, Component c = nullptr);
OSStatus close_unit(AudioUnit u);

constexpr OSType fourcc(const char (&s)[5]) {
  return OSType(s[0]) << 24 | OSType(s[1]) << 16 | OSType(s[2]) << 8 | OSType(s[3]);
}

// A selector with raw arguments, as a host's glue would send it; through the unit's entry.
struct raw_call_t {
  ComponentParameters head;
  long more[8];
};
raw_call_t raw_call(AudioUnit u, SInt16 what, std::vector<long> args);

// A buffer list with room for two buffers. Used through its pointer: mBuffers is declared with
// one element and indexed beyond it, as Apple's API intends.
struct list2_t {
  AudioBufferList* get() { return reinterpret_cast<AudioBufferList*>(bytes); }
  alignas(AudioBufferList) unsigned char bytes[sizeof(AudioBufferList) + sizeof(AudioBuffer)] = {};
};

// What one phase found: failures, and a note printed with its result.
struct check_t {
  std::vector<std::string> failures;
  std::string note;
  // Records a failure (printf-style message) unless ok; returns ok.
  bool operator()(bool ok, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
};

// An open instance of the plug-in (or of another component), closed with the object.
struct unit_t {
  explicit unit_t(Component c = nullptr);
  ~unit_t();
  unit_t(const unit_t&) = delete;
  unit_t& operator=(const unit_t&) = delete;
  operator AudioUnit() const { return u; }
  AudioUnit u = nullptr;
};

template <class T>
OSStatus get_prop(AudioUnit u, AudioUnitPropertyID id, AudioUnitScope scope, UInt32 el, T* v) {
  UInt32 size = sizeof(T);
  return AudioUnitGetProperty(u, id, scope, el, v, &size);
}

template <class T>
OSStatus set_prop(AudioUnit u, AudioUnitPropertyID id, AudioUnitScope scope, UInt32 el,
                  const T& v) {
  return AudioUnitSetProperty(u, id, scope, el, &v, sizeof(T));
}

float get_param(AudioUnit u, AudioUnitParameterID id);
std::string cf_text(CFStringRef s);  // "" for null or not a string

AudioStreamBasicDescription canonical_format(double rate, UInt32 channels);
// Input and output stream formats of the one bus each way.
OSStatus set_io(AudioUnit u, int in, int out, double rate);

// Channels of audio, one vector per channel.
using audio_t = std::vector<std::vector<float>>;
// The validator's test signal: tones and noise, different per channel.
audio_t test_signal(int channels, size_t frames, double rate);
// Largest sample difference; infinity when the shapes differ.
double max_diff(const audio_t& a, const audio_t& b);

// The parameter settings every comparison with `quillmar render` uses.
struct setting_t {
  AudioUnitParameterID id;
  float value;
};
extern const std::vector<setting_t> kCurve;
void apply_settings(AudioUnit u, const std::vector<setting_t>& s);

enum input_t { kByCallback, kByFastUnit, kBySlowUnit };
struct render_job_t {
  double rate = 44100;
  int channels = 2;
  int slice = 512;        // frames per render call (the last may be shorter)
  size_t frames = 16384;  // signal length
  input_t input = kByCallback;
  bool null_output = false;  // output buffers left for the unit to supply
  bool curve = true;         // kCurve set before initialisation
};

// Formats, input, the curve, initialisation, then the signal in slices with advancing time
// stamps. The first failing status, noErr when every call succeeded.
OSStatus render(AudioUnit u, const render_job_t& job, const audio_t& in, audio_t* out);
// The same through `quillmar render` at the job's rate and block; false with a message.
bool cli_render(const render_job_t& job, const audio_t& in, audio_t* out, std::string* err);
// Renders the job through a fresh unit and the program, and checks they agree.
void check_against_cli(check_t& c, const char* what, const render_job_t& job);

// Input by render callback: a feeder serving a signal and counting its pulls.
struct feeder_t {
  const audio_t* in = nullptr;
  int pulls = 0;
};
OSStatus feed_callback(void* ref, AudioUnitRenderActionFlags*, const AudioTimeStamp* ts, UInt32,
                       UInt32 frames, AudioBufferList* io);
// The signal the source units serve and their pull count.
extern feeder_t g_source;
ComponentResult source_entry_fast(ComponentParameters* p, Handle storage);
ComponentResult source_entry_slow(ComponentParameters* p, Handle storage);

// Phases.
void phase_bundle(check_t& c);
void phase_open_close(check_t& c);
void phase_initialisation(check_t& c);
void phase_input_buffers(check_t& c);
void phase_host_callbacks(check_t& c);
void phase_two_threads(check_t& c);
void phase_default_formats(check_t& c);
void phase_properties(check_t& c);
void phase_parameters(check_t& c);
void phase_channels(check_t& c);
void phase_rendering(check_t& c);
void phase_inputs(check_t& c);
void phase_scheduling(check_t& c);
void phase_bypass(check_t& c);
void phase_class_info(check_t& c);
void phase_listeners(check_t& c);
void phase_bad_input(check_t& c);
void phase_leaks(check_t& c);
