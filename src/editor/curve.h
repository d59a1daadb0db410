// The part of the picture the user edits: each active band's point and slope handles,
// pulsing rings around the selected band, and the response curve across the area.
#pragma once

struct inst_t;

// Draws into fb and stores, in each drawn band's record, the screen positions of its point
// and handles (what the mouse can grab is what was drawn last).
void draw_bezier(inst_t* inst);
