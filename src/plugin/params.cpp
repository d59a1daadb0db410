#include "plugin/params.h"

#include <array>
#include <cctype>
#include <cstring>
#include <string>

#include "editor/controls.h"
#include "engine/levels.h"
#include "engine/params.h"
#include "framework/IPluginBase.h"

namespace {

enum kind_t { BOOL, INT, DOUBLE };

struct param_row_t {
  const char* name;
  kind_t kind;
  double def, min, max, step, shape;
  const char* unit;
};

constexpr double VRANGE_MAX = 64.34294481903252;  // 60 + 10 / ln 10 dB

// What the editor's knobs call the values of the two integer settings it names.

const param_row_t kTable[PARAM_COUNT] = {
    {"Band A on", BOOL, 1, 0, 1, 1, 1, ""},
    {"Band B on", BOOL, 1, 0, 1, 1, 1, ""},
    {"Band C on", BOOL, 1, 0, 1, 1, 1, ""},
    {"Band D on", BOOL, 1, 0, 1, 1, 1, ""},
    {"Band A gain", DOUBLE, 0.000001, LEVEL_FLOOR, 60, 0.01, 1, "dB"},
    {"Band B gain", DOUBLE, 0.000001, LEVEL_FLOOR, 60, 0.01, 1, "dB"},
    {"Band C gain", DOUBLE, 0.000001, LEVEL_FLOOR, 60, 0.01, 1, "dB"},
    {"Band D gain", DOUBLE, 0.000001, LEVEL_FLOOR, 60, 0.01, 1, "dB"},
    {"Band A freq", DOUBLE, 80, 20, 20000, 0.01, 3, "Hz"},
    {"Band B freq", DOUBLE, 370, 20, 20000, 0.01, 3, "Hz"},
    {"Band C freq", DOUBLE, 1700, 20, 20000, 0.01, 3, "Hz"},
    {"Band D freq", DOUBLE, 8000, 20, 20000, 0.01, 3, "Hz"},
    {"Band A slope", DOUBLE, 0, -100, 100, 0.01, 1, "dB/oct"},
    {"Band B slope", DOUBLE, 0, -100, 100, 0.01, 1, "dB/oct"},
    {"Band C slope", DOUBLE, 0, -100, 100, 0.01, 1, "dB/oct"},
    {"Band D slope", DOUBLE, 0, -100, 100, 0.01, 1, "dB/oct"},
    {"Transpose", DOUBLE, 0, -120, 120, 0.01, 1, "semitones"},
    {"Overall Gain", DOUBLE, 0, -60, 60, 0.01, 1, "dB"},
    {"Gain Scale", DOUBLE, 1, -4, 4, 0.01, 1, "x"},
    {"Colour", INT, 2, 0, 2, 1, 1, ""},
    {"Colour Gain", DOUBLE, 1, 0, 40, 0.01, 4, "x"},
    {"Gamma", DOUBLE, 1.1, 1, 2, 0.01, 1, ""},
    {"Interface Size", INT, 1, 0, 2, 1, 1, ""},
    {"Resolution", DOUBLE, 1, 0.2, 16, 0.1, 2, "x"},
    {"Input Buffer Size", DOUBLE, 0.2, 0, 6, 0.1, 2, "x"},
    {"Limiter", DOUBLE, 0, -30, 60, 0.01, 1, "dB"},
    {"Vert. Range", DOUBLE, VRANGE_MAX, 3, VRANGE_MAX, 0.01, 2, "dB"},
    {"Hor. Zoom", DOUBLE, 1, 1, 10, 0.001, 2, "x"},
    {"Hor. Position", DOUBLE, 0.5, 0, 1, 0.000001, 1, ""},
};

}  // namespace

void init_params(IPluginBase* plug) {
  for (int i = 0; i < PARAM_COUNT; ++i) {
    const param_row_t& r = kTable[i];
    IParam* p = plug->GetParam(i);
    switch (r.kind) {
      case BOOL: p->InitBool(r.name, r.def != 0, r.unit); break;
      case INT:
        p->InitInt(r.name, static_cast<int>(r.def), static_cast<int>(r.min),
                   static_cast<int>(r.max), r.unit);
        break;
      case DOUBLE: p->InitDouble(r.name, r.def, r.min, r.max, r.step, r.unit); break;
    }
    p->SetShape(r.shape);
  }
}

const char* param_name(int index) {
  return index >= 0 && index < PARAM_COUNT ? kTable[index].name : nullptr;
}

const char* param_value_name(int index, int value) { return knob_caption(index, value); }

int param_index(const char* name) {
  for (const param_row_t& r : kTable)
    if (name && !std::strcmp(r.name, name)) return static_cast<int>(&r - kTable);
  return -1;
}

std::string identifier(const std::string& text, char separator) {
  std::string s;
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (std::isalnum(u)) s += static_cast<char>(std::tolower(u));
    else if (!s.empty() && s.back() != separator) s += separator;
  }
  while (!s.empty() && s.back() == separator) s.pop_back();
  return s;
}

const char* param_symbol(int index) {
  static const auto symbols = [] {
    std::array<std::string, PARAM_COUNT> s;
    for (int i = 0; i < PARAM_COUNT; ++i) s[i] = identifier(kTable[i].name, '_');
    return s;
  }();
  return index >= 0 && index < PARAM_COUNT ? symbols[index].c_str() : nullptr;
}

int param_index_by_symbol(const char* symbol) {
  for (int i = 0; i < PARAM_COUNT; ++i)
    if (symbol && !std::strcmp(param_symbol(i), symbol)) return i;
  return -1;
}
