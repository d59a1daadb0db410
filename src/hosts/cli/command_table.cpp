// The program's commands and options as users read them: the one source of `quillmar --help`,
// `quillmar help COMMAND`, the man page quillmar.1 and the bash completion. A new command is
// one more entry in commands() (its operands, options, texts and function).
//
// Text markup (help.cpp renders it for a terminal and for roff): paragraphs are separated by
// a blank line; a paragraph whose lines start with two spaces is shown as it is written (for
// commands and file contents); one whose lines start with "- " is a list.
#include "hosts/cli/commands.h"
#include "hosts/cli/help.h"
#include "hosts/cli/render.h"
#include "hosts/cli/snapshot.h"

namespace {

const option_t kSet = {"--set", "NAME=VALUE",
                       "set a parameter: its name, symbol or index, and a value in its unit "
                       "(repeatable)"};
const option_t kPreset = {"--preset", "NAME",
                          "start from a factory preset's curve (quillmar presets lists them)"};
const option_t kState = {"--state", "FILE", "start from a saved state (as --save-state writes it)"};
const option_t kRate = {"--rate", "HZ", "the sample rate (default 44100)"};
const option_t kSaveState = {"--save-state", "FILE", "write the plug-in's state at the end"};
const option_t kSize = {"--size", "0|1|2",
                        "the editor's size: 0 is 780x566, 1 is 1060x566, 2 is 1220x666 pixels"};

}  // namespace

