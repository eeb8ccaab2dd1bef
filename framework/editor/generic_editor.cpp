#include "vst/editor/generic_editor.h"

#include <algorithm>

namespace vst {

namespace {

int columnsFor(int count) { return std::min(std::max(count, 1), GenericEditor::kColumns); }
int rowsFor(int count) {
  return (std::max(count, 1) + GenericEditor::kColumns - 1) / GenericEditor::kColumns;
}

bool twoChoices(const ParameterSpec& entry) {
  return (entry.mapping == Mapping::kChoice || entry.mapping == Mapping::kStep) &&
         entry.max - entry.min == 1.0;
}

}  // namespace

int GenericEditor::widthFor(int count) {
  return std::max(kMinWidth, 2 * kMargin + columnsFor(count) * kCellWidth);
}

int GenericEditor::heightFor(int count) {
  return kTitleHeight + kMargin + rowsFor(count) * kCellHeight + kMargin / 2;
}

GenericEditor::GenericEditor(AudioEffectX* effect, const ParameterSpec* table, int count)
    : Editor(effect, table, count, widthFor(table != nullptr ? count : 0),
             heightFor(table != nullptr ? count : 0)) {
  if (!effect->getEffectName(name_) || name_[0] == '\0') effect->getProductString(name_);
  name_[sizeof name_ - 1] = '\0';
  for (int index = 0; index < parameterCount(); ++index) {
    const ParameterSpec& entry = *parameter(index);
    const Rect box = cell(index);
    add<Label>(Rect{box.x, box.y + 8, box.width, 18}, entry.name, theme::kLabelSize,
               theme::kTextDim);
    const Rect area{box.x + 8, box.y + 28, box.width - 16, 68};
    if (twoChoices(entry)) {
      add<Toggle>(index, Rect{area.centerX() - 24, area.centerY() - 13, 48, 26});
    } else if (entry.mapping == Mapping::kChoice) {
      add<Choice>(index, Rect{area.x, area.centerY() - 13, area.width, 26});
    } else if (entry.mapping == Mapping::kStep) {
      add<Slider>(index, Rect{area.x, area.centerY() - 10, area.width, 20});
    } else {
      add<Knob>(index, Rect{area.centerX() - 34, area.y, 68, 68});
    }
    // A choice box shows its value already.
    if (entry.mapping != Mapping::kChoice || twoChoices(entry))
      add<ValueText>(index, Rect{box.x + 6, box.y + 99, box.width - 12, 22});
  }
}

Rect GenericEditor::cell(int index) const {
  const int columns = columnsFor(parameterCount());
  // The cells are centred when the editor is wider than they are (few parameters).
  const int used = columns * kCellWidth;
  const float left = static_cast<float>((width() - used) / 2);
  return {left + float(index % columns * kCellWidth),
          float(kTitleHeight + kMargin + index / columns * kCellHeight), float(kCellWidth),
          float(kCellHeight)};
}

void GenericEditor::draw(Canvas& canvas) {
  canvas.clear(theme::kBackground);
  const float width = float(this->width());
  canvas.fillRect({0, 0, width, float(kTitleHeight)}, theme::kTitleBar);
  canvas.fillRect({0, float(kTitleHeight) - 2, width, 2}, theme::kAccentDim);
  canvas.text(name_, float(kMargin),
              float(kTitleHeight) / 2 + canvas.ascent(theme::kTitleSize) / 2 - 1, theme::kTitleSize,
              theme::kText);
  // A panel behind each parameter's cell.
  for (int index = 0; index < parameterCount(); ++index)
    canvas.fillRoundRect(cell(index).inset(4), 8.0f, theme::kPanel);
}

}  // namespace vst
