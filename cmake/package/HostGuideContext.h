#pragma once
// What the host guide's statement snippets refer to without declaring it: the host
// tour's members (examples/host-tour/main.cpp) and the values a host brings (its tag,
// the answer it read). Only the two headers a host includes: a snippet that needs
// another says so itself.

#include <string>

#include <Zidoredider/Player.h>
#include <Zidoredider/Window.h>

struct HostGuideMembers {
    struct Options {
        std::string mediaServer;
        std::string live;
    };
    Options options_;
    rt::Ref<zid::QXQuorvexPlayer> player_;
    rt::Ref<ui::Window> window_;
    rt::Ref<ui::WindowHost> host_;
    rt::Ref<zid::CPPlayButtonToolbarItem> play_;
    // The window-capture and ads snippets name the player and the window host without
    // the tour's trailing underscore, as examples/player does.
    rt::Ref<zid::QXQuorvexPlayer> player;
    rt::Ref<ui::WindowHost> host;
    std::string pemOfMyAuthority;
    std::string tag;
    std::string body;
    std::string answeringUrl;
};
