// The portable conversions between a host's 32-bit floats and the plug-in's doubles. The
// processing frame runs them on processors without AVX (and its AVX forms elsewhere); they
// are declared here so that a processor with AVX can check them too.
#pragma once

namespace sample_convert {

void FloatsToDoubles(const float* src, double* dst, int n);
void DoublesToFloats(const double* src, float* dst, int n);

}  // namespace sample_convert
