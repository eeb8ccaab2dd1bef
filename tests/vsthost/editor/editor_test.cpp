// vsthost editor as a user runs it: pictures taken without a display of
// one's own, the user's errors and the editors' faults each named in one
// line, and Debian's plug-ins' editors photographed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <string>

#include "scratch_folder.h"
#include "vst/editor_window.h"

namespace {

class EditorCommand : public ScratchFolder {
 protected:
  // vsthost with no display set, as in a CI job; `path` replaces PATH when
  // given.
  CommandResult runHeadless(const std::string& arguments, const std::string& path = "") {
    const std::string environment =
        "env -u DISPLAY" + (path.empty() ? std::string() : " PATH='" + path + "'");
    const std::string command = environment + " '" + VSTHOST + "' " + arguments + " >'" + dir +
                                "/.stdout' 2>'" + dir + "/.stderr' </dev/null";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
            slurp(dir + "/.stdout"), slurp(dir + "/.stderr")};
  }
  bool haveXvfb() { return std::system("command -v Xvfb >/dev/null 2>&1") == 0; }
  uint32_t at(const host::Image& image, int x, int y) {
    return image.pixels[static_cast<size_t>(y * image.width + x)] & 0xFFFFFFu;
  }
};

// With no display set, vsthost starts a private Xvfb, and the picture shows
// what the probe paints: green at (100,50)-(150,100), 20 pixels further
// right with Shift on.
TEST_F(EditorCommand, ScreenshotWithoutADisplayShowsTheEditor) {
  if (!haveXvfb()) GTEST_SKIP() << "Xvfb is not installed";
  const CommandResult r = runHeadless(std::string("editor ") + EDITOR_PROBE_MODULE +
                                      " --param Shift=1 --screenshot '" + dir + "/probe.png'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "screenshot " + dir + "/probe.png (200x120)\n");
  host::Image image;
  std::string error;
  ASSERT_TRUE(host::readPng(dir + "/probe.png", image, error)) << error;
  EXPECT_EQ(at(image, 110, 75), 0x202020u);
  EXPECT_EQ(at(image, 145, 75), 0x00FF00u);
  EXPECT_EQ(files(), std::vector<std::string>{"probe.png"});
}

// Each refused in one line with nothing written: a folder that is not there
// or is a file, a module without an editor, no display and no Xvfb (exit 2,
// naming the package), a window to try the plug-in in without a display
// (exit 2), a comparison without a picture to compare.
TEST_F(EditorCommand, UserErrorsAreOneLineAndLeaveNothing) {
  const std::string probe = EDITOR_PROBE_MODULE;
  expectRefused("editor " + probe + " --screenshot '" + dir + "/missing/x.png'",
                dir + "/missing/x.png: cannot write the picture there (No such file or directory)");
  std::system(("touch '" + dir + "/file'").c_str());
  expectRefused("editor " + probe + " --screenshot '" + dir + "/file/x.png'",
                "cannot write the picture there (Not a directory)");
  std::remove((dir + "/file").c_str());
  if (haveXvfb())
    expectRefused(std::string("editor ") + ORSOLANE_MODULE + " --screenshot '" + dir + "/o.png'",
                  "has no editor (effFlagsHasEditor is not set)");
  CommandResult r =
      runHeadless("editor " + probe + " --screenshot '" + dir + "/x.png'", "/nonexistent");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err,
            "vsthost: no display (DISPLAY is not set) and no Xvfb to start one: install the xvfb "
            "package\n");
  r = runHeadless("editor " + probe);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("no display to show the editor on (DISPLAY is not set)"), std::string::npos)
      << r.err;
  expectRefused("editor " + probe + " --compare-screenshot x.png",
                "--compare-screenshot wants --screenshot FILE.png too", 2);
  EXPECT_TRUE(files().empty());
}

// An editor that crashes or hangs is named with the call it was in, and no
// picture is left; one asking for 100000 pixels is clamped with a warning.
TEST_F(EditorCommand, FaultyEditorsAreNamedAndClamped) {
  if (!haveXvfb()) GTEST_SKIP() << "Xvfb is not installed";
  const std::string probes = EDITOR_PROBES;
  CommandResult r =
      runHeadless("editor " + probes + "/editor_probe_crash.so --screenshot '" + dir + "/x.png'");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("editor_probe_crash.so: crashed (Segmentation fault) while opening the "
                       "editor (effEditOpen)"),
            std::string::npos)
      << r.err;
  r = runHeadless("editor " + probes + "/editor_probe_hang.so --timeout 2 --screenshot '" + dir +
                  "/x.png'");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("editor_probe_hang.so: no answer within 2 s while idling the editor "
                       "(effEditIdle)"),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(files().empty());
  r = runHeadless("editor " + probes + "/editor_probe_huge.so --screenshot '" + dir + "/x.png'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("asked for a width of 100000 pixels; clamped to 8192"), std::string::npos)
      << r.err;
}

// Editors no one here wrote, from Debian's packages: each opens under the
// private Xvfb and its picture is a drawn editor, not a blank window.
TEST_F(EditorCommand, DebianPluginsEditorsAreCaptured) {
  if (!haveXvfb()) GTEST_SKIP() << "Xvfb is not installed";
  int captured = 0;
  for (const char* module : {"/usr/lib/vst/lsp-plugins/compressor-stereo.so",
                             "/usr/lib/vst/ZamDelay-vst.so", "/usr/lib/vst/amsynth_vst.so"}) {
    if (access(module, R_OK) != 0) continue;
    SCOPED_TRACE(module);
    const CommandResult r =
        runHeadless(std::string("editor ") + module + " --screenshot '" + dir + "/shot.png'");
    ASSERT_EQ(r.status, 0) << r.err;
    host::Image image;
    std::string error;
    ASSERT_TRUE(host::readPng(dir + "/shot.png", image, error)) << error;
    EXPECT_GE(image.width, 200);
    EXPECT_GE(image.height, 100);
    const std::set<uint32_t> colours(image.pixels.begin(), image.pixels.end());
    EXPECT_GT(colours.size(), 64u) << "a blank or nearly blank picture";
    ++captured;
  }
  if (captured == 0) GTEST_SKIP() << "none of LSP's, zam-plugins' or amsynth's VSTs is installed";
}

}  // namespace
