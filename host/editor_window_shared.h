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

}  // namespace detail
}  // namespace host
