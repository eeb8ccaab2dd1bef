// The host's editor window against a small Xlib editor (editor_probe.c) that
// paints known colours at known places and counts the events it receives.
// On Linux every test runs on a private Xvfb, so a developer's desktop sees no
// window and keeps its pointer; without Xvfb the tests use the display there
// is, and skip without any. Under Wine the runner gives the suite a display.
#include "vst/editor_window.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "plugin_test.h"
#include "private_display.h"

#if !defined(_WIN32)
#include <X11/Xlib.h>
#endif

namespace {

struct ProbeEvents {
  int presses, releases, drags, keys;
  int pressX, pressY, releaseX, releaseY;
  char typed[64];
};

class EditorWindowTest : public PluginTest {
 protected:
  EditorWindowTest() : PluginTest(EDITOR_PROBE_MODULE) {}
  void loaded() override {
    if (!host::displayReachable()) GTEST_SKIP() << "no display and no Xvfb";
    plugin->open();
    events_ = reinterpret_cast<const ProbeEvents* (*)()>(module->symbol("editorProbeEvents"));
    requestSize_ = reinterpret_cast<void (*)(int, int)>(module->symbol("editorProbeRequestSize"));
    ASSERT_TRUE(events_ != nullptr && requestSize_ != nullptr);
    std::string error;
    host::EditorWindow::Options options;
    options.systemInput = systemInput_;
    window_ = host::EditorWindow::open(*plugin, error, options);
    ASSERT_TRUE(window_) << error;
    window_->idleFor(50);
  }
  uint32_t at(const host::Image& image, int x, int y) {
    return image.pixels[static_cast<size_t>(y * image.width + x)] & 0xFFFFFFu;
  }

  bool systemInput_ = true;
  const ProbeEvents* (*events_)() = nullptr;
  void (*requestSize_)(int, int) = nullptr;
  std::unique_ptr<host::EditorWindow> window_;
};

// The probe fills a 200x120 window with 0x202020 and paints red at
// (10,10)-(60,40), green at (100,50)-(150,100) and blue at (160,10)-(190,110).
TEST_F(EditorWindowTest, CaptureShowsTheEditorsColoursWhereItPaintsThem) {
  EXPECT_EQ(window_->width(), 200);
  EXPECT_EQ(window_->height(), 120);
  host::Image image;
  std::string error;
  ASSERT_TRUE(window_->capture(image, error)) << error;
  ASSERT_EQ(image.width, 200);
  ASSERT_EQ(image.height, 120);
  EXPECT_EQ(at(image, 5, 5), 0x202020u);
  EXPECT_EQ(at(image, 10, 10), 0xFF0000u);
  EXPECT_EQ(at(image, 59, 39), 0xFF0000u);
  EXPECT_EQ(at(image, 60, 40), 0x202020u);
  EXPECT_EQ(at(image, 125, 75), 0x00FF00u);
  EXPECT_EQ(at(image, 189, 109), 0x0000FFu);
  EXPECT_EQ(at(image, 199, 119), 0x202020u);
  EXPECT_EQ(image.pixels[0] >> 24, 0xFFu);  // opaque
}

// audioMasterSizeWindow from the editor resizes the window (and the picture);
// an absurd size is clamped with a warning.
TEST_F(EditorWindowTest, SizeWindowResizesTheWindowAndAbsurdSizesAreClamped) {
  requestSize_(300, 200);
  window_->idleFor(50);
  EXPECT_EQ(window_->width(), 300);
  EXPECT_EQ(window_->height(), 200);
  host::Image image;
  std::string error;
  ASSERT_TRUE(window_->capture(image, error)) << error;
  EXPECT_EQ(image.width, 300);
  EXPECT_EQ(image.height, 200);
  EXPECT_EQ(at(image, 290, 190), 0x202020u);  // the editor's own, not the host's black
  EXPECT_TRUE(window_->warnings().empty());

  requestSize_(100000, 0);
  window_->idle();
  EXPECT_EQ(window_->width(), host::kMaxEditorSize);
  EXPECT_EQ(window_->height(), 1);
  ASSERT_EQ(window_->warnings().size(), 2u);
  EXPECT_NE(window_->warnings()[0].find("width of 100000 pixels; clamped to 8192"),
            std::string::npos);
}

// A drag and typed text through the window arrive at the editor's own window
// as a user's would, at the client coordinates given: through the system
// (XTest) and, on X11, as events sent to the window under the point.
class EditorInputTest : public EditorWindowTest, public ::testing::WithParamInterface<bool> {
 protected:
  EditorInputTest() { systemInput_ = GetParam(); }
};

TEST_P(EditorInputTest, DragAndTypingReachTheEditor) {
#if defined(_WIN32)
  if (!systemInput_) GTEST_SKIP() << "Windows has one way: posted messages";
#endif
  window_->drag(20, 20, 120, 80, 4);
  window_->idle();
  const ProbeEvents& seen = *events_();
  EXPECT_EQ(seen.presses, 1);
  EXPECT_EQ(seen.releases, 1);
  EXPECT_GE(seen.drags, 4);
  EXPECT_EQ(seen.pressX, 20);
  EXPECT_EQ(seen.pressY, 20);
  EXPECT_EQ(seen.releaseX, 120);
  EXPECT_EQ(seen.releaseY, 80);
  window_->type("a1B");
  EXPECT_STREQ(seen.typed, "a1B\r");
}

INSTANTIATE_TEST_SUITE_P(Delivery, EditorInputTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "System" : "Sent");
                         });

