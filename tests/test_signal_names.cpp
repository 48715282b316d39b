// Signal type names, plain and with the alternative terms chosen by flags.
#include <cstring>
#include <string>

#include "support/test_support.h"

namespace {

const char* const kPlain[] = {"OFF",  "EVENT", "MARK1", "MARK2",    "EEG",   "EOG",   "EMG",
                              "ECG",  "Resp",  "Temp",  "Pressure", "SaO2",  "Audio", "Pulse",
                              "GSR",  "POS",   "Analysis", "", "", "", "EXT"};

std::string lookup(uint16_t code, uint16_t* len) {
  char name[16];
  std::memset(name, 'x', sizeof name);
  *len = DARARARGetSignalTypeName(code, name);
  EXPECT_EQ(name[9], 'x') << "no byte beyond the caller's 9 is written";
  return name;
}

std::string lookup_ex(uint32_t flags, uint16_t code, uint16_t* len) {
  char name[16];
  std::memset(name, 'x', sizeof name);
  *len = DARARARGetSignalTypeNameEx(flags, code, name);
  EXPECT_EQ(name[9], 'x');
  return name;
}

}  // namespace

TEST(SignalNames, EveryCodeHasItsNameOrNone) {
  for (uint16_t code = 0; code < 40; ++code) {
    SCOPED_TRACE(code);
    const std::string want = code <= 20 ? kPlain[code] : "";
    uint16_t len = 99, lenEx = 99;
    EXPECT_EQ(lookup(code, &len), want);
    EXPECT_EQ(len, want.size());
    EXPECT_EQ(lookup_ex(0, code, &lenEx), want) << "flags 0: the plain names, code 16 included";
    EXPECT_EQ(lenEx, want.size());
  }
  uint16_t len = 0;
  EXPECT_EQ(lookup(65535, &len), "");
  EXPECT_EQ(len, 0);
}

TEST(SignalNames, FlagBitsChooseTheAlternativeTermsIndependently) {
  const struct {
    uint32_t flags;
    const char* code11;
    const char* code14;
  } cases[] = {{0, "SaO2", "GSR"}, {1, "SpO2", "GSR"}, {2, "SaO2", "EDA"},
               {3, "SpO2", "EDA"}, {0xFFFFFFFCu, "SaO2", "GSR"}, {0xFFFFFFFFu, "SpO2", "EDA"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    uint16_t len = 0;
    EXPECT_EQ(lookup_ex(c.flags, 11, &len), c.code11);
    EXPECT_EQ(len, std::strlen(c.code11));
    EXPECT_EQ(lookup_ex(c.flags, 14, &len), c.code14);
    EXPECT_EQ(len, std::strlen(c.code14));
    EXPECT_EQ(lookup_ex(c.flags, 10, &len), "Pressure") << "other codes ignore the flags";
  }
  uint16_t len = 0;
  EXPECT_EQ(lookup(11, &len), "SaO2") << "the plain lookup has no alternatives";
}

TEST(SignalNames, ANullBufferGivesZero) {
  EXPECT_EQ(DARARARGetSignalTypeName(10, nullptr), 0);
  EXPECT_EQ(DARARARGetSignalTypeNameEx(3, 11, nullptr), 0);
}
