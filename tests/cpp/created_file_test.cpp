// Which destinations an interrupted write may take away again: only a regular
// file the sink itself created, and only while it is still that file (FIFOs,
// devices and links are tried through convert in test_hostile_surroundings).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "core_temp_tree.hpp"
#include "output/sink.hpp"

namespace vt {
namespace {

namespace fs = std::filesystem;

struct CreatedCase {
  const char* name;
  // Puts something at `path` before the sink opens it (or leaves it empty).
  std::function<void(const vt_test::TempTree&, const fs::path&)> before;
  // Changes `path` after the sink opened it, before the removal.
  std::function<void(const vt_test::TempTree&, const fs::path&)> meanwhile;
  bool created;  // the sink says it made the file
  bool removed;  // the removal takes the path away
};

void nothing(const vt_test::TempTree&, const fs::path&) {}

TEST(CreatedFile, OnlyAFileTheSinkMadeIsRemoved) {
  const CreatedCase cases[] = {
      {"new file", nothing, nothing, true, true},
      {"file there before", [](auto&, auto& p) { std::ofstream(p) << "old"; }, nothing, false, false},
      {"link to a file", [](auto& t, auto& p) { fs::create_symlink(t.file("target", "t"), p); }, nothing,
       false, false},
      {"dangling link", [](auto& t, auto& p) { fs::create_symlink(t / "nowhere", p); }, nothing, false,
       false},
      {"replaced by another file", nothing,
       [](auto&, auto& p) {
         fs::remove(p);
         std::ofstream(p) << "other";
       },
       true, false},
      {"replaced by a link", nothing,
       [](auto& t, auto& p) {
         fs::remove(p);
         fs::create_symlink(t.file("target", "t"), p);
       },
       true, false},
  };
  for (const CreatedCase& c : cases) {
    vt_test::TempTree tree;
    const fs::path path = tree / "out";
    c.before(tree, path);
    auto sink = FileSink::create(path);
    ASSERT_TRUE(sink.has_value()) << c.name;
    EXPECT_EQ((*sink)->created(), c.created) << c.name;
    c.meanwhile(tree, path);
    (*sink)->remove_if_created();
    std::error_code error;
    EXPECT_EQ(!fs::exists(fs::symlink_status(path, error)), c.removed) << c.name;
  }
}

}  // namespace
}  // namespace vt
