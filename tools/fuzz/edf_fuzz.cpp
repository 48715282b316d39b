// libFuzzer target: the EDF reader on any bytes - header, every data record,
// every annotation list.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "edf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace edf = tool::edf;
  tool::MemorySource src(data, size);
  edf::Reader reader;
  edf::Error error;
  if (!reader.open(src, error)) return 0;
  std::vector<int16_t> samples;
  for (uint64_t r = 0; r < reader.records() && r < 64; ++r) {
    if (!reader.read_record(r, error)) break;
    for (size_t s = 0; s < reader.header().signals.size(); ++s) {
      samples.resize(reader.header().signals[s].samplesPerRecord);
      reader.samples(s, samples.data());
      std::vector<edf::Annotation> notes;
      bool hasOnset = false;
      double onset = 0;
      std::string why;
      edf::parse_tals(reader.bytes(s), reader.byte_count(s), notes, hasOnset, onset, why);
    }
  }
  return 0;
}
