// Web addresses the program hands to the user's browser (a banner's click, a link of the news,
// the comparison page). As root the desktop's URL handler is never started, since it would run
// the browser and whatever else it starts as root: the address is shown for the user to copy
// and logged instead.
#pragma once

#include <QObject>
#include <QUrl>

#include <functional>
#include <string>

// Where an address goes that is not opened as root: notice runs while context lives. Also
// sends every address the program itself asks the desktop to open as root (QDesktopServices)
// to notice, so that no other path starts the handler either.
void Show_Outside_Links_As_Root(QObject* context, std::function<void(const QUrl&)> notice);

// Hands url to the user's browser. As root it is logged and given to the notice instead.
// True when a browser was asked to open it.
bool Open_Outside(const QUrl& url);
