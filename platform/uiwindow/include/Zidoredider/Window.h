#pragma once
// The second header of a host that shows the player's view in a desktop window (linked
// as Zidoredider::Window): ui::WindowHost opens a ui::Window in an X11 window, turns the
// mouse and keyboard into its events and presents its frames.
//
//   rt::Ref<rt::Error> error;
//   auto host = ui::WindowHost::open(window, {.title = "My player"}, &error);

#include <uiwindow/WindowHost.h>
