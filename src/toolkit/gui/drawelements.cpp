#include "toolkit/gui/drawelements.h"

#include "toolkit/graphics/drawprimitives.h"

void draw_titled_roundrect_frame(lrgb_t* fb, int w, int h, lrgb_t colour, int mode, double x, double y,
                                 double radius, int nx, int ny, double cw, double ch) {
  double left = x - ((cw - 3.5) * 0.5 + 0.5);
  double top = y - ((ch - 3.5) * 0.5 + 3.5);
  double right = left + (cw - 3.5) + (nx - 1) * cw;
  double bottom = top + (ch - 3.5) + (ny - 1) * ch;
  draw_roundrect_frame(fb, w, h, colour, mode, 9.0, 8.0, radius, 1.0, left, top, right, bottom, left + 1, top + 17.5,
                       right - 1, bottom - 1);
}
