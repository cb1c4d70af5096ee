// Loading The Sleuth Kit at run time: a library that is missing, or one
// without its functions, fails with a reason naming it; the build's own
// soname loads.
#include "platform/offline/disk_image/tsk_library.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace qrv::offline {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;

TEST(TskLibrary, FailsNamingTheLibraryAndTheCause) {
  const struct {
    const char* soname;
    const char* cause;
  } cases[] = {
      {"libqrv-no-such-library.so.1", "cannot open shared object file"},
      // Loads, but holds none of the functions.
      {"libm.so.6", "undefined symbol: tsk_error_reset"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_EQ(TskLibrary::Load(c.soname, &error), nullptr) << c.soname;
    EXPECT_THAT(error, AllOf(HasSubstr(c.soname), HasSubstr(c.cause)));
  }
}

TEST(TskLibrary, TheBuildsSonameLoadsOnce) {
  std::string error;
  const TskLibrary* first = TskLibrary::OfProcess(&error);
  ASSERT_NE(first, nullptr) << error;
  EXPECT_EQ(TskLibrary::OfProcess(&error), first);
  // No image is opened here: the library leaks a little in every failed
  // open (lsan_third_party.supp), which would fail this test under the
  // sanitizers. disk_image_forms_test.sh reads images through the table.
}

}  // namespace
}  // namespace qrv::offline
