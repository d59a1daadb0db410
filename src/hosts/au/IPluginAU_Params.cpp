// Parameters as an Audio Unit host sees them: the get and set procedures and the properties
// that describe parameters and convert their values to and from text.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "hosts/au/IPluginAU_State.h"
#include "toolkit/util/c_numbers.h"

namespace {

// The parameter an ID names; null with the status in *r otherwise.
IParam* Param(IPluginAU* plug, AudioUnitParameterID paramID, ComponentResult* r) {
  if (paramID >= static_cast<UInt32>(plug->NParams())) {
    *r = kAudioUnitErr_InvalidElement;
    return nullptr;
  }
  return plug->GetParam(static_cast<int>(paramID));
}

void FillParameterInfo(IPluginAU* plug, IParam* param, AudioUnitParameterInfo* info) {
  std::memset(info, 0, sizeof *info);
  const char* name = param->GetNameForHost();
  std::snprintf(info->name, sizeof info->name, "%s", name);
  info->cfNameString = AUMakeCFString(name);
  info->flags = kAudioUnitParameterFlag_IsReadable | kAudioUnitParameterFlag_HasCFNameString |
                kAudioUnitParameterFlag_CFNameRelease;
  if (param->GetCanAutomate()) info->flags |= kAudioUnitParameterFlag_IsWritable;
  const char* label = param->GetLabelForHost();
  switch (param->Type()) {
    case IParam::kTypeBool: info->unit = kAudioUnitParameterUnit_Boolean; break;
    case IParam::kTypeEnum:
    case IParam::kTypeInt: info->unit = kAudioUnitParameterUnit_Indexed; break;
    default:
      if (label[0]) {
        // The host releases it with the name (the release flag covers both).
        info->unit = kAudioUnitParameterUnit_CustomUnit;
        info->unitName = AUMakeCFString(label);
      } else {
        info->unit = kAudioUnitParameterUnit_Generic;
      }
      break;
  }
  info->minValue = static_cast<AudioUnitParameterValue>(param->GetMin());
  info->maxValue = static_cast<AudioUnitParameterValue>(param->GetMax());
  info->defaultValue = static_cast<AudioUnitParameterValue>(param->GetDefault());
  const char* group = param->GetParamGroupForHost();
  if (group[0]) {
    info->flags |= kAudioUnitParameterFlag_HasClump;
    info->clumpID = static_cast<UInt32>(plug->AddParamGroup(group) + 1);
  }
}

CFArrayRef ValueStrings(IParam* param) {
  CFMutableArrayRef a = CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);
  for (int i = 0; i < param->GetNDisplayTexts(); ++i) {
    CFStringRef s = AUMakeCFString(param->GetDisplayTextAtIdx(i));
    CFArrayAppendValue(a, s);
    CFRelease(s);
  }
  return a;
}

// The value a text names: a display text, else a number in parameter units as the host shows
// it (negated for a parameter that shows negated values), clamped to the range.
bool ValueFromString(IParam* param, CFStringRef text, double* value) {
  char buf[128];
  if (!text || CFGetTypeID(text) != CFStringGetTypeID() ||
      !CFStringGetCString(text, buf, sizeof buf, kCFStringEncodingUTF8))
    return false;
  int mapped = 0;
  if (param->MapDisplayText(buf, &mapped)) {
    *value = mapped;
    return true;
  }
  char* end = nullptr;
  double v = c_strtod(buf, &end);
  while (end && *end == ' ') ++end;
  if (end == buf || !end || *end || !std::isfinite(v)) return false;
  if (param->GetNegateDisplay()) v = -v;
  *value = std::min(std::max(v, param->GetMin()), param->GetMax());
  return true;
}

// A property read with a query record: the host fills its input fields, answer() the output
// fields, and the record goes back only when answer() succeeds.
template <class Q, class F>
ComponentResult Query(UInt32* pDataSize, void* pData, F answer) {
  *pDataSize = sizeof(Q);
  if (!pData) return noErr;
  Q q;
  std::memcpy(&q, pData, sizeof q);
  const ComponentResult r = answer(q);
  if (r == noErr) std::memcpy(pData, &q, sizeof q);
  return r;
}

}  // namespace

OSStatus AUGetParamProc(void* storage, AudioUnitParameterID paramID, AudioUnitScope scope,
                        AudioUnitElement, AudioUnitParameterValue* pValue) {
  IPluginAU* plug = static_cast<IPluginAU*>(storage);
  if (!plug || !pValue) return kAudio_ParamError;
  if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidProperty;
  ComponentResult r = noErr;
  IParam* param = Param(plug, paramID, &r);
  if (!param) return r;
  FW_MutexLock lock(plug->GetMutex());
  *pValue = static_cast<AudioUnitParameterValue>(param->Value());
  return noErr;
}

