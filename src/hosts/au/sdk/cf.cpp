// The CoreFoundation stand-in: every object carries its type and an atomic retain count; the
// last release destroys it. Constant strings (CFSTR) are interned and never freed.
#include <CoreFoundation/CoreFoundation.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "AUStandIn.h"

namespace {

enum : CFTypeID { kStringID = 7, kNumberID = 22, kDataID = 20, kArrayID = 19, kDictID = 18,
                  kURLID = 29 };

std::atomic<CFIndex> g_alive{0};

[[noreturn]] void misuse(const char* what) {
  std::fprintf(stderr, "CoreFoundation stand-in: %s\n", what);
  std::abort();
}

}  // namespace

struct CFObject {
  explicit CFObject(CFTypeID id, bool constant = false) : type(id), immortal(constant) {
    if (!immortal) g_alive.fetch_add(1);
  }
  virtual ~CFObject() {
    if (!immortal) g_alive.fetch_sub(1);
  }
  CFTypeID type;
  bool immortal;
  std::atomic<CFIndex> count{1};
};

struct __CFString : CFObject {
  __CFString(std::string s, bool constant) : CFObject(kStringID, constant), text(std::move(s)) {}
  std::string text;
};

struct __CFNumber : CFObject {
  __CFNumber() : CFObject(kNumberID) {}
  bool is_float = false;
  int64_t i = 0;
  double f = 0.0;
};

struct __CFData : CFObject {
  __CFData() : CFObject(kDataID) {}
  std::vector<UInt8> bytes;
};

struct __CFURL : CFObject {
  explicit __CFURL(std::string p) : CFObject(kURLID), path(std::move(p)) {}
  std::string path;
};

struct __CFArray : CFObject {
  explicit __CFArray(const CFArrayCallBacks* cb) : CFObject(kArrayID) {
    if (cb) callbacks = *cb;
  }
  ~__CFArray() override {
    for (const void* v : values)
      if (callbacks.release) callbacks.release(kCFAllocatorDefault, v);
  }
  void append(const void* v) {
    values.push_back(callbacks.retain ? callbacks.retain(kCFAllocatorDefault, v) : v);
  }
  CFArrayCallBacks callbacks = {};
  std::vector<const void*> values;
  CFIndex capacity = 0;
};

struct __CFDictionary : CFObject {
  __CFDictionary(const CFDictionaryKeyCallBacks* k, const CFDictionaryValueCallBacks* v)
      : CFObject(kDictID) {
    if (k) keys = *k;
    if (v) vals = *v;
  }
  ~__CFDictionary() override {
    for (auto& e : entries) drop(e);
  }
  void drop(const std::pair<const void*, const void*>& e) {
    if (keys.release) keys.release(kCFAllocatorDefault, e.first);
    if (vals.release) vals.release(kCFAllocatorDefault, e.second);
  }
  // Keys compare with the key callbacks' equality, or by pointer without one.
  long find(const void* key) const {
    for (size_t i = 0; i < entries.size(); ++i)
      if (entries[i].first == key || (keys.equal && keys.equal(entries[i].first, key)))
        return static_cast<long>(i);
    return -1;
  }
  CFDictionaryKeyCallBacks keys = {};
  CFDictionaryValueCallBacks vals = {};
  std::vector<std::pair<const void*, const void*>> entries;
  CFIndex capacity = 0;
};

namespace {

const CFObject* object(CFTypeRef cf, const char* call) {
  if (!cf) misuse((std::string(call) + " of NULL").c_str());
  const CFObject* o = static_cast<const CFObject*>(cf);
  if (o->count.load() <= 0) misuse((std::string(call) + " of a freed object").c_str());
  return o;
}

template <class T>
const T* typed(CFTypeRef cf, CFTypeID id, const char* call) {
  const CFObject* o = object(cf, call);
  if (o->type != id) misuse((std::string(call) + " of an object of another type").c_str());
  return static_cast<const T*>(o);
}

const void* retain_cb(CFAllocatorRef, const void* v) { return CFRetain(v); }
void release_cb(CFAllocatorRef, const void* v) { CFRelease(v); }
Boolean equal_cb(const void* a, const void* b) { return CFEqual(a, b); }

}  // namespace

