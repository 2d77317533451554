#pragma once
// The one header of a host of the player: the facade (configuration, playing, typed
// read-only keys, delegate, subtitles and audio, ads), the toolbars and the toolbar items
// the facade hands out, the views it embeds the player's view in, and the run loop its
// main thread turns. A host that shows the view in a desktop window also includes
// <Zidoredider/Window.h>. docs/HOST_GUIDE.md walks through it; examples/host-tour uses
// nothing else.

#include <QXSDKPlayer/Common/QXMediaDescriptor.h>
#include <QXSDKPlayer/Common/QXMediaSelectionOption.h>
#include <QXSDKPlayer/Common/QXMediaServerSettings.h>
#include <QXSDKPlayer/Common/QXPlayerDelegate.h>
#include <QXSDKPlayer/Common/QXQuorvexPlayer.h>
#include <QXSDKPlayer/Common/QXQuorvexPlayerTypes.h>
#include <QXSDKPlayer/Common/QXSubtitle.h>

// The toolbars of style CustomToolbar and every item the facade hands out. The toolbar
// control itself is declared only, and the items only it makes (creation date, content
// details, fullscreen) not at all: a host that names them includes their headers under
// <QXCorePlayer/Core/View/...>.
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPAirplayToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentDurationToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentTitleToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPictureInPictureToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlayButtonToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlaybackSliderToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlaybackTimeLabelToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPStartedDateToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPTimePerDurationToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPViewerCountToolbarItem.h>
#include <QXUIKit/Toolbar/QXButtonToolbarItem.h>
#include <QXUIKit/Toolbar/QXImageToolbarItem.h>
#include <QXUIKit/Toolbar/QXToolbar.h>
#include <QXUIKit/Toolbar/QXToolbarItem.h>

// The views a host embeds the player's view in, and its main thread's run loop.
#include <fnd/RunLoop.h>
#include <rt/ScopedConnection.h>
#include <ui/View.h>
#include <ui/Window.h>
