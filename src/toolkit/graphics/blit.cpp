#include "toolkit/graphics/blit.h"

#include <cstring>

#include "toolkit/graphics/blending.h"

void blit_sprite(lrgb_t* dst, int w, int h, const lrgb_t* sprite, int sw, int sh, int x, int y, int mode,
                 int halign, int valign) {
  if (!dst || !sprite || sw <= 0 || sh <= 0 || w <= 0 || h <= 0) return;
  long x0 = halign == ALIGN_RIGHT ? (long)x + 1 - sw : halign == ALIGN_CENTRE ? (long)x - (sw >> 1) : x;
  long y0 = valign == ALIGN_BOTTOM ? (long)y + 1 - sh : valign == ALIGN_CENTRE ? (long)y - (sh >> 1) : y;
  long cx0 = x0 < 0 ? -x0 : 0, cx1 = x0 + sw < w ? sw : w - x0;
  long cy0 = y0 < 0 ? -y0 : 0, cy1 = y0 + sh < h ? sh : h - y0;
  if (cx0 >= cx1 || cy0 >= cy1) return;
  for (long j = cy0; j < cy1; j++) {
    const lrgb_t* s = sprite + j * sw + cx0;
    lrgb_t* d = dst + (y0 + j) * w + x0 + cx0;
    if (mode == 0) {
      memcpy(d, s, (size_t)(cx1 - cx0) * sizeof(lrgb_t));
      continue;
    }
    for (long i = 0; i < cx1 - cx0; i++) d[i] = blend_pixels(d[i], s[i], 32768, mode);
  }
}

void blit_layout(lrgb_t* dst, const lrgb_t* layout, int w, int h) {
  if (w <= 0 || h <= 0) return;
  long n = (long)w * h;
  for (long i = 0; i < n; i++) {
    lrgb_t s = layout[i];
    if (s.a == 0) continue;
    if (s.a >= 32768) {
      dst[i] = s;
      continue;
    }
    lrgb_t& d = dst[i];
    int a = s.a;
    d.r = (uint16_t)(d.r + (((int)s.r - d.r) * a >> 15));
    d.g = (uint16_t)(d.g + (((int)s.g - d.g) * a >> 15));
    d.b = (uint16_t)(d.b + (((int)s.b - d.b) * a >> 15));
  }
}
