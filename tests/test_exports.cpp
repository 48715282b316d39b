// The export surface: every name of the export table resolves in the shared
// library, ordinals are unique and ascending, and nothing else of the
// library's own code is exported.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct Export {
  int ordinal;
  const char* name;
  int args;
};

const std::vector<Export>& table() {
  static const std::vector<Export> t = {
#define RZ_EXPORT(ordinal, name, args) {ordinal, #name, args},
#include "frame/export_table.inc"
#undef RZ_EXPORT
  };
  return t;
}

const std::set<std::string> kMemoryCalls = {"GlobalAlloc", "GlobalLock", "GlobalUnlock",
                                            "GlobalFree", "GlobalSize"};

std::string shared_library() {
  const char* p = std::getenv("RZ_SHARED_LIB");
  return p ? p : "libRAZIVERA.so";
}

}  // namespace

TEST(Exports, TableHas87NamesAtUniqueAscendingOrdinals) {
  ASSERT_EQ(table().size(), 87u);
  std::set<std::string> names;
  int last = 0;
  for (const Export& e : table()) {
    EXPECT_GT(e.ordinal, last) << e.name;
    EXPECT_GE(e.ordinal, 1);
    EXPECT_LE(e.ordinal, 199);
    EXPECT_GE(e.args, 1);
    EXPECT_LE(e.args, 8);
    EXPECT_TRUE(names.insert(e.name).second) << e.name;
    last = e.ordinal;
  }
  EXPECT_EQ(table().front().ordinal, 1);
  EXPECT_EQ(table().back().ordinal, 199);
  EXPECT_TRUE(names.count("DARARARCreateNonLineaInfo"));
}

TEST(Exports, EveryNameResolvesInTheSharedLibrary) {
  void* lib = dlopen(shared_library().c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  for (const Export& e : table()) EXPECT_NE(dlsym(lib, e.name), nullptr) << e.name;
  for (const std::string& m : kMemoryCalls) EXPECT_NE(dlsym(lib, m.c_str()), nullptr) << m;
  dlclose(lib);
}

TEST(Exports, NothingElseIsExported) {
  const std::string cmd = "nm -D --defined-only " + shared_library() + " 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::set<std::string> exported;
  char line[512];
  while (std::fgets(line, sizeof line, p)) {
    char type = 0;
    char name[400] = {};
    if (std::sscanf(line, "%*s %c %399s", &type, name) != 2) continue;
    if (type == 'T' || type == 'D' || type == 'B' || type == 'W' || type == 'V' || type == 'R')
      exported.insert(name);
  }
  ASSERT_EQ(pclose(p), 0) << cmd;
  std::set<std::string> expected(kMemoryCalls);
  for (const Export& e : table()) expected.insert(e.name);
  for (const std::string& name : exported) EXPECT_TRUE(expected.count(name)) << "extra export " << name;
  for (const std::string& name : expected) EXPECT_TRUE(exported.count(name)) << "missing " << name;
}
