// The controls and the generic editor in-process, with no window: an effect
// of every kind of parameter, its generic editor driven through the editor's
// event entry points, and the host's side recorded from the callback. What
// the window tests on Gain and Tremolo cannot reach: the switch, the slider
// of a step parameter, a choice that wraps, and the layout's choices.
#include "vst/editor/controls.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "vst/editor/generic_editor.h"

namespace {

constexpr const char* kModes[] = {"Off", "On"};
constexpr const char* kShapes[] = {"Sine", "Tri", "Saw"};
constexpr vst::ParameterSpec kTable[] = {
    vst::logParameter("Cutoff", "Hz", 20.0, 20000.0, 1000.0),
    vst::choiceParameter("Bypass", kModes, 0),
    vst::choiceParameter("Shape", kShapes, 0),
    vst::stepParameter("Voices", "", 1, 5, 2),
    vst::decibelParameter("Out", -24.0, 6.0, 0.0),
    vst::linearParameter("Mix", "%", 0.0, 100.0, 100.0, 0),
};
constexpr int kCount = 6;

struct Call {
  VstInt32 opcode, index;
  float value;
};
std::vector<Call> calls;

VstIntPtr VSTCALLBACK recordCall(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*,
                                 float opt) {
  if (opcode == audioMasterBeginEdit || opcode == audioMasterEndEdit ||
      opcode == audioMasterAutomate)
    calls.push_back({opcode, index, opt});
  return opcode == audioMasterVersion ? 2400 : 0;
}

class Probe : public vst::ParameterEffect<kCount> {
 public:
  Probe() : ParameterEffect(recordCall, 1, kTable) { setEditor(new vst::GenericEditor(this)); }
  void processReplacing(float**, float**, VstInt32) override {}
};

class GenericEditorTest : public ::testing::Test {
 protected:
  void SetUp() override { calls.clear(); }
  vst::Editor& editor() { return *static_cast<vst::Editor*>(effect.getEditor()); }
  // The centre of the control of `kind` tied to `index`.
  template <class Kind>
  Kind& control(int index) {
    for (const auto& made : editor().controls())
      if (auto* found = dynamic_cast<Kind*>(made.get()); found && found->index() == index)
        return *found;
    ADD_FAILURE() << "no such control for parameter " << index;
    throw std::runtime_error("no control");
  }
  template <class Kind>
  void click(int index, float dx = 0) {
    const vst::Rect& box = control<Kind>(index).bounds();
    editor().mouseDown(box.centerX() + dx, box.centerY());
    editor().mouseUp(box.centerX() + dx, box.centerY());
  }
  // The calls since the last look, as one gesture: its values.
  std::vector<float> gesture(VstInt32 index) {
    std::vector<float> values;
    EXPECT_GE(calls.size(), 3u);
    if (calls.empty()) return values;
    EXPECT_EQ(calls.front().opcode, audioMasterBeginEdit);
    EXPECT_EQ(calls.back().opcode, audioMasterEndEdit);
    for (std::size_t i = 0; i < calls.size(); ++i) {
      EXPECT_EQ(calls[i].index, index);
      if (i > 0 && i + 1 < calls.size()) {
        EXPECT_EQ(calls[i].opcode, audioMasterAutomate);
        values.push_back(calls[i].value);
      }
    }
    calls.clear();
    return values;
  }

