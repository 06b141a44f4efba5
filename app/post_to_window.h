// Calls from a worker carried to a window's thread, where they run in the order they were
// posted; nothing on the worker touches the window itself.
#pragma once

#include <QMetaObject>
#include <utility>

template <class Window, class Call>
void Post_To(Window& window, Call call) {
  Window* target = &window;
  QMetaObject::invokeMethod(target, [target, call = std::move(call)] { call(*target); }, Qt::QueuedConnection);
}
