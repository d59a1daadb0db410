// Writes the bundle's Turtle (manifest.ttl, quillmar.ttl, presets.ttl) from a live instance's
// parameter table and the factory preset files, so that names, ranges, defaults, units and
// presets are written in one place only. Run at build time:
// quillmar_lv2_ttl OUTDIR BINARY PRESETS_FOLDER
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "hosts/lv2/IPluginLV2.h"
#include "hosts/lv2/quillmar_lv2.h"
#include "plugin/Quillmar.h"
#include "plugin/params.h"
#include "plugin/presets.h"
#include "quillmar_version.h"

namespace {

// The shortest decimal that reads back as exactly the same double.
std::string Number(double v) {
  char buf[32];
  if (v == std::trunc(v) && std::fabs(v) < 1e15) {
    std::snprintf(buf, sizeof buf, "%.0f", v);
    return buf;
  }
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buf, sizeof buf, "%.*g", precision, v);
    if (std::strtod(buf, nullptr) == v) break;
  }
  return buf;  // Turtle reads "1e-06" as a double and "80" as an integer: both serve LV2
}

std::string Quoted(const char* text) {
  std::string q = "\"";
  for (const char* c = text; *c; ++c) {
    if (*c == '"' || *c == '\\') q += '\\';
    q += *c;
  }
  return q + "\"";
}

// The units extension's own unit for a label, else one of ours declared in quillmar.ttl.
std::string Unit(const char* label) {
  if (!std::strcmp(label, "dB")) return "units:db";
  if (!std::strcmp(label, "Hz")) return "units:hz";
  if (!std::strcmp(label, "semitones")) return "units:semitone12TET";
  if (!std::strcmp(label, "dB/oct")) return "qm:dBPerOctave";
  if (!std::strcmp(label, "x")) return "qm:times";
  return "";
}

const char* kPrefixes =
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix qm: <" QUILLMAR_LV2_URI "#> .\n\n";

const char* kUnits =
    "qm:dBPerOctave a units:Unit ;\n"
    "  rdfs:label \"decibels per octave\" ;\n"
    "  units:symbol \"dB/oct\" ;\n"
    "  units:render \"%f dB/oct\" .\n\n"
    "qm:times a units:Unit ;\n"
    "  rdfs:label \"times\" ;\n"
    "  units:symbol \"x\" ;\n"
    "  units:render \"%f x\" .\n\n";

void ControlPort(std::ostream& o, IPluginBase* plug, int i) {
  const IParam* p = plug->GetParam(i);
  o << "  lv2:port [\n"
    << "    a lv2:InputPort , lv2:ControlPort ;\n"
    << "    lv2:index " << i << " ;\n"
    << "    lv2:symbol \"" << param_symbol(i) << "\" ;\n"
    << "    lv2:name " << Quoted(p->GetNameForHost()) << " ;\n"
    << "    lv2:default " << Number(p->GetDefault()) << " ;\n"
    << "    lv2:minimum " << Number(p->GetMin()) << " ;\n"
    << "    lv2:maximum " << Number(p->GetMax()) << " ;\n";
  const std::string unit = Unit(p->GetLabelForHost());
  if (!unit.empty()) o << "    units:unit " << unit << " ;\n";

  // Value names: the parameter's own display texts, else the names the editor gives values.
  std::ostringstream points;
  int nPoints = 0;
  for (int k = 0; k < p->GetNDisplayTexts(); ++k, ++nPoints) {
    int value = 0;
    const char* text = p->GetDisplayTextAtIdx(k, &value);
    points << (nPoints ? " , " : "") << "[ rdfs:label " << Quoted(text) << " ; rdf:value "
           << value << " ]";
  }
  const bool whole = p->Type() != IParam::kTypeDouble || std::fmod(p->GetStep(), 1.0) == 0.0;
  for (int v = static_cast<int>(p->GetMin()); whole && !p->GetNDisplayTexts() && v <= p->GetMax();
       ++v) {
    if (const char* name = param_value_name(i, v)) {
      points << (nPoints ? " , " : "") << "[ rdfs:label " << Quoted(name) << " ; rdf:value " << v
             << " ]";
      ++nPoints;
    }
  }
  const char* props = nullptr;
  if (p->Type() == IParam::kTypeBool) props = "lv2:toggled";
  else if (whole) props = nPoints ? "lv2:integer , lv2:enumeration" : "lv2:integer";
  if (props) o << "    lv2:portProperty " << props << " ;\n";
  if (nPoints) o << "    lv2:scalePoint " << points.str() << " ;\n";
  o << "  ] ;\n";
}

