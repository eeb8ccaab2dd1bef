// vsthost check as a user runs it: each check catches the fault it exists
// for at its level, clean modules pass every check, a crash is reported with
// its call, the exit status and subsets; and the time-info check drives a
// module through the time it asks for.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "check/registry.h"
#include "check/time_info_check.h"
#include "common/common.h"
#include "scratch_folder.h"

namespace {

using Result = CommandResult;

class CheckTest : public ScratchFolder {};

// Each check catches the fault it exists for, at the level where it should:
// one deliberately broken module per row, its verdict at the default level and
// with --strict.
TEST_F(CheckTest, EveryCheckCatchesItsFaultAtItsLevel) {
  struct Row {
    const char* module;
    const char* check;
    const char* byDefault;
    const char* strict;
    const char* detail = "";  // what the report must say, where it names a place
    int timeout = 2;          // seconds; an editor's window takes longer
  };
  const Row rows[] = {
      {"bad_magic", "load", "fail", "fail"},
      {"text_overrun", "texts", "warn", "fail"},
      {"text_flood", "texts", "fail", "fail"},
      {"null_pointer", "opcodes", "pass", "fail"},
      {"opcode_crash", "opcodes", "fail", "fail"},
      {"unwritten", "outputs-written", "fail", "fail"},
      {"block_dependent", "block-invariance", "warn", "fail"},
      {"block_rounding", "block-invariance", "pass", "fail"},
      {"nan_output", "rates-blocks", "fail", "fail"},
      {"nan_output", "open-close", "fail", "fail"},
      {"denormal", "silence", "warn", "fail"},
      {"parameter_range", "parameters", "fail", "fail"},
      {"shared_parameter", "two-instances", "fail", "fail"},
      {"shared_parameter", "determinism", "warn", "fail"},
      {"shared_history", "determinism", "warn", "fail"},
      {"state_lost", "state-restore", "fail", "fail"},
      {"program_mismatch", "state-restore", "fail", "fail"},
      {"suspend_crash", "suspend-resume", "fail", "fail"},
      {"allocating", "realtime", "warn", "fail",
       "at allocating.so: processReplacing (broken_module.c:"},
      {"silent_synth", "instrument", "warn", "fail"},
      {"hanging_note", "instrument", "fail", "fail"},
      {"default_id", "identity", "warn", "fail"},
      {"text_overrun", "identity", "warn", "fail"},
      {"hang", "threads", "fail", "fail"},
      {"thread_left_running", "reload", "fail", "fail"},
      {"not_in_place", "in-place", "fail", "fail", "an input read after its output was written"},
      {"slow_scan", "scan-time", "warn", "fail"},
      {"chunk_trusting", "chunk-garbage", "fail", "fail"},
      {"double_mismatch", "double-precision", "fail", "fail"},
      {"parameter_nan", "parameters", "fail", "fail", "right after parameter 0 (Gain) set to 1"},
      {"note_off_first", "notes-in-block", "fail", "fail"},
      {"block_start_events", "delta-frames", "fail", "fail", "deltaFrames ignored"},
      {"key_table_overrun", "keys-bend", "fail", "fail", "crashed"},
      {"key_table_overrun", "midi-fuzz", "fail", "fail", "crashed"},
      {"note_off_half_voices", "polyphony", "fail", "fail"},
      {"all_notes_off_ignored", "channel-mode", "fail", "fail", "after all notes off (CC 123)"},
      {"nan_at_corner", "parameter-corners", "fail", "fail"},
      {"time_unchecked", "time-info", "fail", "fail", "in a host that answers null for the time"},
      {"ticking_synth", "block-invariance", "warn", "fail", "blocks of 1 differ"},
      {"pedal_ignored", "channel-mode", "warn", "fail", "the sustain pedal does not hold a note"},
      {"echo_no_tail", "tail", "warn", "fail", "reports 0 (unknown)"},
      {"echo_tail", "tail", "pass", "pass", "reports 449820 frames"},
      {"long_effect_name", "texts", "warn", "fail"},
      {"opcode_crash", "tail", "fail", "fail", "crashed"},
      {"double_off", "double-precision", "fail", "fail",
       "two single-precision runs differ by -inf"},
      {"double_chaotic", "double-precision", "pass", "pass", "two single-precision runs: -49"},
      // Editors, on a private display where none is set.
      {"editor_no_rect", "editor-rect", "fail", "fail", "no rectangle once the editor is open", 20},
      {"editor_huge_rect", "editor-rect", "fail", "fail",
       "30000 x 30000 pixels before the editor opens, over 8192", 20},
      {"editor_huge_window", "editor-rect", "fail", "fail",
       "asks for a window of 100000 x 100000 pixels (audioMasterSizeWindow)", 20},
      {"editor_second_open", "editor-open-close", "fail", "fail",
       "crashed (Segmentation fault) while opening the editor the 2nd time", 20},
      {"editor_no_display", "editor-no-display", "fail", "fail",
       "crashed (Segmentation fault) while opening the editor with no display", 20},
      {"editor_meter_race", "editor-threads", "fail", "fail", "while another thread processes", 20},
      {"editor_no_gesture", "editor-gestures", "warn", "fail",
       "without begin and end edit (the first: parameter 0 changed in the drag from", 20},
      {"editor_busy_idle", "editor-idle", "warn", "fail", "of a core, over 5 %", 20},
  };
  const std::string fixtures = BROKEN_MODULES;
  for (const Row& row : rows) {
    for (bool strict : {false, true}) {
      const std::string arguments = "check --json --timeout " + std::to_string(row.timeout) +
                                    " --only " + row.check + (strict ? " --strict " : " ") +
                                    fixtures + "/" + row.module + ".so";
      const Result r = run(arguments);
      const std::string expected = strict ? row.strict : row.byDefault;
      EXPECT_NE(r.out.find(std::string("\"result\": \"") + expected + "\""), std::string::npos)
          << arguments << "\n"
          << r.out << r.err;
      EXPECT_EQ(r.status, expected == "fail" ? 1 : 0) << arguments;
      EXPECT_NE(r.out.find(row.detail), std::string::npos) << arguments << "\n" << r.out;
    }
  }
}

// A module without a fault passes every check at both levels (an instrument
// check is skipped for an effect), so no check fails what is right. With no
// display set, check opens the clean editor on a virtual display of its own:
// none of the editor checks is skipped; with no Xvfb either, they are.
TEST_F(CheckTest, CleanModulesPassEveryCheckAtBothLevels) {
  const char* display = std::getenv("DISPLAY");
  const std::string previous = display != nullptr ? display : "";
  unsetenv("DISPLAY");
  for (const char* module :
       {"clean", "clean_synth", "instrument_clean", "echo_tail", "editor_clean"})
    for (const char* level : {"", "--strict "}) {
      const Result r = run(std::string("check ") + level + BROKEN_MODULES + "/" + module + ".so");
      EXPECT_EQ(r.status, 0) << module << " " << level << "\n" << r.out << r.err;
      EXPECT_EQ(r.out.find("FAIL"), std::string::npos) << r.out;
      EXPECT_EQ(r.out.find("WARN"), std::string::npos) << r.out;
      if (std::string(module) == "editor_clean") {
        EXPECT_EQ(r.out.find("SKIP  editor"), std::string::npos) << r.out;
      }
    }
  // Without Xvfb either, the editor checks are skipped naming the package.
  const char* search = std::getenv("PATH");
  const std::string path = search != nullptr ? search : "/usr/bin:/bin";
  setenv("PATH", "/nonexistent", 1);
  const Result r =
      run(std::string("check --only editor-rect ") + BROKEN_MODULES + "/editor_clean.so");
  setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("SKIP  editor-rect "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("install the xvfb package"), std::string::npos) << r.out;
  if (display != nullptr) setenv("DISPLAY", previous.c_str(), 1);
}

// A crash names the call that crashed, and the table goes on after it.
TEST_F(CheckTest, CheckReportsACrashWithItsCallAndGoesOn) {
  const Result r =
      run(std::string("check --strict --timeout 20 ") + BROKEN_MODULES + "/text_overrun.so");
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("PASS  load "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("FAIL  texts             crashed (Segmentation fault) while the name "
                       "of parameter 0 into a 9-byte buffer"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("  identity "), std::string::npos)
      << "the checks after the crash ran: " << r.out;
}

// The exit status a script relies on: 0 with warnings, 1 with a failure, 2 for
// a command line naming no such check.
TEST_F(CheckTest, CheckExitStatusAndSubsets) {
  const std::string fixtures = BROKEN_MODULES;
  EXPECT_EQ(run("check --only default_id,identity " + fixtures + "/default_id.so").status, 2);
  const Result warned = run("check --only identity,load " + fixtures + "/default_id.so");
  EXPECT_EQ(warned.status, 0) << warned.out;
  EXPECT_NE(warned.out.find("1 passed, 1 warned, 0 failed"), std::string::npos) << warned.out;
  const Result skipped =
      run("check --skip realtime --skip instrument,identity " + fixtures + "/allocating.so");
  EXPECT_EQ(skipped.status, 0) << skipped.out;
  EXPECT_EQ(skipped.out.find("realtime"), std::string::npos) << skipped.out;
  // Every other check of the registry ran, and none warned or failed.
  int passed = 0, warnedCount = 0, failed = 0, skips = 0;
  const size_t summary = skipped.out.rfind(" passed, ");
  ASSERT_NE(summary, std::string::npos) << skipped.out;
  const size_t line = skipped.out.rfind('\n', summary) + 1;
  ASSERT_EQ(std::sscanf(skipped.out.c_str() + line, "%d passed, %d warned, %d failed, %d skipped",
                        &passed, &warnedCount, &failed, &skips),
            4);
  EXPECT_EQ(passed + skips, static_cast<int>(vsthost::checkRegistry().size()) - 3) << skipped.out;
  EXPECT_EQ(warnedCount + failed, 0) << skipped.out;
}

// The tremolo syncs to the tempo when its parameters are at 0.5 or 1: the
// check drives it through the time it asks for, at both levels. (A module
// reading a null record fails the check: the verdict table holds that.)
TEST(TimeInfoCheck, DrivesTheTremoloThroughTheTimeItAsksFor) {
  const auto quiet = [](const std::string&) {};
  for (bool strict : {false, true})
    EXPECT_NE(vsthost::checkTimeInfo(TREMOLO_MODULE, quiet, strict).find("asked for the time"),
              std::string::npos);
}

}  // namespace
