// The library's outer frame: the module entry, the supported-type query and
// the error-code query.
#include <cstring>

#include "frame/error_ring.h"
#include "platform/platform.h"
#include "razivera_codes.h"

namespace {
constexpr uint16_t kFileTypeString = RZ_SUPPORT_FILE_TYPE;
// The string-resource loader is always called with room for three characters
// and the NUL: callers pass no buffer size.
constexpr int kResourceLimit = RZ_SUPPORT_NAME_ROOM;
}  // namespace

#ifdef _WIN32
namespace rz {
HINSTANCE g_moduleInstance = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) rz::g_moduleInstance = instance;
  return TRUE;
}
#endif

extern "C" {

RZ_PUBLIC uint16_t RZAPI RAZIVERAGetSupportType(uint16_t type, char* name) {
  if (type != kFileTypeString) return 0;
  if (name) rz::plat::load_string(kFileTypeString, name, kResourceLimit);
  return 1;
}

RZ_PUBLIC uint16_t RZAPI RAZIVERAGetErrorInfo(uint16_t mode, char* text) {
  if (mode == 2) {
    rz::errors::clear();
    return 0;
  }
  if (mode != 1) return 0;
  const uint16_t code = rz::errors::take();
  if (code != 0 && text) {
    // The string table holds no text for any error code, so the caller gets
    // an empty string rather than whatever its buffer held.
    text[0] = '\0';
    rz::plat::load_string(code, text, kResourceLimit);
  }
  return code;
}

}  // extern "C"