// The editor: it reaches its instance directly, so hosts without instance-access keep to
// their own controls.
const char* kUI =
    "<" QUILLMAR_LV2_UI_URI ">\n"
    "  a ui:X11UI ;\n"
    "  lv2:requiredFeature <http://lv2plug.in/ns/ext/instance-access> , ui:idleInterface ;\n"
    "  lv2:optionalFeature ui:parent , ui:resize , ui:touch , ui:noUserResize ;\n"
    "  lv2:extensionData ui:idleInterface , ui:showInterface .\n\n";

void Plugin(std::ostream& o, IPluginBase* plug, const quillmar_lv2_kind_t& kind) {
  const int n = plug->NParams(), channels = kind.channels;
  o << "<" << kind.uri << ">\n"
    << "  a lv2:Plugin , lv2:EQPlugin ;\n"
    << "  doap:name " << Quoted(channels == 2 ? "Quillmar" : "Quillmar Mono") << " ;\n"
    << "  doap:maintainer [ foaf:name " << Quoted(plug->GetMfrName()) << " ] ;\n"
    << "  lv2:minorVersion " << QUILLMAR_VERSION_MINOR << " ;\n"
    << "  lv2:microVersion " << QUILLMAR_VERSION_PATCH << " ;\n"
    << "  lv2:optionalFeature lv2:hardRTCapable , urid:map , opts:options ;\n"
    << "  opts:supportedOption bufsz:maxBlockLength ;\n"
    << "  lv2:extensionData state:interface ;\n"
    << "  ui:ui <" QUILLMAR_LV2_UI_URI "> ;\n";
  for (int i = 0; i < n; ++i) ControlPort(o, plug, i);
  o << "  lv2:port [\n"
    << "    a lv2:OutputPort , lv2:ControlPort ;\n"
    << "    lv2:index " << IPluginLV2::LatencyPort(n) << " ;\n"
    << "    lv2:symbol \"latency\" ;\n"
    << "    lv2:name \"Latency\" ;\n"
    << "    lv2:designation lv2:latency ;\n"
    << "    lv2:portProperty lv2:reportsLatency , lv2:integer ;\n"
    << "    units:unit units:frame ;\n"
    << "    lv2:minimum 0 ;\n"
    << "    lv2:maximum " << int(ENGINE_MAX_FFT) << " ;\n"
    << "  ] ;\n";
  const char* const sides[2][2] = {{"", ""}, {"_l", "_r"}};
  const char* const names[2][2] = {{"", ""}, {" L", " R"}};
  const int set = channels == 2 ? 1 : 0;
  for (int dir = 0; dir < 2; ++dir) {
    for (int ch = 0; ch < channels; ++ch) {
      const uint32_t index = dir == 0 ? IPluginLV2::AudioInPort(n, ch)
                                      : IPluginLV2::AudioOutPort(n, channels, ch);
      o << "  lv2:port [\n"
        << "    a lv2:AudioPort , " << (dir == 0 ? "lv2:InputPort" : "lv2:OutputPort") << " ;\n"
        << "    lv2:index " << index << " ;\n"
        << "    lv2:symbol \"" << (dir == 0 ? "in" : "out") << sides[set][ch] << "\" ;\n"
        << "    lv2:name \"" << (dir == 0 ? "Input" : "Output") << names[set][ch] << "\" ;\n"
        << "  ]" << (dir == 1 && ch == channels - 1 ? " .\n\n" : " ;\n");
    }
  }
}

