#include "bundle.h"

#include <dlfcn.h>
#include <plist/plist.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

using plist_ptr = std::unique_ptr<void, void (*)(plist_t)>;

std::string string_of(plist_t node) {
  if (!node || plist_get_node_type(node) != PLIST_STRING) return "";
  char* s = nullptr;
  plist_get_string_val(node, &s);
  std::string out = s ? s : "";
  std::free(s);
  return out;
}

bool uint_of(plist_t node, uint64_t* v) {
  if (!node || plist_get_node_type(node) != PLIST_UINT) return false;
  plist_get_uint_val(node, v);
  return true;
}

}  // namespace

OSType four_char_code(const std::string& s) {
  if (s.size() != 4) return 0;
  OSType c = 0;
  for (unsigned char ch : s) c = c << 8 | ch;
  return c;
}

bool load_au_bundle(const std::string& path, const char* type, const char* subtype,
                    const char* manufacturer, au_bundle_t* out, std::string* err) {
  const std::string info_path = path + "/Contents/Info.plist";
  std::ifstream in(info_path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  if (!in) {
    *err = info_path + ": cannot be read";
    return false;
  }
  const std::string xml = text.str();
  plist_t root = nullptr;
  plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &root);
  plist_ptr keep(root, plist_free);
  if (!root || plist_get_node_type(root) != PLIST_DICT) {
    *err = info_path + ": not a property list of a dictionary";
    return false;
  }
  au_bundle_t b;
  b.path = path;
  const std::string exe = string_of(plist_dict_get_item(root, "CFBundleExecutable"));
  b.identifier = string_of(plist_dict_get_item(root, "CFBundleIdentifier"));
  if (exe.empty() || exe.find('/') != std::string::npos) {
    *err = info_path + ": no CFBundleExecutable";
    return false;
  }
  b.executable = path + "/Contents/MacOS/" + exe;

  // The AudioComponents entry of the unit asked for.
  plist_t components = plist_dict_get_item(root, "AudioComponents");
  if (!components || plist_get_node_type(components) != PLIST_ARRAY) {
    *err = info_path + ": no AudioComponents array";
    return false;
  }
  const OSType want[3] = {four_char_code(type), four_char_code(subtype), four_char_code(manufacturer)};
  plist_t entry = nullptr;
  for (uint32_t i = 0; i < plist_array_get_size(components) && !entry; ++i) {
    plist_t e = plist_array_get_item(components, i);
    if (plist_get_node_type(e) != PLIST_DICT) continue;
    if (four_char_code(string_of(plist_dict_get_item(e, "type"))) == want[0] &&
        four_char_code(string_of(plist_dict_get_item(e, "subtype"))) == want[1] &&
        four_char_code(string_of(plist_dict_get_item(e, "manufacturer"))) == want[2])
      entry = e;
  }
  if (!entry) {
    *err = info_path + ": no AudioComponents entry " + type + " " + subtype + " " + manufacturer;
    return false;
  }
  b.desc = AudioComponentDescription{want[0], want[1], want[2], 0, 0};
  b.factory_name = string_of(plist_dict_get_item(entry, "factoryFunction"));
  b.name = string_of(plist_dict_get_item(entry, "name"));
  uint64_t version = 0;
  if (b.factory_name.empty() || !uint_of(plist_dict_get_item(entry, "version"), &version) ||
      version > 0xFFFFFFFFu) {
    *err = info_path + ": the AudioComponents entry lacks a factoryFunction or a version";
    return false;
  }
  b.version = static_cast<UInt32>(version);

  // The code, and the factory by the name the entry gives.
  b.library = dlopen(b.executable.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!b.library) {
    *err = dlerror();
    return false;
  }
  b.factory = reinterpret_cast<AudioComponentFactoryFunction>(dlsym(b.library, b.factory_name.c_str()));
  if (!b.factory) {
    *err = b.executable + ": no function " + b.factory_name;
    return false;
  }
  CFStringRef name = CFStringCreateWithCString(nullptr, b.name.c_str(), kCFStringEncodingUTF8);
  b.component = AudioComponentRegister(&b.desc, name, b.version, b.factory);
  if (name) CFRelease(name);
  if (!b.component) {
    *err = "AudioComponentRegister refused " + b.factory_name;
    return false;
  }
  *out = b;
  return true;
}
