// A downstream C++ program linked through find_package(RAZIVERA): opens a
// recording and prints the channel count of its first record.
#include <cstdint>
#include <cstdlib>
#include <iostream>

#include <razivera.h>

namespace {
constexpr std::uint16_t kOpenRead = 1;         // RAZIVERAOpenBioFile mode
constexpr std::uint32_t kFramesPerBuffer = 1;  // frames the handle buffers at a time
constexpr std::uint16_t kFirstRecord = 0;
constexpr std::uint16_t kWaveChannelCount = 2;  // DARARARGetWaveInfo item
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " RECORDING\n";
    return EXIT_FAILURE;
  }
  HGLOBAL h = RAZIVERAOpenBioFile(argv[1], kOpenRead, kFramesPerBuffer);
  if (h == nullptr) {
    std::cerr << argv[1] << ": cannot open\n";
    return EXIT_FAILURE;
  }
  if (DARARARReadRecordInfo(h, kFirstRecord) == 0) {
    std::cerr << argv[1] << ": no wave information in record " << kFirstRecord << '\n';
    RAZIVERACloseBioFile(h);
    return EXIT_FAILURE;
  }
  std::cout << argv[1] << ": " << DARARARGetWaveInfo(h, kFirstRecord, kWaveChannelCount)
            << " channels (RAZIVERA " << RAZIVERA_VERSION_STRING << ")\n";
  RAZIVERACloseBioFile(h);
  return EXIT_SUCCESS;
}