// The factory presets as pset:Presets of both plug-ins: the curve's parameters as port
// values. Ports carry single-precision values, so a preset's values must be exact in single
// precision for a host to restore them exactly; a preset that is not is refused.
bool Presets(std::ostream& manifest, std::ostream& presets, IPluginBase* plug,
             const std::string& folder) {
  std::vector<preset_t> list;
  std::string error;
  if (!read_presets(folder, &list, &error)) {
    std::fprintf(stderr, "quillmar_lv2_ttl: %s\n", error.c_str());
    return false;
  }
  std::string applies;
  for (const quillmar_lv2_kind_t& kind : kQuillmarLV2Kinds)
    applies += std::string(applies.empty() ? "" : " , ") + "<" + kind.uri + ">";
  presets << "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
          << "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
          << "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n\n";
  for (const preset_t& p : list) {
    const std::string uri = std::string(QUILLMAR_LV2_PRESET_URI) + preset_slug(p.name);
    manifest << "<" << uri << ">\n"
             << "  a pset:Preset ;\n"
             << "  lv2:appliesTo " << applies << " ;\n"
             << "  rdfs:seeAlso <presets.ttl> .\n\n";
    presets << "<" << uri << ">\n"
            << "  a pset:Preset ;\n"
            << "  rdfs:label " << Quoted(p.name.c_str()) << " ;\n"
            << "  lv2:appliesTo " << applies << " ;\n";
    for (int i = 0; i < PRESET_PARAMS; ++i) {
      const double v = p.values[i];
      if (static_cast<double>(static_cast<float>(v)) != v) {
        std::fprintf(stderr, "quillmar_lv2_ttl: preset \"%s\": %s = %.17g is not exact in single precision\n",
                     p.name.c_str(), plug->GetParam(i)->GetNameForHost(), v);
        return false;
      }
      presets << (i ? "    [ " : "  lv2:port [ ") << "lv2:symbol \"" << param_symbol(i)
              << "\" ; pset:value " << Number(v) << " ]" << (i + 1 < PRESET_PARAMS ? " ,\n" : " .\n\n");
    }
  }
  return true;
}

bool Write(const std::string& path, const std::string& text) {
  std::ofstream f(path);
  f << text;
  f.close();
  if (!f) std::fprintf(stderr, "quillmar_lv2_ttl: cannot write %s\n", path.c_str());
  return static_cast<bool>(f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: quillmar_lv2_ttl OUTDIR BINARY PRESETS_FOLDER\n");
    return 2;
  }
  const std::string dir = argv[1], binary = argv[2], preset_folder = argv[3];
  Quillmar* plug = MakePlug();
  if (!plug) return 1;

  std::ostringstream manifest, plugins, presets;
  manifest << "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
           << "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
           << "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
           << "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n\n"
           << "<" QUILLMAR_LV2_UI_URI ">\n"
           << "  a ui:X11UI ;\n"
           << "  ui:binary <" << binary << "> ;\n"
           << "  rdfs:seeAlso <quillmar.ttl> .\n\n";
  plugins << kPrefixes << kUnits << kUI;
  for (const quillmar_lv2_kind_t& kind : kQuillmarLV2Kinds) {
    manifest << "<" << kind.uri << ">\n"
             << "  a lv2:Plugin ;\n"
             << "  lv2:binary <" << binary << "> ;\n"
             << "  rdfs:seeAlso <quillmar.ttl> .\n\n";
    Plugin(plugins, plug, kind);
  }
  const bool ok = Presets(manifest, presets, plug, preset_folder);
  delete plug;
  return ok && Write(dir + "/manifest.ttl", manifest.str()) &&
                 Write(dir + "/quillmar.ttl", plugins.str()) &&
                 Write(dir + "/presets.ttl", presets.str())
             ? 0
             : 1;
}
