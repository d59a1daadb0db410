#include "framework/x11/X11Image.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "framework/bitmap/RasterBitmap.h"
#include "framework/x11/x11_errors.h"

namespace {

bool byte_mask(unsigned long mask, int* shift) {
  if (!mask) return false;
  *shift = __builtin_ctzl(mask);
  return (mask >> *shift) == 0xff;
}

constexpr bool kLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

// Four pixels at a time (SSE2 on x86-64, whatever the machine has elsewhere).
typedef uint32_t v4u __attribute__((vector_size(16)));

// Bytes a, r, g, b read as a little-endian word, to 0x00RRGGBB.
template <class T>
T reverse_rgb(T v) {
  return ((v >> 24) & 0xff) | ((v >> 8) & 0xff00) | ((v << 8) & 0xff0000);
}

}  // namespace

bool X11Image::Create(Display* d, Visual* visual, int depth, int w, int h, bool tryShm) {
  Destroy();
  mDisplay = d;
  if (tryShm && XShmQueryExtension(d)) {
    mImage = XShmCreateImage(d, visual, depth, ZPixmap, nullptr, &mSeg, w, h);
    if (mImage) {
      mSeg.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(mImage->bytes_per_line) * h, IPC_CREAT | 0600);
      mSeg.shmaddr = mSeg.shmid >= 0 ? static_cast<char*>(shmat(mSeg.shmid, nullptr, 0)) : reinterpret_cast<char*>(-1);
      bool attached = false;
      if (mSeg.shmaddr != reinterpret_cast<char*>(-1)) {
        mImage->data = mSeg.shmaddr;
        mSeg.readOnly = False;
        // A server on another machine (or one that forbids it) refuses the attach with an
        // error; that must only send us to the plain path.
        attached = !x11_trap_errors(d, [&] { XShmAttach(d, &mSeg); });
      }
      // Marked for removal now: the segment goes away with the last detach, even if we crash.
      if (mSeg.shmid >= 0) shmctl(mSeg.shmid, IPC_RMID, nullptr);
      if (attached) {
        mShm = true;
        mCompletionType = XShmGetEventBase(d) + ShmCompletion;
      } else {
        if (mSeg.shmaddr != reinterpret_cast<char*>(-1)) shmdt(mSeg.shmaddr);
        mImage->data = nullptr;
        XDestroyImage(mImage);
        mImage = nullptr;
        mSeg = XShmSegmentInfo{};
      }
    }
  }
  if (!mImage) {
    const int pad = depth > 16 ? 32 : depth > 8 ? 16 : 8;
    mImage = XCreateImage(d, visual, depth, ZPixmap, 0, nullptr, w, h, pad, 0);
    if (!mImage) return false;
    mImage->data = static_cast<char*>(std::calloc(static_cast<size_t>(mImage->bytes_per_line), h));
    if (!mImage->data) {
      XDestroyImage(mImage);
      mImage = nullptr;
      return false;
    }
    // Pixels are written in our byte order; Xlib swaps them for a server that differs.
    mImage->byte_order = kLittleEndian ? LSBFirst : MSBFirst;
  }
  // A visual with more depth than colour bits keeps alpha there (a host window with an
  // alpha channel): the frame is opaque.
  const unsigned long colour = mImage->red_mask | mImage->green_mask | mImage->blue_mask;
  mOpaque = depth > 24 && depth <= 32 ? static_cast<uint32_t>(~colour & ((1ull << depth) - 1)) : 0;
  mFast = mImage->bits_per_pixel == 32 && mImage->byte_order == (kLittleEndian ? LSBFirst : MSBFirst) &&
          byte_mask(mImage->red_mask, &mShiftR) && byte_mask(mImage->green_mask, &mShiftG) &&
          byte_mask(mImage->blue_mask, &mShiftB);
  mXrgb = kLittleEndian && mFast && mShiftR == 16 && mShiftG == 8 && mShiftB == 0;
  return true;
}

void X11Image::Destroy(bool serverAlive) {
  if (!mImage) return;
  if (mShm) {
    if (serverAlive) {
      XShmDetach(mDisplay, &mSeg);
      XSync(mDisplay, False);  // the server lets go before we do
    }
    shmdt(mSeg.shmaddr);
    mImage->data = nullptr;
  }
  XDestroyImage(mImage);  // frees the client-memory pixels
  mImage = nullptr;
  mSeg = XShmSegmentInfo{};
  mShm = mPutPending = mDirect = mWhole = false;
  mCompletionType = -1;
}

