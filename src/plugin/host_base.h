// The plug-in class derives from the host adapter of its build, chosen at compile time:
// each host target compiles the plug-in sources once with its own QUILLMAR_HOST_* switch.
#pragma once

#if defined(QUILLMAR_HOST_AU)
#include "hosts/au/IPluginAU.h"
typedef IPluginAU IPluginHost;
#elif defined(QUILLMAR_HOST_LV2)
#include "hosts/lv2/IPluginLV2.h"
typedef IPluginLV2 IPluginHost;
#elif defined(QUILLMAR_HOST_CLI)
#include "hosts/cli/IPluginCli.h"
typedef IPluginCli IPluginHost;
#else
#error "the plug-in is built for one host: define QUILLMAR_HOST_AU, _LV2 or _CLI"
#endif
