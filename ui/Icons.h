#pragma once

#include <QIcon>

// The program's own artwork, drawn for it and compiled in as SVG.
enum TreeImageIndex { ServerImage, ExpandedImage, CollapsedImage, FileImage };

QIcon AppIcon();
// One of the four images of the server/group tree.
QIcon TreeImage(TreeImageIndex index);
// One of the seven frames of the download animation, 0 to 6.
QIcon AnimationFrame(int frame);
