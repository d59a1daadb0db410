// Drawing what the knobs show (value texts and knob images), the limiter light, and the
// information line's band text.
#pragma once
#include "toolkit/graphics/srgb.h"

struct inst_t;
struct knob_cache_t;

// The value text of a slot's knob for a parameter value; false: the text stays as it was.
bool knob_value_text(const inst_t* inst, int slot, double value, char* out, int size);
// Value text and image of the knob of a slot, at the frame of its parameter's value.
void draw_knob(inst_t* inst, const image_t* image, const char* text, int param, int slot);
// Where the knobs keep their boxes as last drawn, to copy back while nothing in a box changed;
// tracked memory of the instance (null when memory runs out: the knobs are then always drawn).
knob_cache_t* new_knob_cache(inst_t* inst);
// Every slot's knob, 1 to 16, with the given knob strip (null: the skin's).
void draw_knobs(inst_t* inst, const image_t* strip = nullptr);
// Adds a sprite's light, tinted and scaled by q, never darkening: centred on (x, y) unless
// bit 2 of flags is set.
void blit_sprite_fma(inst_t* inst, const lrgb_t* sprite, int w, int h, int x, int y, int flags,
                     const lrgb_t* tint, double q);
// The limiter light over the Limiter knob, fading by 0.9 per frame.
void draw_limiter_light(inst_t* inst);
// The held band's values on the information line.
void print_control_info(inst_t* inst);
