#pragma once
#include <QIcon>

// Before the application object: the program's identity and the start-up
// settings that keep the first window quick.
void PrepareQtStart();
// The program's icon in every size it is drawn at.
QIcon AppIcon();
