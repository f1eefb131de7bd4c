#include "VDLNotificationCenter.h"

#include <QDebug>

VDLNotificationCenter& VDLNotificationCenter::defaultCenter() {
    static VDLNotificationCenter* center = new VDLNotificationCenter;  // lives as long as the process
    return *center;
}

void VDLNotificationCenter::post(const QString& name, QObject* object) {
    if (name == QLatin1String("VardelleUpdateDisplay")) emit updateDisplay(object);
    else if (name == QLatin1String("VardelleShowRulers")) emit showRulers(object);
    else if (name == QLatin1String("VardelleHideRulers")) emit hideRulers(object);
    else if (name == QLatin1String("VardelleEndAnimation")) emit endAnimation(object);
    else if (name == QLatin1String("VardelleUpdateAnimation")) emit updateAnimation(object);
    else qWarning().noquote() << "vardelle: unknown notification" << name;
}
