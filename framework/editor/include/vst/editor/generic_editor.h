// The generic editor: every parameter of a ParameterEffect's table gets a
// control, laid out from the table, with no code of the effect's own. One
// line in the effect's constructor:
//   setEditor(new vst::GenericEditor(this));
// A continuous parameter is a knob, a choice of two a toggle, a longer choice
// a choice box, a step parameter a slider; each has its name above and,
// but for a choice box, its value with its unit below (click it to type a
// value). A title bar shows the
// effect's name. The size follows the number of parameters: up to five
// columns a row.
#pragma once

#include "vst/editor/controls.h"
#include "vst/editor/editor.h"

namespace vst {

class GenericEditor : public Editor {
 public:
  template <VstInt32 N>
  explicit GenericEditor(ParameterEffect<N>* effect)
      : GenericEditor(effect, effect->parameterTable(), N) {}
  GenericEditor(AudioEffectX* effect, const ParameterSpec* table, int count);

  // The layout's measures, in logical pixels.
  static constexpr int kColumns = 5;
  static constexpr int kCellWidth = 104;
  static constexpr int kCellHeight = 128;
  static constexpr int kTitleHeight = 40;
  static constexpr int kMargin = 16;
  static constexpr int kMinWidth = 260;
  static int widthFor(int count);
  static int heightFor(int count);

  // Where parameter `index`'s cell lies.
  Rect cell(int index) const;

 protected:
  void draw(Canvas& canvas) override;

 private:
  char name_[64] = {};
};

}  // namespace vst