const std::vector<command_t>& commands() {
  static const std::vector<command_t> table = {
      {"render", "IN OUT", 2, 2, "run an audio file through the equaliser",
       "Runs the plug-in over the audio file IN as a host would (its sample rate, host calls "
       "of --block frames, 32-bit float buffers) and writes the result to OUT. IN is mono or "
       "stereo, in any format libsndfile reads; `-` reads standard input.\n\n"
       "OUT's name chooses its container (see OUTPUT FILES); `-` writes standard output in "
       "the input's container. The output is delayed by the plug-in's latency and has the "
       "input's length, unless --compensate lines it up with the input.",
       {kSet, kPreset, kState, kSaveState,
        {"--block", "FRAMES",
         "frames per host call (default 128); more than the hop re-sizes the engine and "
         "raises the latency"},
        {"--compensate", nullptr,
         "drop the latency from the start and flush the tail: the output lines up with the "
         "input"},
        {"--format", "float|pcm16|pcm24",
         "the output's sample encoding (default: the input's, where the container holds it)"},
        {"--automate", "FILE", "parameter changes in time, one `TIME NAME=VALUE` a line"},
        {"--progress", nullptr, "show a progress bar (the default when standard error is a terminal)"},
        {"--no-progress", nullptr, "show no progress bar"}},
       cmd_render},
      {"info", "", 0, 0, "list the parameters and explain the latency",
       "Prints the 29 parameters (index, name, symbol, value, display text, unit, range and "
       "default) of an instance made with the given settings, and its latency: how long the "
       "output lags the input, in samples and milliseconds.\n\n"
       "The latency grows when a host calls the plug-in with more frames than the hop (the "
       "length of the blocks the engine convolves): the engine then re-sizes its blocks to the "
       "host's call. --block shows the latency for calls of that length.",
       {kSet, kPreset, kState, kRate,
        {"--block", "FRAMES", "show the latency for host calls of this many frames"},
        {"--json", nullptr, "print the same as JSON"}},
       cmd_info},
      {"response", "", 0, 0, "print the magnitude response of the designed filter",
       "Prints the magnitude response of the kernel the plug-in designs for the given "
       "settings: one `FREQUENCY_HZ GAIN_DB` line per point, log-spaced from 20 Hz to "
       "20 kHz. It is what the editor's dashed line shows.",
       {kSet, kPreset, kState, kRate,
        {"--points", "N", "the number of points (default 100)"}},
       cmd_response},
      {"presets", "", 0, 0, "list the factory presets",
       "Prints the names of the factory presets, one a line. A preset sets the curve: the "
       "four bands, Transpose, Overall Gain and Gain Scale. The settings that belong to you "
       "rather than to a sound (resolution, delay, limiter, colours, size and view) stay as "
       "they are. The same presets are in the LV2 plug-in's preset menu.",
       {},
       cmd_presets},
      {"snapshot", "OUT.png", 1, 1, "draw the editor into a PNG file",
       "Builds an instance with the editor but no window, plays audio through it (IN, or the "
       "demo's pink noise) while the editor draws --frames frames at 60 a second, and writes "
       "the last frame as PNG. The name ends in .png (any case) or has no extension; another "
       "extension is refused. `-` writes standard output. A snapshot starts from the "
       "defaults, not from your preferences, so that it depends on its arguments alone.",
       {{"--input", "IN", "the audio to play (default: pink noise)"}, kSet, kPreset, kState, kSize,
        {"--frames", "N", "the editor frames drawn before the picture is taken (default 60)"}},
       cmd_snapshot},
      {"gui", "[IN]", 0, 1, "open the editor in a window",
       "Opens the editor in an X11 window. With IN, an audio thread plays it in a loop through "
       "the plug-in at real-time pace to an ALSA device (or silently, paced by a clock, when "
       "none opens), and the editor shows its spectrum. Closing the window, Ctrl-C or SIGTERM "
       "end it. The editor keeps your settings (resolution, delay, limiter, colours, size) in "
       "the preferences file; the curve is written only with --save-state. --size also "
       "becomes the size the editor opens at from then on.",
       {kSet, kPreset, kState, kSaveState, kSize,
        {"--device", "NAME", "the ALSA device to play to (default: default)"},
        {"--no-audio", nullptr, "play silently, paced by a clock"}},
       cmd_gui},
      {"live", "", 0, 0, "run the equaliser live, as a JACK client",
       "Runs the plug-in as a JACK client on live input: a microphone, a bus of a JACK or "
       "PipeWire graph, or all of a system's sound as a correction of its speakers or "
       "headphones. The client (\"Quillmar\", or --name) has the ports in_1, in_2, out_1 and "
       "out_2 (in and out with --mono), runs at the server's rate and buffer size, follows a "
       "change of either, and reports its latency to JACK, so that hosts and jack_lsp -l "
       "see it. The editor's window shows the input's and output's spectrum and takes every "
       "edit, unless --no-window.\n\n"
       "Closing the window, Ctrl-C or SIGTERM end it: the ports are disconnected, the client "
       "leaves the server and the state is written with --save-state. A server that shuts "
       "down ends it too, after the state is saved, with status 1.\n\n"
       "The server is JACK_DEFAULT_SERVER's, or \"default\"; none is started. Under "
       "PipeWire, run it through pw-jack (package pipewire-jack):\n\n"
       "  pw-jack quillmar live --preset Warm --connect-in system:capture_1",
       {{"--name", "NAME", "the JACK client's name (default Quillmar)"},
        {"--mono", nullptr, "one input and one output port (in, out) instead of two each"},
        {"--connect-in", "PORT",
         "connect a port that sends audio to our next input at the start, e.g. "
         "system:capture_1 (repeatable: the first goes to in_1, the second to in_2)"},
        {"--connect-out", "PORT",
         "connect our next output to a port that takes audio, e.g. system:playback_1 "
         "(repeatable)"},
        kSet, kPreset, kState, kSaveState, kSize,
        {"--no-window", nullptr, "run without the window until Ctrl-C or SIGTERM"},
        {"--stats", nullptr,
         "at the end, print the xruns the server reported and how long the processing cycles "
         "took (the longest, the time 99.9 % ended within, those of a tenth of the period or more)"}},
       cmd_live},
      {"demo", "[OUTDIR]", 0, 1, "render a test signal through a demo curve",
       "Makes a test signal (10 s of stereo pink noise with a slow sine sweep at 44100 Hz), "
       "renders it through a demo curve (band B +6 dB, band D -12 dB) with the latency "
       "compensated, and writes demo-input.wav, demo-output.wav, demo-state.bin and "
       "demo-editor.png into OUTDIR (default: out). It prints the latency and the response "
       "at a few frequencies: the curve, the designed kernel and the gain measured in the "
       "output.",
       {},
       cmd_demo},
      {"help", "[COMMAND]", 0, 1, "explain the program, or one command",
       "Prints the program's help, or a command's: what it does and every option.",
       {},
       cmd_help},
  };
  return table;
}

