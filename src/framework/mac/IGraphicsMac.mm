#import "framework/mac/IGraphicsCocoa.h"

#include "framework/IControl.h"
#include "framework/IParam.h"
#include "framework/bitmap/RasterBitmap.h"
#include "framework/mac/IGraphicsMac.h"

namespace {

IGraphicsCocoa* CocoaView(void* view) { return static_cast<IGraphicsCocoa*>(view); }

}  // namespace

IGraphics* MakeGraphicsMac(IPluginBase* pPlug, int w, int h, int fps) {
  return new IGraphicsMac(pPlug, w, h, fps);
}

IGraphicsMac::IGraphicsMac(IPluginBase* pPlug, int w, int h, int fps)
    : IGraphicsHeadless(pPlug, w, h, fps) {}

IGraphicsMac::~IGraphicsMac() {
  ForgetMouseCapture();
  CloseWindow();
}

void* IGraphicsMac::OpenWindow(void* pParent) {
  CloseWindow();
  if (!GetDrawBitmap() || GetDrawBitmap()->Empty()) PrepDraw();
  IGraphicsCocoa* view = [[IGraphicsCocoa alloc] initWithGraphics:this];
  if (!view) return nullptr;
  mView = view;
  if (pParent) [static_cast<NSView*>(pParent) addSubview:view];
  return [view autorelease];
}

void IGraphicsMac::CloseWindow() {
  if (!mView) return;
  IGraphicsCocoa* view = CocoaView(mView);
  mView = nullptr;
  PlatformClosed();
  [view detach];
}

void IGraphicsMac::ViewClosed() {
  if (!mView) return;
  mView = nullptr;
  PlatformClosed();
}

bool IGraphicsMac::DrawScreen(IRECT* pR) {
  IGraphicsHeadless::DrawScreen(pR);
  if (mView) [CocoaView(mView) drawBitmap];
  return true;
}

void IGraphicsMac::CreateTextEntry(IControl* pControl, const IText& text, IRECT* pR,
                                   const char* str, IParam* pParam) {
  if (!mView) {  // no window: the context's own field, as headless
    IGraphicsHeadless::CreateTextEntry(pControl, text, pR, str, pParam);
    return;
  }
  [CocoaView(mView) openTextEntry:pControl param:pParam style:&text rect:*pR text:str];
}

void IGraphicsMac::CreateIPopupMenu(IControl* pControl, IParam* pParam, IPopupMenu* pMenu,
                                    IRECT* pR) {
  if (!mView) {
    IGraphicsHeadless::CreateIPopupMenu(pControl, pParam, pMenu, pR);
    return;
  }
  const int chosen = [CocoaView(mView) runMenu:pMenu rect:*pR];
  if (chosen < 0) return;
  pMenu->SetChosenItemIdx(chosen);
  int value = chosen;
  pParam->GetDisplayTextAtIdx(chosen, &value);
  pControl->SetValueFromUserInput(pParam->GetNormalized(value));
}

