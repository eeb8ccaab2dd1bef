// The framework's editors driven as a host and a user drive them: the Gain
// and Tremolo examples loaded through their entries, their editors opened
// into a window of the host library's own on a private Xvfb, and mouse and
// keyboard input sent through the X server (under Wine, posted to the
// editor's window on a private Xvfb). What the host must see: every
// edit bracketed by begin and end edit, values that move the right way and by
// the right amount, and the host's own changes drawn within one idle.
//
// With EDITOR_SCREENSHOTS set to a folder, the pictures are written there
// (gain.png, tremolo.png) for a person to look at.
#include "vst/editor_window.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "plugin_test.h"
#include "private_display.h"

#ifndef _WIN32
// Xlib last: its macros (None, Bool) would clash with GoogleTest's names.
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xatom.h>
// clang-format on
#endif

namespace {

// Gain's generic editor, 260 by 192: one cell centred under the title bar,
// the knob's centre and the value text's centre.
constexpr int kGainKnobX = 130, kGainKnobY = 118;
constexpr int kGainValueX = 130, kGainValueY = 166;
constexpr float kZeroDb = 48.0f / 60.0f;  // 0 dB of -48 to +12 dB, normalised

// Tremolo's editor: the wave's panel and the Sync choice.
constexpr int kWaveX = 16, kWaveY = 52, kWaveWidth = 408, kWaveHeight = 108;
constexpr int kSyncX = 352, kSyncY = 221;

// The edits the editor reported: begin, automate (with its value), end.
struct Edit {
  char kind;  // 'b', 'a' or 'e'
  VstInt32 index;
  float value;
};

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!host::displayReachable()) GTEST_SKIP() << "no display and no Xvfb";
  }

  // Loads `module`, opens the instance and its editor; the window is idled a little.
  std::unique_ptr<host::EditorWindow> openEditor(LoadedPlugin& loaded, const char* module) {
    if (!loaded.load(module)) return nullptr;
    loaded.plugin->open();
    std::string error;
    auto window = host::EditorWindow::open(*loaded.plugin, error);
    EXPECT_TRUE(window) << error;
    if (window) window->idleFor(30);
    return window;
  }

  static std::vector<Edit> edits(host::Plugin& plugin) {
    std::vector<Edit> found;
    for (const host::HostCall& call : plugin.host().calls()) {
      if (call.opcode == audioMasterBeginEdit) found.push_back({'b', call.index, 0.0f});
      if (call.opcode == audioMasterAutomate) found.push_back({'a', call.index, call.opt});
      if (call.opcode == audioMasterEndEdit) found.push_back({'e', call.index, 0.0f});
    }
    return found;
  }

  // The calls must be begin, one or more values, end, for parameter `index`.
  static void expectOneGesture(const std::vector<Edit>& found, VstInt32 index) {
    ASSERT_GE(found.size(), 3u);
    EXPECT_EQ(found.front().kind, 'b');
    EXPECT_EQ(found.back().kind, 'e');
    for (std::size_t i = 1; i + 1 < found.size(); ++i) EXPECT_EQ(found[i].kind, 'a') << i;
    for (const Edit& edit : found) EXPECT_EQ(edit.index, index);
  }

  static host::Image capture(host::EditorWindow& window) {
    host::Image image;
    std::string error;
    EXPECT_TRUE(window.capture(image, error)) << error;
    return image;
  }

  // The pixels of `image` inside a rectangle, row by row.
  static std::vector<uint32_t> area(const host::Image& image, int x, int y, int width, int height) {
    std::vector<uint32_t> pixels;
    for (int row = y; row < y + height && row < image.height; ++row)
      for (int column = x; column < x + width && column < image.width; ++column)
        pixels.push_back(image.pixels[static_cast<std::size_t>(row * image.width + column)]);
    return pixels;
  }

  static void keep(const host::Image& image, const char* name) {
    const char* folder = std::getenv("EDITOR_SCREENSHOTS");
    if (folder == nullptr) return;
    std::string error;
    EXPECT_TRUE(host::writePng(std::string(folder) + "/" + name, image, error)) << error;
  }
};