extern "C" {

const CFArrayCallBacks kCFTypeArrayCallBacks = {0, retain_cb, release_cb, nullptr, equal_cb};
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {0, retain_cb, release_cb,
                                                                nullptr, equal_cb, nullptr};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {0, retain_cb, release_cb,
                                                                    nullptr, equal_cb};

CFTypeRef CFRetain(CFTypeRef cf) {
  const CFObject* o = object(cf, "CFRetain");
  const_cast<CFObject*>(o)->count.fetch_add(1);
  return cf;
}

void CFRelease(CFTypeRef cf) {
  CFObject* o = const_cast<CFObject*>(object(cf, "CFRelease"));
  if (o->immortal) return;
  if (o->count.fetch_sub(1) == 1) delete o;
}

CFIndex CFGetRetainCount(CFTypeRef cf) {
  const CFObject* o = object(cf, "CFGetRetainCount");
  return o->immortal ? 0x7fffffff : o->count.load();
}

CFTypeID CFGetTypeID(CFTypeRef cf) { return object(cf, "CFGetTypeID")->type; }

Boolean CFEqual(CFTypeRef a, CFTypeRef b) {
  if (a == b) return true;
  const CFObject* x = object(a, "CFEqual");
  const CFObject* y = object(b, "CFEqual");
  if (x->type != y->type) return false;
  switch (x->type) {
    case kStringID:
      return static_cast<const __CFString*>(x)->text == static_cast<const __CFString*>(y)->text;
    case kDataID:
      return static_cast<const __CFData*>(x)->bytes == static_cast<const __CFData*>(y)->bytes;
    case kURLID:
      return static_cast<const __CFURL*>(x)->path == static_cast<const __CFURL*>(y)->path;
    case kNumberID: {
      const __CFNumber* m = static_cast<const __CFNumber*>(x);
      const __CFNumber* n = static_cast<const __CFNumber*>(y);
      return (m->is_float ? m->f : m->i) == (n->is_float ? n->f : n->i);
    }
    default: return false;
  }
}

CFTypeID CFStringGetTypeID(void) { return kStringID; }

CFStringRef __CFStringMakeConstantString(const char* cStr) {
  static std::mutex lock;
  static std::map<std::string, __CFString*>* table = new std::map<std::string, __CFString*>();
  std::lock_guard<std::mutex> guard(lock);
  __CFString*& s = (*table)[cStr ? cStr : ""];
  if (!s) s = new __CFString(cStr ? cStr : "", true);
  return s;
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding) {
  return cStr ? new __CFString(cStr, false) : nullptr;
}

CFIndex CFStringGetLength(CFStringRef s) {
  return static_cast<CFIndex>(typed<__CFString>(s, kStringID, "CFStringGetLength")->text.size());
}

Boolean CFStringGetCString(CFStringRef s, char* buffer, CFIndex bufferSize, CFStringEncoding) {
  const std::string& text = typed<__CFString>(s, kStringID, "CFStringGetCString")->text;
  if (!buffer || bufferSize <= static_cast<CFIndex>(text.size())) return false;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

CFTypeID CFNumberGetTypeID(void) { return kNumberID; }

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType type, const void* p) {
  if (!p) return nullptr;
  __CFNumber* n = new __CFNumber();
  switch (type) {
    case kCFNumberSInt8Type: case kCFNumberCharType: n->i = *static_cast<const int8_t*>(p); break;
    case kCFNumberSInt16Type: case kCFNumberShortType:
      n->i = *static_cast<const int16_t*>(p);
      break;
    case kCFNumberSInt32Type: case kCFNumberIntType: n->i = *static_cast<const int32_t*>(p); break;
    case kCFNumberFloat32Type: case kCFNumberFloatType:
      n->is_float = true;
      n->f = *static_cast<const float*>(p);
      break;
    case kCFNumberFloat64Type: case kCFNumberDoubleType:
      n->is_float = true;
      n->f = *static_cast<const double*>(p);
      break;
    default: n->i = *static_cast<const int64_t*>(p); break;
  }
  return n;
}

// Converts to the asked type; false when the value does not survive the conversion exactly.
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* p) {
  const __CFNumber* n = typed<__CFNumber>(number, kNumberID, "CFNumberGetValue");
  if (!p) return false;
  const double f = n->is_float ? n->f : static_cast<double>(n->i);
  // A float outside the 64-bit range (or NaN) has no integer value: 0, and not exact.
  const bool fits = !n->is_float || (f >= -0x1p63 && f < 0x1p63);
  const int64_t i = !n->is_float ? n->i : fits ? static_cast<int64_t>(f) : 0;
  const bool exact = fits && (!n->is_float || static_cast<double>(i) == f);
  switch (type) {
    case kCFNumberSInt32Type: case kCFNumberIntType:
      *static_cast<int32_t*>(p) = static_cast<int32_t>(i);
      return exact && static_cast<int32_t>(i) == i;
    case kCFNumberFloat64Type: case kCFNumberDoubleType:
      *static_cast<double*>(p) = f;
      return true;
    case kCFNumberSInt64Type: case kCFNumberLongType: case kCFNumberLongLongType:
    case kCFNumberCFIndexType:
      *static_cast<int64_t*>(p) = i;
      return exact;
    default: return false;
  }
}

CFTypeID CFDataGetTypeID(void) { return kDataID; }

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8* bytes, CFIndex length) {
  if (length < 0 || (length > 0 && !bytes)) return nullptr;
  __CFData* d = new __CFData();
  d->bytes.assign(bytes, bytes + length);
  return d;
}

CFIndex CFDataGetLength(CFDataRef d) {
  return static_cast<CFIndex>(typed<__CFData>(d, kDataID, "CFDataGetLength")->bytes.size());
}

const UInt8* CFDataGetBytePtr(CFDataRef d) {
  return typed<__CFData>(d, kDataID, "CFDataGetBytePtr")->bytes.data();
}

