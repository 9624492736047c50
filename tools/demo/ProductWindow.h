#pragma once
// The demo product's window: titled "Quillora", says that the product was installed and
// where, and closes on its button, on Escape or through the window's close. GTK on Linux,
// a plain Win32 window on Windows.

#include <functional>
#include <string>

namespace qidemo {

// Shows the window and runs until it is closed; `shown` is called once it is on screen.
// False (at once) when there is no display to show it on.
bool RunProductWindow(int& argc, char**& argv, const std::string& dir,
                      const std::function<void()>& shown);

}  // namespace qidemo
