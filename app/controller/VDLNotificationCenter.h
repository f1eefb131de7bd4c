#pragma once
// Application-wide notifications without payload beyond the posting object:
// "VardelleUpdateDisplay", "VardelleShowRulers", "VardelleHideRulers",
// "VardelleEndAnimation", "VardelleUpdateAnimation".
#include <QObject>
#include <QString>

class VDLNotificationCenter : public QObject {
    Q_OBJECT
public:
    static VDLNotificationCenter& defaultCenter();

    // Posts by name; unknown names are ignored (logged).
    void post(const QString& name, QObject* object = nullptr);

signals:
    void updateDisplay(QObject* object);    // "VardelleUpdateDisplay"
    void showRulers(QObject* object);       // "VardelleShowRulers"
    void hideRulers(QObject* object);       // "VardelleHideRulers"
    void endAnimation(QObject* object);     // "VardelleEndAnimation"
    void updateAnimation(QObject* object);  // "VardelleUpdateAnimation"

private:
    VDLNotificationCenter() = default;
};