void X11Image::Convert(const RasterBitmap& bitmap, const IRECT& r) {
  const srgb_t* src = bitmap.Pixels();
  const int W = bitmap.Width();
  for (int y = r.T; y < r.B; ++y) {
    const srgb_t* s = src + static_cast<size_t>(y) * W;
    uint32_t* d = reinterpret_cast<uint32_t*>(mImage->data + static_cast<size_t>(y) * mImage->bytes_per_line);
    if (mXrgb) {  // the usual visual: the bitmap's byte order reversed
      const uint32_t opaque = mOpaque;
      int x = r.L;
      auto one = [&](int i) {
        uint32_t v;
        std::memcpy(&v, &s[i], 4);
        d[i] = reverse_rgb(v) | opaque;
      };
      auto four = [&](int i) {
        v4u v;
        std::memcpy(&v, &s[i], sizeof v);
        return v4u(reverse_rgb(v) | opaque);
      };
#ifdef __SSE2__
      // A shared image is read by the X server, not by us: stores that bypass the cache spare
      // fetching its lines first.
      for (; mShm && x < r.R && reinterpret_cast<uintptr_t>(&d[x]) % 16; ++x) one(x);
      for (; mShm && x + 4 <= r.R; x += 4)
        _mm_stream_si128(reinterpret_cast<__m128i*>(&d[x]), reinterpret_cast<__m128i>(four(x)));
#endif
      for (; x + 4 <= r.R; x += 4) {
        const v4u v = four(x);
        std::memcpy(&d[x], &v, sizeof v);
      }
      for (; x < r.R; ++x) one(x);
    } else if (mFast) {
      for (int x = r.L; x < r.R; ++x)
        d[x] = uint32_t(s[x].r) << mShiftR | uint32_t(s[x].g) << mShiftG | uint32_t(s[x].b) << mShiftB | mOpaque;
    } else {
      // Any other true-colour visual: each channel scaled into its mask.
      auto scale = [](unsigned v, unsigned long mask) {
        if (!mask) return 0ul;
        const int shift = __builtin_ctzl(mask);
        const unsigned long max = mask >> shift;
        return ((v * max + 127) / 255) << shift;
      };
      for (int x = r.L; x < r.R; ++x)
        XPutPixel(mImage, x, y,
                  scale(s[x].r, mImage->red_mask) | scale(s[x].g, mImage->green_mask) |
                      scale(s[x].b, mImage->blue_mask) | mOpaque);
    }
  }
#ifdef __SSE2__
  _mm_sfence();  // the streamed stores are complete before the server is told to read
#endif
}

bool X11Image::Clip(const RasterBitmap& bitmap, IRECT* r) const {
  if (!mImage || bitmap.Empty()) return false;
  r->L = std::max(r->L, 0);
  r->T = std::max(r->T, 0);
  r->R = std::min({r->R, bitmap.Width(), mImage->width});
  r->B = std::min({r->B, bitmap.Height(), mImage->height});
  return r->R > r->L && r->B > r->T;
}

void X11Image::WaitForServer() {
  if (mShm && mPutPending) {
    // The server may still read the segment of the last put: wait until it has.
    XSync(mDisplay, False);
    mPutPending = false;
  }
}

uint32_t* X11Image::Direct(int w, int h, int* stride, uint32_t* opaque) {
  if (!mImage || !mXrgb || mImage->width != w || mImage->height != h || mImage->bytes_per_line % 4) return nullptr;
  WaitForServer();
  mDirect = true;
  *stride = mImage->bytes_per_line / 4;
  *opaque = mOpaque;
  return reinterpret_cast<uint32_t*>(mImage->data);
}

void X11Image::Send(Drawable dst, GC gc, const IRECT& r) {
  if (mShm) {
    mPutSerial = NextRequest(mDisplay);
    XShmPutImage(mDisplay, dst, gc, mImage, r.L, r.T, r.L, r.T, r.W(), r.H(), True);
    mPutPending = true;
  } else {
    XPutImage(mDisplay, dst, gc, mImage, r.L, r.T, r.L, r.T, r.W(), r.H());
  }
}

void X11Image::Put(Drawable dst, GC gc, const RasterBitmap& bitmap, IRECT r, const IRECT* redo) {
  const bool direct = mDirect;
  mDirect = false;
  if (!Clip(bitmap, &r)) return;
  WaitForServer();
  if (!direct) {
    Convert(bitmap, r);
  } else if (redo) {
    IRECT over(std::max(r.L, redo->L), std::max(r.T, redo->T), std::min(r.R, redo->R), std::min(r.B, redo->B));
    if (over.L < over.R && over.T < over.B) Convert(bitmap, over);
  }
  mWhole = mWhole || direct || (r.L == 0 && r.T == 0 && r.R == mImage->width && r.B == mImage->height);
  Send(dst, gc, r);
}

void X11Image::PutAgain(Drawable dst, GC gc, const RasterBitmap& bitmap, IRECT r) {
  if (!mWhole) return Put(dst, gc, bitmap, r);
  if (Clip(bitmap, &r)) Send(dst, gc, r);
}

void X11Image::OnEvent(const XEvent& e) {
  // Only the last put's completion frees the segment; earlier ones may still arrive.
  if (mShm && e.type == mCompletionType && reinterpret_cast<const XShmCompletionEvent&>(e).serial >= mPutSerial)
    mPutPending = false;
}
