// The plug-in's 29 parameters, in index order.
#pragma once

class IPluginBase;

// Initialises every parameter of a freshly constructed plug-in base.
void init_params(IPluginBase* plug);

// The host name of a parameter ("Band A gain"), or null outside 0..28.
const char* param_name(int index);
// The index of a parameter by its exact name, or -1.
int param_index(const char* name);