OSStatus AUSetParamProc(void* storage, AudioUnitParameterID paramID, AudioUnitScope scope,
                        AudioUnitElement, AudioUnitParameterValue value, UInt32) {
  IPluginAU* plug = static_cast<IPluginAU*>(storage);
  if (!plug) return kAudio_ParamError;
  if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidProperty;
  ComponentResult r = noErr;
  IParam* param = Param(plug, paramID, &r);
  if (!param) return r;
  if (!std::isfinite(value)) return noErr;  // not a number: the parameter keeps its value
  FW_MutexLock lock(plug->GetMutex());
  const int idx = static_cast<int>(paramID);
  param->Set(std::min(std::max(double(value), param->GetMin()), param->GetMax()));
  AUShowParam(plug, idx);
  plug->OnParamChange(idx);
  return noErr;
}

ComponentResult AUGetParamProperty(IPluginAU* plug, AudioUnitPropertyID propID,
                                   AudioUnitScope scope, AudioUnitElement element,
                                   UInt32* pDataSize, void* pData) {
  ComponentResult r = noErr;
  switch (propID) {
    case kAudioUnitProperty_ParameterInfo: {
      if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidProperty;
      IParam* param = Param(plug, element, &r);
      if (!param) return r;
      *pDataSize = sizeof(AudioUnitParameterInfo);
      if (pData) {
        AudioUnitParameterInfo info;
        FillParameterInfo(plug, param, &info);
        std::memcpy(pData, &info, sizeof info);
      }
      return noErr;
    }
    case kAudioUnitProperty_ParameterValueStrings: {
      if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidProperty;
      IParam* param = Param(plug, element, &r);
      if (!param) return r;
      if (!param->GetNDisplayTexts()) return kAudioUnitErr_InvalidProperty;
      *pDataSize = sizeof(CFArrayRef);
      if (pData) {
        CFArrayRef a = ValueStrings(param);
        std::memcpy(pData, &a, sizeof a);
      }
      return noErr;
    }
    case kAudioUnitProperty_ParameterStringFromValue:
      return Query<AudioUnitParameterStringFromValue>(pDataSize, pData, [&](auto& q) {
        IParam* param = Param(plug, q.inParamID, &r);
        if (!param) return r;
        const double value = q.inValue ? double(*q.inValue) : param->Value();
        if (!std::isfinite(value)) return ComponentResult(kAudioUnitErr_InvalidPropertyValue);
        char text[128];
        param->GetDisplayForHost(value, false, text, sizeof text);
        q.outString = AUMakeCFString(text);
        return ComponentResult(noErr);
      });
    case kAudioUnitProperty_ParameterIDName:
      return Query<AudioUnitParameterIDName>(pDataSize, pData, [&](auto& q) {
        IParam* param = Param(plug, q.inID, &r);
        if (!param) return r;
        char name[IParam::kTextSize];
        std::snprintf(name, sizeof name, "%s", param->GetNameForHost());
        if (q.inDesiredLength > 0 && q.inDesiredLength < static_cast<SInt32>(sizeof name))
          name[q.inDesiredLength] = '\0';
        q.outName = AUMakeCFString(name);
        return ComponentResult(noErr);
      });
    case kAudioUnitProperty_ParameterClumpName:
      return Query<AudioUnitParameterNameInfo>(pDataSize, pData, [&](auto& q) {
        // Clump numbers start at 1; 0 is the system's own clump.
        if (q.inID < 1 || q.inID > static_cast<UInt32>(plug->NParamGroups()))
          return ComponentResult(kAudioUnitErr_InvalidPropertyValue);
        q.outName = AUMakeCFString(plug->GetParamGroupName(static_cast<int>(q.inID) - 1));
        return ComponentResult(noErr);
      });
    case kAudioUnitProperty_ParameterValueFromString:
      return Query<AudioUnitParameterValueFromString>(pDataSize, pData, [&](auto& q) {
        IParam* param = Param(plug, q.inParamID, &r);
        if (!param) return r;
        double value = 0.0;
        if (!ValueFromString(param, q.inString, &value))
          return ComponentResult(kAudioUnitErr_InvalidPropertyValue);
        q.outValue = static_cast<AudioUnitParameterValue>(value);
        return ComponentResult(noErr);
      });
    default: return kAudioUnitErr_InvalidProperty;
  }
}
