// The note of the pages a run's limits left out, kept beside the index: what
// a note of any content reads back as.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/retrieval/run_limits.h"
#include "platform/temp_folder.h"

namespace {

TEST(RunLimitsNote, reads_back_counts_and_nothing_from_a_damaged_note) {
  hv::test::TempFolder folder;
  const std::string note = folder / "Harvion Cache.hvc.limits";
  struct Case {
    const char* text;  // null: a folder of the note's name
    HvRunLimits expected;
  };
  const Case cases[] = {
      {"keys 3\nsize 4\ndepth 5\n", {3, 4, 5}},
      {"depth 7 keys 2", {2, 0, 7}},
      {"keys -1\nsize x\ndepth 99999999999999999999\nkeys\n", {0, 0, 0}},
      {"size 4294967295\nfoo 9\n", {0, 4294967295u, 0}},
      {"keys 1x\nsize 2", {0, 2, 0}},
      {nullptr, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "a folder");
    hv::fs::RemoveTree(note);
    if (c.text)
      hv::test::WriteText(note, c.text);
    else
      ::mkdir(note.c_str(), 0700);
    hv::run::LoadLimits(folder.path());
    const HvRunLimits read = hv::run::Limits();
    EXPECT_EQ(read.keyLimit, c.expected.keyLimit);
    EXPECT_EQ(read.sizeLimit, c.expected.sizeLimit);
    EXPECT_EQ(read.depthLimit, c.expected.depthLimit);
  }
  // A run that leaves nothing out removes the note.
  hv::fs::RemoveTree(note);
  hv::test::WriteText(note, "keys 3\n");
  hv::run::ResetLimits();
  hv::run::SaveLimits(folder.path());
  EXPECT_FALSE(hv::fs::Exists(note));
}

}  // namespace
