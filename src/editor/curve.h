// The part of the picture the user edits: each active band's point and slope handles,
// pulsing rings around the selected band, and the response curve across the area.
#pragma once

struct inst_t;

// What of a band the mouse holds or hovers over (drag_handle, hover_handle).
enum { HANDLE_POINT = 0, HANDLE_RIGHT = 1, HANDLE_LEFT = 2 };

// Draws into fb and stores, in each drawn band's record, the screen positions of its point
// and handles (what the mouse can grab is what was drawn last).
void draw_bezier(inst_t* inst);
