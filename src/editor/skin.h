// The editor's process-wide look: the six fonts, the skin images and the two text colours.
// Made by the first editor that draws (skin_ensure) and never freed; an instance whose editor
// never draws never loads them.
#pragma once

#include "toolkit/font.h"
#include "toolkit/graphics/srgb.h"

class IGraphics;

struct skin_t {
  font_t *font, *font12, *font15;     // regular: the 48-pixel base and its small sizes
  font_t *fbold, *fbold12, *fbold15;  // bold
  image_t bknob;  // 192 knob frames one above the other; h is one frame's height
  image_t light;
  image_t logo;
  image_t shade;  // the shadow under each knob
  lrgb_t black, white;
};

enum { KNOB_FRAMES = 192 };

// An sRGB colour for drawing that takes no alpha from its colour or sets its own.
lrgb_t srgb_colour(int r, int g, int b);

// The shared skin (fields null or empty until loaded).
const skin_t& skin();

// Sets black and white.
void init_colours();
// Loads the fonts, each family only once. A sheet that cannot be read is reported on
// standard error and replaced by a blank one: text then draws nothing, nothing fails.
void skin_load_fonts();
// Loads each of the four images that is not loaded yet, through the framework's bitmap
// loader, keeping only their linear pixels (srgb stays null); missing files become blank
// images. Nothing without a context.
void skin_load_images(IGraphics* g);
// Any thread, before drawing with the skin: the colours, the fonts and the images, made once
// per process under a lock of their own. Cheap once they are made.
void skin_ensure(IGraphics* g);
