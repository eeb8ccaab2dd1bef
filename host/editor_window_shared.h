// What the X11 and Win32 editor windows share: the editor's size as the
// plug-in gives it (effEditGetRect, audioMasterSizeWindow), clamped, and the
// responder that hears audioMasterSizeWindow on the plug-in's host.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "vst/editor_window.h"

namespace host {
namespace detail {

// `value` (a width or height the editor asked for) within 1 to
// kMaxEditorSize; a value outside adds a warning naming `what`.
int clampSize(long value, const char* what, std::vector<std::string>& warnings);

// Answers audioMasterSizeWindow (1) and audioMasterCanDo "sizeWindow" (1) for
// one editor window, chaining every other call to the responder that was set
// before; puts that one back on destruction. A request made on the window's
// own thread resizes at once through `resize`; one from another thread waits
// for the next idle (take()).
class SizeResponder {
 public:
  SizeResponder(Plugin& plugin, std::function<void(long width, long height)> resize);
  ~SizeResponder();
  SizeResponder(const SizeResponder&) = delete;
  SizeResponder& operator=(const SizeResponder&) = delete;

  // A size asked from another thread since the last call; false when none.
  bool take(long& width, long& height);

 private:
  struct State {
    std::mutex mutex;
    std::thread::id owner;
    std::function<void(long, long)> resize;  // empty once the window is gone
    bool pending = false;
    long width = 0, height = 0;
  };
  Host& host_;
  Host::Responder previous_;
  std::shared_ptr<State> state_;
};

// The editor's size from its rectangle, clamped.
void sizeFromRect(const EditorRect& rect, int& width, int& height,
                  std::vector<std::string>& warnings);

// Whether a window can show `plugin`'s editor: false, with `error`, for a
// closed instance or one without an editor.
bool editorCanOpen(Plugin& plugin, std::string& error);

// The window's part once effEditOpen answered `opened`: false, with `error`,
// when the editor neither answered nor made a window; otherwise the window
// (an Impl with warnings, childSize and resize) takes the size the editor
// tells once open, or its own window's, with a warning for what it lacks.
template <class Impl>
bool settleOpenedEditor(Impl& impl, Plugin& plugin, VstIntPtr opened, std::string& error) {
  int childWidth = 0, childHeight = 0;
  const bool child = impl.childSize(childWidth, childHeight);
  if (opened == 0 && !child) {
    error = "the editor did not open (effEditOpen answered 0)";
    return false;
  }
  if (opened == 0)
    impl.warnings.push_back("effEditOpen answered 0, yet the editor made its window");
  impl.editorOpen = true;
  const EditorRect after = editorRect(plugin);
  if (after.known) {
    int width = 0, height = 0;
    sizeFromRect(after, width, height, impl.warnings);
    impl.resize(width, height);
  } else if (child) {
    impl.warnings.push_back(
        "the editor tells no size once open (effEditGetRect); sized to its window");
    impl.resize(childWidth, childHeight);
  } else {
    impl.warnings.push_back("the editor tells no size once open (effEditGetRect)");
  }
  return true;
}

}  // namespace detail
}  // namespace host