// A drag up is one gesture whose values rise with every step, and one with
// Shift held moves a tenth as far; both leave the effect at the last value
// sent.
TEST_F(EditorTest, ADragIsOneGestureRisingStepByStepAndShiftMakesItTenTimesFiner) {
  LoadedPlugin gain;
  auto window = openEditor(gain, GAIN_MODULE);
  ASSERT_TRUE(window);
  EXPECT_EQ(window->width(), 260);
  EXPECT_EQ(window->height(), 192);
  gain.plugin->setParameter(0, 0.5f);
  gain.plugin->host().clearCalls();

  window->drag(kGainKnobX, kGainKnobY, kGainKnobX, kGainKnobY - 50, 10);
  std::vector<Edit> found = edits(*gain.plugin);
  expectOneGesture(found, 0);
  for (std::size_t i = 2; i + 1 < found.size(); ++i)
    EXPECT_GT(found[i].value, found[i - 1].value) << "step " << i;
  const float coarse = gain.plugin->getParameter(0) - 0.5f;
  EXPECT_NEAR(coarse, 50.0f / 200.0f, 0.011f) << "200 pixels for the whole range";
  EXPECT_EQ(found[found.size() - 2].value, gain.plugin->getParameter(0));

  gain.plugin->setParameter(0, 0.5f);
  gain.plugin->host().clearCalls();
  window->drag(kGainKnobX, kGainKnobY, kGainKnobX, kGainKnobY - 50, 10, host::EditorWindow::kShift);
  expectOneGesture(edits(*gain.plugin), 0);
  EXPECT_NEAR(gain.plugin->getParameter(0) - 0.5f, coarse / 10.0f, 0.0015f);
}

// A double click puts the default back (0 dB) in one gesture; a wheel notch
// moves a hundredth of the range, also one gesture.
TEST_F(EditorTest, DoubleClickRestoresTheDefaultAndAWheelNotchStepsAHundredth) {
  LoadedPlugin gain;
  auto window = openEditor(gain, GAIN_MODULE);
  ASSERT_TRUE(window);
  gain.plugin->setParameter(0, 0.2f);
  window->idle();
  gain.plugin->host().clearCalls();
  window->doubleClick(kGainKnobX, kGainKnobY);
  EXPECT_FLOAT_EQ(gain.plugin->getParameter(0), kZeroDb);
  std::vector<Edit> found = edits(*gain.plugin);
  expectOneGesture(found, 0);
  EXPECT_EQ(found.size(), 3u);

  gain.plugin->host().clearCalls();
  window->wheel(kGainKnobX, kGainKnobY, 1);
  EXPECT_NEAR(gain.plugin->getParameter(0), kZeroDb + 0.01f, 1e-6f);
  found = edits(*gain.plugin);
  expectOneGesture(found, 0);
  EXPECT_EQ(found.size(), 3u);
}

// Typed into the value: "-6 dB" sets -6 dB; "abc" is refused by the
// parameter's parser and changes nothing, not even a gesture; Escape leaves
// the value as it was.
TEST_F(EditorTest, TypedValuesGoThroughTheParsersAndRejectedTextChangesNothing) {
  LoadedPlugin gain;
  auto window = openEditor(gain, GAIN_MODULE);
  ASSERT_TRUE(window);
  gain.plugin->host().clearCalls();
  window->mouseDown(kGainValueX, kGainValueY);
  window->mouseUp(kGainValueX, kGainValueY);
  window->type("-6 dB");
  EXPECT_EQ(gain.plugin->parameterDisplay(0), "-6.00");
  expectOneGesture(edits(*gain.plugin), 0);

  // Each click on the value comes after one on the title bar, so that no two
  // make a double click (which would reset the value).
  const auto clickValue = [&] {
    window->mouseDown(20, 20);
    window->mouseUp(20, 20);
    window->mouseDown(kGainValueX, kGainValueY);
    window->mouseUp(kGainValueX, kGainValueY);
  };
  const float before = gain.plugin->getParameter(0);
  gain.plugin->host().clearCalls();
  for (const char* refused : {"abc", "-6 Hz", ""}) {
    clickValue();
    window->type(refused);
    EXPECT_EQ(gain.plugin->getParameter(0), before) << refused;
  }
  clickValue();
  window->type("3", false);
  window->type("\x1b", false);  // Escape
  window->idle();
  EXPECT_EQ(gain.plugin->getParameter(0), before);
  EXPECT_TRUE(edits(*gain.plugin).empty());
}