#if !defined(_WIN32)
// The window manager's close button (WM_DELETE_WINDOW, as any client may send
// it) is seen by the next idle: what ends `vsthost editor`'s window.
TEST_F(EditorWindowTest, TheWindowManagersCloseIsSeen) {
  EXPECT_FALSE(window_->closeRequested());
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  Window root = 0, parent = 0, *children = nullptr, ours = 0;
  unsigned count = 0;
  XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
  for (unsigned i = 0; i < count && ours == 0; ++i) {
    char* name = nullptr;
    if (XFetchName(display, children[i], &name) && name != nullptr) {
      if (std::string(name) == "vsthost") ours = children[i];
      XFree(name);
    }
  }
  if (children != nullptr) XFree(children);
  ASSERT_NE(ours, 0u) << "no top-level window named vsthost";
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = ours;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  XSendEvent(display, ours, False, NoEventMask, &event);
  XSync(display, False);
  XCloseDisplay(display);
  window_->idleFor(50);
  EXPECT_TRUE(window_->closeRequested());
  EXPECT_TRUE(window_->isOpen());  // the host decides when to close
}
#endif

TEST(EditorWindow, AModuleWithoutAnEditorIsRefused) {
  LoadedPlugin loaded;
  ASSERT_TRUE(loaded.load(ORSOLANE_MODULE));
  std::string error;
  EXPECT_FALSE(host::EditorWindow::open(*loaded.plugin, error));
  EXPECT_NE(error.find("no editor"), std::string::npos) << error;
}

// PNG files: every channel of every pixel back exactly, alpha included; a
// folder that cannot be written leaves nothing behind.
TEST(PngFile, RoundTripIsExactAndAFailedWriteLeavesNothing) {
  host::Image image;
  image.width = 37;
  image.height = 5;
  for (uint32_t i = 0; i < 37 * 5; ++i) image.pixels.push_back(i * 2654435761u);
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / ("png-test-" + std::to_string(std::rand()) +
                                                       "-" + std::to_string(image.pixels[7]));
  ASSERT_TRUE(fs::create_directory(folder));
  const std::string path = (folder / "picture.png").string();
  std::string error;
  ASSERT_TRUE(host::writePng(path, image, error)) << error;
  host::Image back;
  ASSERT_TRUE(host::readPng(path, back, error)) << error;
  EXPECT_EQ(back.width, 37);
  EXPECT_EQ(back.height, 5);
  EXPECT_EQ(back.pixels, image.pixels);
  EXPECT_EQ(host::differentPixels(image, back, 0), 0);
  std::remove(path.c_str());

  const std::string missing = (folder / "no" / "such" / "picture.png").string();
  EXPECT_FALSE(host::writePng(missing, image, error));
  EXPECT_EQ(error.rfind(missing, 0), 0u) << error;
  EXPECT_TRUE(fs::is_empty(folder)) << "something was left in " << folder;
  fs::remove(folder);
}

// Two pixels apart by 9 and 8 in one channel: only the first is beyond a
// tolerance of 8; pictures of other sizes differ everywhere.
TEST(PngFile, DifferentPixelsCountsThoseBeyondTheTolerance) {
  host::Image a{3, 1, {0xFF102030u, 0xFF102030u, 0xFF102030u}};
  host::Image b = a;
  b.pixels[0] = 0xFF102039u;
  b.pixels[1] = 0xFF182030u;
  EXPECT_EQ(host::differentPixels(a, b, 8), 1);
  EXPECT_EQ(host::differentPixels(a, b, 9), 0);
  host::Image c{1, 3, a.pixels};
  EXPECT_EQ(host::differentPixels(a, c, 255), 3);
}

}  // namespace