const std::vector<help_topic_t>& help_topics() {
  static const std::vector<help_topic_t> topics = {
      {"PARAMETERS", "render info response snapshot gui live",
       "A parameter is named by its exact name (\"Band B gain\", quoted for the shell), its "
       "symbol (band_b_gain, as LV2 hosts know it) or its index (5); `quillmar info` lists "
       "all three. A value is in the parameter's unit (dB, Hz, dB/oct, semitones, x); one "
       "outside the range is clamped, with a warning.\n\n"
       "The settings are applied in this order: the preferences (render, info, response, gui "
       "and live only), --state, --preset, then each --set. The Limiter is on at 0 dB by default: "
       "output peaks above 0 dBFS are held down to it; --set Limiter=60 switches it off."},
      {"OUTPUT FILES", "render snapshot",
       "The output's extension chooses its container, as sox and ffmpeg do: .wav, .flac, "
       ".ogg or .oga (Vorbis), .opus (Opus, at 8000, 12000, 16000, 24000 or 48000 Hz), .aif "
       "or .aiff, .w64, .caf, .au, .mp3 (MPEG Layer III, where this libsndfile writes it). An "
       "unknown extension, or none, takes the input's container. "
       "--format chooses only the sample encoding; a combination the container cannot hold "
       "(float in FLAC, any choice in Vorbis, Opus or MP3) is refused.\n\n"
       "A new file, or an existing regular one, is written under a temporary name beside it "
       "and renamed when complete, so a failure never leaves a partial file. An output that is "
       "a symbolic link writes the file it points to and keeps the link; a device or FIFO is "
       "written in place, never replaced. An output that is the input file (by any path) is "
       "refused. `-` writes standard output, in any container."},
      {"FILES", "",
       "- $XDG_CONFIG_HOME/Quillmar/Quillmar Preferences.dat (default "
       "~/.config/Quillmar/): the settings the editor keeps for you: interface size, "
       "resolution, delay, limiter, colour scheme, colour gain, gamma and vertical range. "
       "Each new instance starts from them.\n"
       "- A state file (--state, --save-state): the 29 parameter values as 232 bytes, "
       "little-endian doubles in index order, as hosts store them in a project.\n"
       "- PREFIX/share/quillmar/resources/presets/NAME.state: the factory presets, one state "
       "file each; PREFIX is the folder above the program's own (/usr for the Debian "
       "package).\n"
       "- PREFIX/share/quillmar/resources/img/: the editor's skin (knob, light, logo, fonts).\n"
       "- PREFIX/lib/lv2/quillmar.lv2/: the LV2 plug-ins (stereo and mono), with their "
       "editor, presets and their own copy of the skin."},
      {"ENVIRONMENT", "",
       "- QUILLMAR_CONFIG_DIR: the folder for the preferences, instead of "
       "$XDG_CONFIG_HOME/Quillmar.\n"
       "- QUILLMAR_RESOURCES: a folder holding img/ and presets/, looked in before the ones "
       "beside the program.\n"
       "- LV2_PATH: where LV2 hosts look for plug-ins (the package installs into /usr/lib/lv2, "
       "which they search by default).\n"
       "- DISPLAY: the X11 display of the gui and live commands' window.\n"
       "- JACK_DEFAULT_SERVER: the JACK server live runs on (default: default)."},
      {"EXIT STATUS", "",
       "0 on success, 1 when an operation failed (a file that cannot be read or written, no "
       "display, a missing skin for the editor, no JACK server or one that shut down), 2 for bad usage (an unknown option, a bad "
       "value, an output that is the input). Each error is one line on standard error naming "
       "the file or argument at fault."},
      {"EXAMPLES", "",
       "  quillmar render song.wav song-eq.flac --preset \"Low cut 80 Hz\" --compensate\n"
       "  quillmar render in.wav out.wav --set band_b_gain=4 --set \"Band B freq=250\"\n"
       "  sox in.mp3 -t wav - | quillmar render - out.wav --compensate\n"
       "  quillmar info --preset Telephone --block 1024\n"
       "  quillmar response --preset Warm --points 10\n"
       "  quillmar snapshot editor.png --input song.wav --size 2\n"
       "  quillmar gui song.wav --save-state mine.state\n"
       "  quillmar live --connect-in system:capture_1 --connect-in system:capture_2 --no-window"},
  };
  return topics;
}