// The host's own change (automation) is drawn at the next idle: the picture
// is then the one a freshly opened editor at that value shows.
TEST_F(EditorTest, AValueTheHostSetsIsDrawnAtTheNextIdle) {
  LoadedPlugin changed, fresh;
  auto window = openEditor(changed, GAIN_MODULE);
  ASSERT_TRUE(window);
  const host::Image before = capture(*window);
  keep(before, "gain.png");
  changed.plugin->setParameter(0, 0.25f);
  window->idle();
  const host::Image after = capture(*window);
  EXPECT_NE(area(after, 84, 155, 92, 22), area(before, 84, 155, 92, 22)) << "the value text";

  ASSERT_TRUE(fresh.load(GAIN_MODULE));
  fresh.plugin->open();
  fresh.plugin->setParameter(0, 0.25f);
  std::string error;
  auto freshWindow = host::EditorWindow::open(*fresh.plugin, error);
  ASSERT_TRUE(freshWindow) << error;
  freshWindow->idleFor(30);
  EXPECT_EQ(host::differentPixels(after, capture(*freshWindow), 0), 0);
}

// A choice steps one item a wheel notch; Tremolo's wave is redrawn when the
// host changes the depth and when processing moves the oscillator on.
TEST_F(EditorTest, TremolosChoiceStepsByTheWheelAndItsWaveFollowsDepthAndPhase) {
  LoadedPlugin tremolo;
  auto window = openEditor(tremolo, TREMOLO_MODULE);
  ASSERT_TRUE(window);
  EXPECT_EQ(tremolo.plugin->parameterDisplay(2), "Off");
  window->wheel(kSyncX, kSyncY, 1);
  EXPECT_EQ(tremolo.plugin->parameterDisplay(2), "1/1");
  window->wheel(kSyncX, kSyncY, -1);
  EXPECT_EQ(tremolo.plugin->parameterDisplay(2), "Off");

  const host::Image start = capture(*window);
  keep(start, "tremolo.png");
  const auto wave = [](const host::Image& image) {
    return area(image, kWaveX, kWaveY, kWaveWidth, kWaveHeight);
  };
  tremolo.plugin->setParameter(1, 1.0f);
  window->idle();
  const host::Image deeper = capture(*window);
  EXPECT_NE(wave(deeper), wave(start)) << "the depth changed the curve";

  tremolo.plugin->setSampleRate(44100.0f);
  tremolo.plugin->setBlockSize(4410);
  tremolo.plugin->resume();
  std::vector<float> in(4410, 1.0f), left(4410), right(4410);
  float* inputs[2] = {in.data(), in.data()};
  float* outputs[2] = {left.data(), right.data()};
  tremolo.plugin->processReplacing(inputs, outputs, 1000);  // 5 Hz: a ninth of a cycle
  window->idle();
  EXPECT_NE(wave(capture(*window)), wave(deeper)) << "the marker moved with the phase";
  tremolo.plugin->suspend();
}

