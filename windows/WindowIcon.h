#pragma once

#include <QIcon>

// The program's 32 x 32 icon, for the title bar and the tray alike.
QIcon WindowIcon();
