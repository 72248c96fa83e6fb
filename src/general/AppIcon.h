#pragma once

#include <QIcon>
#include <QPixmap>

// The program's icon: a compact disc, drawn rather than shipped as a file.
QPixmap AppIconPixmap(int size);
QIcon AppIcon();
