// One editor frame: the picture composed in linear light from the spectrum, the grids, the
// curve and its handles, the measured response, the panel, the knobs, the limiter light and
// the information line, then converted into screen_bits.
#pragma once

struct inst_t;

// Draws a whole frame, holding lock_buffers throughout.
void draw_frame(inst_t* inst);
