// User information: an array of 32-bit values under a type code and id that
// the caller chooses, stored with the user data head.
#include "metadata/user_data.h"

using namespace rz;
using namespace rz::user_data;

namespace {
constexpr uint32_t kValueWidth = 4;
}

extern "C" {

// The record argument is not consulted: like every writer this appends to the
// record started last.
RZ_PUBLIC int32_t RZAPI DARARARCreateUserInfo(HGLOBAL h, uint32_t /*record*/, uint16_t typeCode,
                                              uint16_t id, const uint32_t* values,
                                              uint32_t count) {
  BioLock bf(h);
  if (!bf || bf->readOnly == 1) return 0;
  return create_item(*bf, typeCode, id, count, values, kValueWidth);
}

RZ_PUBLIC int32_t RZAPI DARARARReadUserInfo(HGLOBAL h, uint32_t record, uint16_t typeCode,
                                            uint16_t id, uint32_t* values) {
  BioLock bf(h);
  if (!bf) return 0;
  Stored s;
  if (!find(*bf, record, typeCode, id, &s)) return 0;
  // The caller sizes its array by this count: a count the chunk cannot hold
  // is damage, and is refused rather than handed out.
  if (s.count > s.room / kValueWidth) return 0;
  if (values && s.count && !read_elements(*bf, s, values, s.count, kValueWidth)) return 0;
  return int32_t(s.count);
}

}  // extern "C"