// Processing on its own thread while the editor draws what it publishes and
// the user drags: nothing shared is read or written but whole (clean under
// ThreadSanitizer), and the output stays finite and within the dry level.
TEST_F(EditorTest, TremoloProcessesOnItsOwnThreadWhileItsEditorDrawsAndIsDragged) {
  LoadedPlugin tremolo;
  auto window = openEditor(tremolo, TREMOLO_MODULE);
  ASSERT_TRUE(window);
  tremolo.plugin->setSampleRate(44100.0f);
  tremolo.plugin->setBlockSize(256);
  tremolo.plugin->resume();
  std::atomic<bool> stop{false}, bad{false};
  std::thread audio([&] {
    std::vector<float> in(256, 1.0f), left(256), right(256);
    float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {left.data(), right.data()};
    while (!stop) {
      tremolo.plugin->processReplacing(inputs, outputs, 256);
      for (const float sample : left)
        if (!std::isfinite(sample) || sample < 0.0f || sample > 1.0f) bad = true;
    }
  });
  for (int i = 0; i < 4; ++i) {
    window->drag(220, 222, 220, 180 + 10 * i, 6);  // Depth
    window->idleFor(20, 5);
  }
  stop = true;
  audio.join();
  tremolo.plugin->suspend();
  EXPECT_FALSE(bad);
}

// A window closed in the middle of a drag still ends the gesture: a host
// whose automation write waits for the end would otherwise never stop.
TEST_F(EditorTest, ClosingInTheMiddleOfADragEndsTheGesture) {
  LoadedPlugin gain;
  auto window = openEditor(gain, GAIN_MODULE);
  ASSERT_TRUE(window);
  gain.plugin->host().clearCalls();
  window->mouseDown(kGainKnobX, kGainKnobY);
  window->mouseMove(kGainKnobX, kGainKnobY - 20);
  window->close();
  const std::vector<Edit> found = edits(*gain.plugin);
  window->mouseUp(kGainKnobX, kGainKnobY - 20);  // the server's button up for the next test
  expectOneGesture(found, 0);
}

// Two instances' editors open at once, closed in either order, reopened;
// each keeps drawing its own value.
TEST_F(EditorTest, TwoInstancesEditorsOpenTogetherAndCloseInAnyOrder) {
  for (const bool firstClosesFirst : {true, false}) {
    LoadedPlugin one, two;
    auto first = openEditor(one, GAIN_MODULE);
    auto second = openEditor(two, GAIN_MODULE);
    ASSERT_TRUE(first && second);
    two.plugin->setParameter(0, 0.1f);
    if (firstClosesFirst)
      first.reset();
    else
      second.reset();
    auto& open = firstClosesFirst ? second : first;
    auto& openPlugin = firstClosesFirst ? two : one;
    const host::Image before = capture(*open);
    openPlugin.plugin->setParameter(0, 0.6f);
    open->idle();
    EXPECT_GT(host::differentPixels(before, capture(*open), 0), 0) << "the one left open draws";
    open.reset();
    std::string error;
    auto again = host::EditorWindow::open(*one.plugin, error);
    EXPECT_TRUE(again) << "reopened after both closed: " << error;
  }
}

#ifndef _WIN32
// X11 only: the screen's scale, a parent destroyed first, no display.

// The server's Xft.dpi for as long as it lives (what a desktop sets on a
// high-DPI screen); removed again after.
class ScreenDpi {
 public:
  explicit ScreenDpi(const char* dpi) : display_(XOpenDisplay(nullptr)) {
    if (display_ == nullptr) return;
    const std::string resources = std::string("Xft.dpi:\t") + dpi + "\n";
    XChangeProperty(display_, DefaultRootWindow(display_), XA_RESOURCE_MANAGER, XA_STRING, 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(resources.c_str()),
                    static_cast<int>(resources.size()));
    XSync(display_, False);
  }
  ~ScreenDpi() {
    if (display_ == nullptr) return;
    XDeleteProperty(display_, DefaultRootWindow(display_), XA_RESOURCE_MANAGER);
    XCloseDisplay(display_);
  }

 private:
  Display* display_;
};

