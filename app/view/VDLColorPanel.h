#pragma once
// The application-wide colour panel: the thread charts as named colour lists (swatch, code and
// name, searchable by code or name) and a free colour picker without alpha. A pick is sent to the
// delegate (the document that showed one thread) as its changeColor(QObject* sender) slot, with
// the panel as sender; the picked colour is color().
#include <QColor>
#include <QPointer>
#include <QWidget>

class QColorDialog;
class QComboBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QTabWidget;
class QTimer;

class VDLColorPanel : public QWidget {
    Q_OBJECT
public:
    // The one panel of the application, made on first use.
    static VDLColorPanel* sharedColorPanel();
    static bool hasSharedColorPanel();
    // The named lists, in the order the panel offers them.
    static const QStringList& paletteNames();

    QColor color() const { return color_; }
    // Shows C without sending it to the delegate.
    void setColor(const QColor& c);
    QObject* delegate() const { return delegate_; }
    void setDelegate(QObject* d) { delegate_ = d; }

    // Colour lists.
    QString currentPalette() const;
    void selectPalette(const QString& palette);
    void setSearchText(const QString& text);
    // Shows the list of PALETTE with entry KEY selected (a thread's chart entry); nothing when
    // the panel has no such list.
    void showEntry(const QString& palette, const QString& key);
    // Places the panel beside WINDOW, on the side with room (the first time it is shown).
    void placeBeside(QWidget* window);
    // The entries listed now (after the search), as "code" and colour name.
    int entryCount() const;
    QString entryCode(int row) const;
    QString entryName(int row) const;
    // As if the user clicked entry ROW of the list / chose C in the picker.
    void pickEntry(int row);
    void pickColor(const QColor& c);

signals:
    void colorPicked(const QColor& color);

private:
    explicit VDLColorPanel(QWidget* parent = nullptr);
    void fillList();
    void send(const QColor& c);

    QTabWidget* tabs_ = nullptr;
    QComboBox* paletteBox_ = nullptr;
    QLineEdit* search_ = nullptr;
    QListWidget* list_ = nullptr;
    QColorDialog* picker_ = nullptr;
    QTimer* pickerDelay_ = nullptr;
    QColor color_;
    QColor pendingPick_;
    QPointer<QObject> delegate_;
    bool settingColor_ = false;
    bool placed_ = false;
};
