// The library frame: the error ring and the supported-type query.
#include <cstring>

#include "frame/error_ring.h"
#include "support/test_support.h"

namespace errors = rz::errors;

class ErrorRingTest : public ::testing::Test {
 protected:
  void SetUp() override { RAZIVERAGetErrorInfo(RZ_ERROR_CLEAR, nullptr); }
};

TEST_F(ErrorRingTest, NineCodesKeepTheEightNewestNewestFirst) {
  for (uint16_t c = 1; c <= 9; ++c) errors::record(uint16_t(2000 + c));
  EXPECT_EQ(errors::held(), 8);
  for (uint16_t c = 9; c >= 2; --c) EXPECT_EQ(RAZIVERAGetErrorInfo(RZ_ERROR_TAKE, nullptr), 2000 + c);
  EXPECT_EQ(RAZIVERAGetErrorInfo(RZ_ERROR_TAKE, nullptr), 0);
}

TEST_F(ErrorRingTest, TakingACodeFreesItsSlotForTheNext) {
  errors::record(1001);
  errors::record(1002);
  EXPECT_EQ(RAZIVERAGetErrorInfo(RZ_ERROR_TAKE, nullptr), 1002);
  errors::record(1003);
  EXPECT_EQ(RAZIVERAGetErrorInfo(RZ_ERROR_TAKE, nullptr), 1003);
  EXPECT_EQ(RAZIVERAGetErrorInfo(RZ_ERROR_TAKE, nullptr), 1001);
}

TEST_F(ErrorRingTest, CodeZeroIsNotRecordedAndModeTwoEmpties) {
  errors::record(0);
  EXPECT_EQ(errors::held(), 0);
  errors::record(1010);
  EXPECT_EQ(RAZIVERAGetErrorInfo(RZ_ERROR_CLEAR, nullptr), 0);
  EXPECT_EQ(RAZIVERAGetErrorInfo(RZ_ERROR_TAKE, nullptr), 0);
}

TEST_F(ErrorRingTest, OtherModesChangeNothing) {
  errors::record(1011);
  EXPECT_EQ(RAZIVERAGetErrorInfo(0, nullptr), 0);
  EXPECT_EQ(RAZIVERAGetErrorInfo(3, nullptr), 0);
  EXPECT_EQ(errors::held(), 1);
}

TEST_F(ErrorRingTest, TheCodeComesBackWithAnEmptyTextSinceNoneExists) {
  errors::record(1010);
  char text[8] = "xxxxxxx";
  EXPECT_EQ(RAZIVERAGetErrorInfo(RZ_ERROR_TAKE, text), 1010);
  EXPECT_STREQ(text, "");
  std::strcpy(text, "keep");
  EXPECT_EQ(RAZIVERAGetErrorInfo(RZ_ERROR_TAKE, text), 0);
  EXPECT_STREQ(text, "keep") << "an empty ring leaves the text alone";
}

TEST(SupportType, OnlyTypeOneWithThreeCharactersOfItsName) {
  char name[16];
  std::memset(name, 'x', sizeof name);
  EXPECT_EQ(RAZIVERAGetSupportType(RZ_SUPPORT_FILE_TYPE, name), 1);
  EXPECT_STREQ(name, "VOZ");
  EXPECT_EQ(name[4], 'x') << "the library writes 4 bytes, not more";
  EXPECT_EQ(RAZIVERAGetSupportType(RZ_SUPPORT_FILE_TYPE, nullptr), 1);
  std::strcpy(name, "same");
  EXPECT_EQ(RAZIVERAGetSupportType(2, name), 0);
  EXPECT_EQ(RAZIVERAGetSupportType(0, name), 0);
  EXPECT_STREQ(name, "same");
}