// At 192 dpi the editor asks for twice its size, draws the same picture at
// twice the pixels (each 2x2 block averages to the picture at 96 dpi, bar
// the text's finer hinting), and takes clicks at twice the coordinates.
TEST_F(EditorTest, AtTwiceTheScreensDpiTheEditorIsTwiceAsLargeAndTheSamePicture) {
  LoadedPlugin normal, sharp;
  auto normalWindow = openEditor(normal, GAIN_MODULE);
  ASSERT_TRUE(normalWindow);
  const host::Image small = capture(*normalWindow);
  ScreenDpi dpi("192");
  ASSERT_TRUE(sharp.load(GAIN_MODULE));
  sharp.plugin->open();
  ERect* rect = nullptr;
  ASSERT_EQ(sharp.plugin->dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->right - rect->left, 520);
  EXPECT_EQ(rect->bottom - rect->top, 384);
  std::string error;
  auto window = host::EditorWindow::open(*sharp.plugin, error);
  ASSERT_TRUE(window) << error;
  window->idleFor(30);
  const host::Image large = capture(*window);
  keep(large, "gain-2x.png");
  ASSERT_EQ(large.width, 520);
  ASSERT_EQ(large.height, 384);
  long far = 0;
  for (int y = 0; y < small.height; ++y)
    for (int x = 0; x < small.width; ++x)
      for (int shift : {0, 8, 16}) {
        int sum = 0;
        for (int dy = 0; dy < 2; ++dy)
          for (int dx = 0; dx < 2; ++dx)
            sum +=
                int(large.pixels[std::size_t((2 * y + dy) * large.width + 2 * x + dx)] >> shift) &
                0xff;
        const int expected = int(small.pixels[std::size_t(y * small.width + x)] >> shift) & 0xff;
        if (std::abs(sum / 4 - expected) > 48) ++far;
      }
  EXPECT_LT(far, small.width * small.height / 100) << "more than 1 % of the picture differs";

  sharp.plugin->setParameter(0, 0.2f);
  window->idle();
  window->doubleClick(2 * kGainKnobX, 2 * kGainKnobY);
  EXPECT_FLOAT_EQ(sharp.plugin->getParameter(0), kZeroDb) << "the knob is where it is drawn";
}

// Hosts that destroy their window before closing the editor take the
// editor's child window with it: the editor's next drawing and its close
// must not end the process (Xlib's default error handler would).
TEST_F(EditorTest, AParentDestroyedBeforeTheEditorClosesEndsNothing) {
  LoadedPlugin gain;
  ASSERT_TRUE(gain.load(GAIN_MODULE));
  gain.plugin->open();
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  const Window parent =
      XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 260, 192, 0, 0, 0);
  XMapWindow(display, parent);
  XSync(display, False);
  ASSERT_EQ(gain.plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent)), 1);
  gain.plugin->dispatch(effEditIdle);
  XDestroyWindow(display, parent);
  XSync(display, False);
  for (int i = 0; i < 3; ++i) {
    gain.plugin->setParameter(0, 0.1f * float(i));  // something to draw
    gain.plugin->dispatch(effEditIdle);
  }
  gain.plugin->dispatch(effEditClose);
  EXPECT_EQ(gain.plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent)), 0)
      << "a parent that is gone is refused";
  XCloseDisplay(display);
}

// With no X server to reach the editor refuses to open, answering 0, and
// nothing crashes; its size is known all the same.
TEST(EditorWithoutDisplay, OpenAnswersZeroAndTheRectIsKnown) {
  LoadedPlugin gain;
  ASSERT_TRUE(gain.load(GAIN_MODULE));
  gain.plugin->open();
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display != nullptr ? display : "";
  unsetenv("DISPLAY");
  ERect* rect = nullptr;
  EXPECT_EQ(gain.plugin->dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->right - rect->left, 260);
  EXPECT_EQ(rect->bottom - rect->top, 192);
  EXPECT_EQ(gain.plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(0x200001)), 0);
  gain.plugin->dispatch(effEditIdle);
  gain.plugin->dispatch(effEditClose);
  if (display != nullptr) setenv("DISPLAY", saved.c_str(), 1);
}
#endif

}  // namespace
