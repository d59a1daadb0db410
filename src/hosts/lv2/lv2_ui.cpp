// The editor as an LV2 UI (ui:X11UI) in the plug-in's own shared object. The UI reaches its
// instance through the host's instance-access feature: the editor draws from the instance's
// own record, which the audio path fills as it runs. Its window is a child of the host's
// (ui:parent), or, without a parent, a window of its own shown through ui:showInterface; the
// host's idle calls drive it (the editor draws at most one frame per call, so a host idling at
// 30 Hz sees 30 frames a second). Every call here is on the host's UI thread, and the host
// cleans the UI up before the instance it reaches.
#include <lv2/instance-access/instance-access.h>
#include <lv2/ui/ui.h>

#include <cstdio>
#include <cstring>

#include "framework/x11/IGraphicsX11.h"
#include "hosts/lv2/IPluginLV2.h"
#include "hosts/lv2/quillmar_lv2.h"

namespace {

struct quillmar_ui_t {
  IPluginLV2* plug;
  IGraphicsX11* graphics;
  void* parent;         // the host's window, or null
  bool closed = false;  // the window went away without the host hiding it
};

quillmar_ui_t* UI(LV2UI_Handle h) { return static_cast<quillmar_ui_t*>(h); }

bool OurPlugin(const char* uri) {
  for (const quillmar_lv2_kind_t& k : kQuillmarLV2Kinds)
    if (uri && !std::strcmp(uri, k.uri)) return true;
  return false;
}

LV2UI_Handle Instantiate(const LV2UI_Descriptor*, const char* pluginURI, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
  if (widget) *widget = nullptr;
  auto* plug = static_cast<IPluginLV2*>(
      const_cast<void*>(lv2_feature(features, LV2_INSTANCE_ACCESS_URI)));
  if (!OurPlugin(pluginURI) || !write || !widget) return nullptr;
  if (!plug) {
    std::fprintf(stderr, "Quillmar: the editor needs the host's instance-access feature; "
                         "use the host's own controls\n");
    return nullptr;
  }
  auto* graphics = dynamic_cast<IGraphicsX11*>(plug->GetGUI());
  if (!graphics) return nullptr;
  if (!plug->AttachUI(write, controller,
                      static_cast<const LV2UI_Touch*>(lv2_feature(features, LV2_UI__touch)))) {
    std::fprintf(stderr, "Quillmar: this instance's editor is already open\n");
    return nullptr;
  }
  auto* ui = new quillmar_ui_t{plug, graphics, const_cast<void*>(lv2_feature(features, LV2_UI__parent))};
  if (ui->parent) {
    *widget = graphics->OpenWindow(ui->parent);
    if (!*widget) {
      std::fprintf(stderr, "Quillmar: the editor's window could not be opened on the display\n");
      plug->DetachUI();
      delete ui;
      return nullptr;
    }
  }
  // The controls show the parameters as they are now (the host's ports may have moved them
  // while no editor was open).
  for (int i = 0; i < plug->NParams(); ++i)  // mutate: skip constant (parameter 0, band A's switch, has no control)
    graphics->SetParameterFromPlug(i, plug->GetParam(i)->Value(), false);
  // The editor keeps the size it was built with (a new Interface Size applies to instances
  // built later).
  if (const auto* resize = static_cast<const LV2UI_Resize*>(lv2_feature(features, LV2_UI__resize)))
    if (resize->ui_resize) resize->ui_resize(resize->handle, graphics->Width(), graphics->Height());
  return ui;
}

void Cleanup(LV2UI_Handle h) {
  quillmar_ui_t* ui = UI(h);
  ui->graphics->CloseWindow();
  ui->plug->DetachUI();
  delete ui;
}

void PortEvent(LV2UI_Handle h, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
  if (format != 0 || size != sizeof(float) || !buffer) return;
  float v;
  std::memcpy(&v, buffer, sizeof v);  // mutate: skip (without it v is read uninitialised: undefined, and the optimised build keeps the copy)
  UI(h)->plug->ShowPortValue(port, v);
}

// Non-zero once the window is gone (closed by the user, or destroyed with the host's window).
int Idle(LV2UI_Handle h) {
  quillmar_ui_t* ui = UI(h);
  ui->plug->WriteChangedPorts();
  if (ui->graphics->WindowIsOpen() && !ui->graphics->Pump()) ui->closed = true;
  return ui->closed ? 1 : 0;
}

int Show(LV2UI_Handle h) {
  quillmar_ui_t* ui = UI(h);
  ui->closed = false;
  if (ui->graphics->WindowIsOpen()) return 0;
  return ui->graphics->OpenWindow(ui->parent) ? 0 : 1;
}

// Only a window of our own is closed; an embedded one belongs to the host's.
int Hide(LV2UI_Handle h) {
  quillmar_ui_t* ui = UI(h);
  ui->closed = false;
  if (!ui->parent) ui->graphics->CloseWindow();
  return 0;
}

const void* ExtensionData(const char* uri) {
  static const LV2UI_Idle_Interface idle = {Idle};
  static const LV2UI_Show_Interface show = {Show, Hide};
  if (uri && !std::strcmp(uri, LV2_UI__idleInterface)) return &idle;
  if (uri && !std::strcmp(uri, LV2_UI__showInterface)) return &show;
  return nullptr;
}

const LV2UI_Descriptor kDescriptor = {QUILLMAR_LV2_UI_URI, Instantiate, Cleanup, PortEvent,
                                      ExtensionData};

}  // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
