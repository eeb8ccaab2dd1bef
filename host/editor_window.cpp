// The parts of the editor window that do not depend on the windowing system:
// the editor's rectangle, clamping, the size responder and picture distance.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "editor_window_shared.h"

namespace host {

EditorRect editorRect(Plugin& plugin) {
  EditorRect result;
  ERect* rect = nullptr;
  const VstIntPtr answer = plugin.dispatch(effEditGetRect, 0, 0, &rect);
  if (answer == 0 || rect == nullptr) return result;
  result.known = true;
  result.top = rect->top;
  result.left = rect->left;
  result.bottom = rect->bottom;
  result.right = rect->right;
  return result;
}

// A drag is the same press, moves and release on every system.
void EditorWindow::drag(int x0, int y0, int x1, int y1, int steps, int modifiers) {
  if (steps < 1) steps = 1;
  mouseDown(x0, y0, kLeft, modifiers);
  for (int i = 1; i <= steps; ++i) {
    mouseMove(x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps, modifiers);
    idle();
  }
  mouseUp(x1, y1, kLeft, modifiers);
}

long differentPixels(const Image& a, const Image& b, int tolerance) {
  if (a.width != b.width || a.height != b.height || a.pixels.size() != b.pixels.size())
    return static_cast<long>(std::max(a.pixels.size(), b.pixels.size()));
  long count = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    const uint32_t p = a.pixels[i], q = b.pixels[i];
    for (int shift = 0; shift < 32; shift += 8) {
      const int difference =
          static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((q >> shift) & 0xFF);
      if (std::abs(difference) > tolerance) {
        ++count;
        break;
      }
    }
  }
  return count;
}

namespace detail {

namespace {
// audioMasterSizeWindow's height travels in a pointer-sized value; kept in a
// long's range everywhere.
long boundedHeight(VstIntPtr value) {
  return static_cast<long>(std::clamp<VstIntPtr>(value, -1000000000, 1000000000));
}
}  // namespace

int clampSize(long value, const char* what, std::vector<std::string>& warnings) {
  if (value >= 1 && value <= kMaxEditorSize) return static_cast<int>(value);
  const int clamped = value < 1 ? 1 : kMaxEditorSize;
  warnings.push_back(std::string("the editor asked for a ") + what + " of " +
                     std::to_string(value) + " pixels; clamped to " + std::to_string(clamped));
  return clamped;
}

bool editorCanOpen(Plugin& plugin, std::string& error) {
  if (!plugin.isOpen()) {
    error = "the instance is closed";
    return false;
  }
  if ((plugin.record()->flags & effFlagsHasEditor) == 0) {
    error = "the module has no editor (effFlagsHasEditor is not set)";
    return false;
  }
  return true;
}

void sizeFromRect(const EditorRect& rect, int& width, int& height,
                  std::vector<std::string>& warnings) {
  width = clampSize(rect.width(), "width", warnings);
  height = clampSize(rect.height(), "height", warnings);
}

SizeResponder::SizeResponder(Plugin& plugin, std::function<void(long, long)> resize)
    : host_(plugin.host()),
      previous_(plugin.host().responder()),
      state_(std::make_shared<State>()) {
  state_->owner = std::this_thread::get_id();
  state_->resize = std::move(resize);
  std::shared_ptr<State> state = state_;
  Host::Responder previous = previous_;
  Host* host = &host_;
  host_.setResponder([state, previous, host](const HostCall& call) -> VstIntPtr {
    if (call.opcode == audioMasterSizeWindow) {
      std::function<void(long, long)> resize;
      bool gone = false;
      {
        std::lock_guard<std::mutex> lock(state->mutex);
        gone = !state->resize;
        if (gone) {
        } else if (std::this_thread::get_id() == state->owner) {
          resize = state->resize;
        } else {
          state->pending = true;
          state->width = call.index;
          state->height = boundedHeight(call.value);
        }
      }
      if (gone) return previous ? previous(call) : 0;
      // On the window's thread the window itself is alive: it is that
      // thread that destroys it.
      if (resize) resize(call.index, boundedHeight(call.value));
      return 1;
    }
    const VstIntPtr answer = previous ? previous(call) : host->defaultAnswer(call);
    if (answer == 0 && call.opcode == audioMasterCanDo && call.ptr != nullptr &&
        std::strcmp(static_cast<const char*>(call.ptr), "sizeWindow") == 0)
      return 1;
    return answer;
  });
}

SizeResponder::~SizeResponder() {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->resize = nullptr;
  }
  host_.setResponder(previous_);
}

bool SizeResponder::take(long& width, long& height) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (!state_->pending) return false;
  state_->pending = false;
  width = state_->width;
  height = state_->height;
  return true;
}

}  // namespace detail
}  // namespace host