  Probe effect;
};

// The record offers the editor; the size follows the table (two rows of up
// to five) before any window exists.
TEST_F(GenericEditorTest, TheLayoutPicksAControlByKindAndSizesFromTheTable) {
  EXPECT_TRUE(effect.getAeffect()->flags & effFlagsHasEditor);
  ERect* rect = nullptr;
  ASSERT_TRUE(editor().getRect(&rect));
  EXPECT_EQ(rect->right, vst::GenericEditor::widthFor(kCount));
  EXPECT_EQ(rect->bottom, vst::GenericEditor::heightFor(kCount));
  EXPECT_GT(vst::GenericEditor::heightFor(6), vst::GenericEditor::heightFor(5)) << "a second row";
  control<vst::Knob>(0);
  control<vst::Toggle>(1);
  control<vst::Choice>(2);
  control<vst::Slider>(3);
  control<vst::Knob>(4);
  control<vst::Knob>(5);
  for (int index : {0, 1, 3, 4, 5}) control<vst::ValueText>(index);
  EXPECT_FALSE(editor().isOpen());
  EXPECT_TRUE(editor().redraw()) << "draws into its canvas without a window";
  // With EDITOR_SCREENSHOTS set, the picture as a PPM file for a person to look at.
  if (const char* folder = std::getenv("EDITOR_SCREENSHOTS")) {
    const vst::Canvas& canvas = editor().canvas();
    if (FILE* file = std::fopen((std::string(folder) + "/generic.ppm").c_str(), "wb")) {
      std::fprintf(file, "P6 %d %d 255\n", canvas.pixelWidth(), canvas.pixelHeight());
      for (int i = 0; i < canvas.pixelWidth() * canvas.pixelHeight(); ++i) {
        const uint32_t pixel = canvas.pixels()[i];
        const unsigned char rgb[3] = {uint8_t(pixel >> 16), uint8_t(pixel >> 8), uint8_t(pixel)};
        std::fwrite(rgb, 1, 3, file);
      }
      std::fclose(file);
    }
  }
  EXPECT_FALSE(editor().redraw()) << "nothing changed: nothing drawn";
}

// A click flips the switch and its double click flips it back; a choice
// steps forward, wraps past its last item, and steps back from its left third.
TEST_F(GenericEditorTest, SwitchesFlipAndChoicesWrapEachClickOneGesture) {
  click<vst::Toggle>(1);
  EXPECT_EQ(gesture(1), std::vector<float>{1.0f});
  const vst::Rect& toggle = control<vst::Toggle>(1).bounds();
  editor().doubleClick(toggle.centerX(), toggle.centerY());
  EXPECT_EQ(gesture(1), std::vector<float>{0.0f});

  click<vst::Choice>(2);
  click<vst::Choice>(2);
  calls.clear();
  EXPECT_EQ(effect.getParameter(2), 1.0f);  // "Saw"
  click<vst::Choice>(2);
  EXPECT_EQ(gesture(2), std::vector<float>{0.0f}) << "past the last, the first";
  const float left = control<vst::Choice>(2).bounds().width / 2 - 4;
  click<vst::Choice>(2, -left);
  EXPECT_EQ(gesture(2), std::vector<float>{1.0f}) << "back from the first, the last";
}

// A step parameter's slider sends whole steps only, each once, however many
// pixels the drag has; the wheel moves it one step a notch, and a notch past
// the end sends nothing.
TEST_F(GenericEditorTest, AStepSliderSendsWholeStepsOnceAndTheWheelOneStepANotch) {
  const vst::Rect box = control<vst::Slider>(3).bounds();
  editor().mouseDown(box.centerX(), box.centerY());
  for (float x = box.centerX(); x <= box.right() + 40; x += 1.0f)
    editor().mouseMove(x, box.centerY());
  editor().mouseUp(box.right() + 40, box.centerY());
  const std::vector<float> values = gesture(3);
  ASSERT_FALSE(values.empty());
  for (std::size_t i = 0; i < values.size(); ++i) {
    EXPECT_FLOAT_EQ(values[i] * 4, std::round(values[i] * 4)) << "a whole step";
    if (i > 0) {
      EXPECT_GT(values[i], values[i - 1]) << "each step once";
    }
  }
  EXPECT_EQ(values.back(), 1.0f);

  editor().wheel(box.centerX(), box.centerY(), -1.0f);
  EXPECT_EQ(gesture(3), std::vector<float>{0.75f});
  editor().wheel(box.centerX(), box.centerY(), 0.25f);  // a fine wheel's fraction: still one step
  EXPECT_EQ(gesture(3), std::vector<float>{1.0f});
  editor().wheel(box.centerX(), box.centerY(), 1.0f);
  EXPECT_TRUE(calls.empty()) << "at the end already";
}

// Typing: the first key replaces the shown value, Backspace edits, a click
// elsewhere abandons it; keys reach nothing while no value is being typed.
TEST_F(GenericEditorTest, TypingReplacesTheValueAndAClickElsewhereAbandonsIt) {
  EXPECT_FALSE(editor().text("5")) << "no value being typed";
  click<vst::ValueText>(5);
  vst::ValueText& mix = control<vst::ValueText>(5);
  EXPECT_EQ(mix.shownText(), "100 %");
  EXPECT_TRUE(editor().text("45"));
  EXPECT_TRUE(editor().key(vst::Key::kBackspace));
  EXPECT_TRUE(editor().text("0%"));
  EXPECT_EQ(mix.shownText(), "40%");
  EXPECT_TRUE(editor().key(vst::Key::kEnter));
  EXPECT_EQ(gesture(5), std::vector<float>{0.4f});
  EXPECT_FALSE(mix.editing());

  click<vst::ValueText>(5);
  editor().text("7");
  click<vst::Knob>(0);  // elsewhere
  EXPECT_FALSE(mix.editing());
  EXPECT_FALSE(editor().key(vst::Key::kEnter));
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(effect.getParameter(5), 0.4f);
}

}  // namespace
