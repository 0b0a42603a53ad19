#include "ui/Icons.h"

#include <QString>

QIcon AppIcon() {
    return QIcon(":/icons/spindrel.svg");
}

QIcon TreeImage(TreeImageIndex index) {
    static const char* const kNames[] = {"server", "group-open", "group-closed", "file"};
    return QIcon(QString(":/icons/%1.svg").arg(kNames[index]));
}

QIcon AnimationFrame(int frame) {
    return QIcon(QString(":/icons/frame%1.svg").arg(frame + 1));
}