void CFDataGetBytes(CFDataRef d, CFRange range, UInt8* buffer) {
  const std::vector<UInt8>& b = typed<__CFData>(d, kDataID, "CFDataGetBytes")->bytes;
  if (range.location < 0 || range.length < 0 ||
      range.location + range.length > static_cast<CFIndex>(b.size()))
    misuse("CFDataGetBytes: range outside the data");
  if (range.length) std::memcpy(buffer, b.data() + range.location, range.length);
}

CFTypeID CFArrayGetTypeID(void) { return kArrayID; }

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex n,
                         const CFArrayCallBacks* callBacks) {
  __CFArray* a = new __CFArray(callBacks);
  for (CFIndex i = 0; i < n; ++i) a->append(values[i]);
  return a;
}

// A capacity other than 0 is the most values the array may hold.
CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex capacity, const CFArrayCallBacks* cb) {
  __CFArray* a = new __CFArray(cb);
  a->capacity = capacity;
  return a;
}

void CFArrayAppendValue(CFMutableArrayRef a, const void* value) {
  __CFArray* arr = const_cast<__CFArray*>(typed<__CFArray>(a, kArrayID, "CFArrayAppendValue"));
  if (arr->capacity > 0 && static_cast<CFIndex>(arr->values.size()) >= arr->capacity)
    misuse("CFArrayAppendValue: more values than the array's capacity");
  arr->append(value);
}

CFIndex CFArrayGetCount(CFArrayRef a) {
  return static_cast<CFIndex>(typed<__CFArray>(a, kArrayID, "CFArrayGetCount")->values.size());
}

const void* CFArrayGetValueAtIndex(CFArrayRef a, CFIndex idx) {
  const __CFArray* arr = typed<__CFArray>(a, kArrayID, "CFArrayGetValueAtIndex");
  if (idx < 0 || idx >= static_cast<CFIndex>(arr->values.size()))
    misuse("CFArrayGetValueAtIndex: index outside the array");
  return arr->values[idx];
}

CFTypeID CFDictionaryGetTypeID(void) { return kDictID; }

// A capacity other than 0 is the most values the dictionary may hold.
CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex capacity,
                                                 const CFDictionaryKeyCallBacks* k,
                                                 const CFDictionaryValueCallBacks* v) {
  __CFDictionary* d = new __CFDictionary(k, v);
  d->capacity = capacity;
  return d;
}

void CFDictionarySetValue(CFMutableDictionaryRef d, const void* key, const void* value) {
  typed<__CFDictionary>(d, kDictID, "CFDictionarySetValue");
  if (d->capacity > 0 && d->find(key) < 0 && static_cast<CFIndex>(d->entries.size()) >= d->capacity)
    misuse("CFDictionarySetValue: more values than the dictionary's capacity");
  const void* k = d->keys.retain ? d->keys.retain(kCFAllocatorDefault, key) : key;
  const void* v = d->vals.retain ? d->vals.retain(kCFAllocatorDefault, value) : value;
  const long at = d->find(key);
  if (at >= 0) {
    d->drop(d->entries[at]);
    d->entries[at] = {k, v};
  } else {
    d->entries.emplace_back(k, v);
  }
}

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef d, const void* key, const void** value) {
  const __CFDictionary* dict = typed<__CFDictionary>(d, kDictID, "CFDictionaryGetValue");
  const long at = dict->find(key);
  if (at < 0) return false;
  if (value) *value = dict->entries[at].second;
  return true;
}

const void* CFDictionaryGetValue(CFDictionaryRef d, const void* key) {
  const void* v = nullptr;
  return CFDictionaryGetValueIfPresent(d, key, &v) ? v : nullptr;
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef d, const void* key) {
  typed<__CFDictionary>(d, kDictID, "CFDictionaryRemoveValue");
  const long at = d->find(key);
  if (at < 0) return;
  const auto e = d->entries[at];
  d->entries.erase(d->entries.begin() + at);
  d->drop(e);
}

CFIndex CFDictionaryGetCount(CFDictionaryRef d) {
  const __CFDictionary* dict = typed<__CFDictionary>(d, kDictID, "CFDictionaryGetCount");
  return static_cast<CFIndex>(dict->entries.size());
}

CFTypeID CFURLGetTypeID(void) { return kURLID; }

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef, CFStringRef filePath, CFURLPathStyle,
                                       Boolean isDirectory) {
  std::string path = typed<__CFString>(filePath, kStringID, "CFURLCreateWithFileSystemPath")->text;
  if (isDirectory && (path.empty() || path.back() != '/')) path += '/';
  return new __CFURL(path);
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean, UInt8* buffer, CFIndex max) {
  const std::string& p = typed<__CFURL>(url, kURLID, "CFURLGetFileSystemRepresentation")->path;
  if (!buffer || max <= static_cast<CFIndex>(p.size())) return false;
  std::memcpy(buffer, p.c_str(), p.size() + 1);
  return true;
}

CFIndex AUStandIn_CFObjectsAlive(void) { return g_alive.load(); }

}  // extern "C"
