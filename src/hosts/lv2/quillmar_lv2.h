// Quillmar's identity as LV2 hosts see it: the plug-ins' URIs, their editor's URI and the key
// of the saved state.
#pragma once

#define QUILLMAR_LV2_URI "urn:merrowind:quillmar"
#define QUILLMAR_LV2_STEREO_URI QUILLMAR_LV2_URI ":stereo"
#define QUILLMAR_LV2_MONO_URI QUILLMAR_LV2_URI ":mono"
#define QUILLMAR_LV2_CHUNK_URI QUILLMAR_LV2_URI ":chunk"
#define QUILLMAR_LV2_UI_URI QUILLMAR_LV2_URI ":ui"
// A factory preset's URI: this, then the preset's slug ("low-cut-80-hz").
#define QUILLMAR_LV2_PRESET_URI QUILLMAR_LV2_URI ":preset:"

// The descriptors in the order lv2_descriptor hands them out.
struct quillmar_lv2_kind_t {
  const char* uri;
  int channels;
};
constexpr quillmar_lv2_kind_t kQuillmarLV2Kinds[] = {
    {QUILLMAR_LV2_STEREO_URI, 2},
    {QUILLMAR_LV2_MONO_URI, 1},
};
