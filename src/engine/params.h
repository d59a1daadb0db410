// The plug-in's parameter indices: also the host's parameter IDs and the order of the state chunk.
#pragma once

enum {
  PARAM_BAND_ON = 0,      // 0..3, bands A..D
  PARAM_BAND_GAIN = 4,    // 4..7
  PARAM_BAND_FREQ = 8,    // 8..11
  PARAM_BAND_SLOPE = 12,  // 12..15
  PARAM_TRANSPOSE = 16,
  PARAM_OVERALL_GAIN = 17,
  PARAM_GAIN_SCALE = 18,
  PARAM_COLOUR = 19,
  PARAM_COLOUR_GAIN = 20,
  PARAM_GAMMA = 21,
  PARAM_INTERFACE_SIZE = 22,
  PARAM_RESOLUTION = 23,
  PARAM_INPUT_BUFFER_SIZE = 24,
  PARAM_LIMITER = 25,
  PARAM_VERT_RANGE = 26,
  PARAM_HOR_ZOOM = 27,
  PARAM_HOR_POSITION = 28,
  PARAM_COUNT = 29
};
