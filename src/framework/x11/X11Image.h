// The picture of an X11 window: an XImage in the window's visual that the draw bitmap is
// converted into and put on the window, in a shared memory segment when the server offers
// MIT-SHM (no copy through the socket), in client memory otherwise.
#pragma once
#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstdint>

#include "framework/IGraphicsTypes.h"

class RasterBitmap;

class X11Image {
 public:
  X11Image() = default;
  X11Image(const X11Image&) = delete;
  X11Image& operator=(const X11Image&) = delete;
  ~X11Image() { Destroy(); }

  // An image of w x h for the visual and depth; tries shared memory first when allowed and
  // falls back to client memory when the server refuses it (a remote display, say). False
  // when no image can be made at all.
  bool Create(Display* d, Visual* visual, int depth, int w, int h, bool tryShm);
  // Gives back the image and its segment; the server is told unless the connection is lost.
  void Destroy(bool serverAlive = true);
  // The image's pixels, for a w x h frame written straight into them, when they are
  // 0x00RRGGBB words in our byte order (null otherwise): rows *stride words apart, the alpha
  // bits *opaque. Waits until the server has read the last put. The next Put shows them.
  uint32_t* Direct(int w, int h, int* stride, uint32_t* opaque);
  // Converts the rectangle r of the bitmap (clipped to both) and puts it at the same place
  // in the drawable. After Direct only the part of r within redo (what was drawn into the
  // bitmap over the frame) is converted.
  void Put(Drawable dst, GC gc, const RasterBitmap& bitmap, IRECT r, const IRECT* redo = nullptr);
  // Puts r again as the image holds it (an expose), once a whole frame was put; before
  // that, as Put.
  void PutAgain(Drawable dst, GC gc, const RasterBitmap& bitmap, IRECT r);
  // The server finished reading a shared-memory put (its completion event arrived).
  void OnEvent(const XEvent& e);
  bool Shm() const { return mShm; }

 private:
  void Convert(const RasterBitmap& bitmap, const IRECT& r);
  bool Clip(const RasterBitmap& bitmap, IRECT* r) const;
  void WaitForServer();
  void Send(Drawable dst, GC gc, const IRECT& r);

  Display* mDisplay = nullptr;
  XImage* mImage = nullptr;
  XShmSegmentInfo mSeg{};
  bool mShm = false;
  bool mPutPending = false;  // the server may still be reading the segment
  unsigned long mPutSerial = 0;  // the request number of the last put
  bool mDirect = false;  // a frame was written through Direct since the last put
  bool mWhole = false;   // the image holds a whole frame that was put
  int mCompletionType = -1;
  int mShiftR = 0, mShiftG = 0, mShiftB = 0;
  bool mFast = false;  // 32-bit pixels, 8-bit channels, our byte order
  bool mXrgb = false;  // and those channels as 0x00RRGGBB
  uint32_t mOpaque = 0;  // the alpha bits of a visual that has them, all set
};
