#pragma once

#include "monitor/TargetFields.h"

#include <QList>
#include <QWidget>

class FittingScrollArea;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class ScreenFollower;
class SettingsStore;

// The borderless window in which the failure command and the 35 targets are edited. Its fields are
// the configuration in use: the check cycle reads them through TargetFields whenever it needs them,
// saved or not, shown or hidden. "Save" writes them to the store; "X" only hides the window.
// Escape and every close by the window system do what "X" does, Ctrl+S what "Save" does. Where the
// laid-down size does not fit the screen, the content scrolls inside the window.
class SettingsWindow : public QWidget, public TargetFields {
    Q_OBJECT
public:
    enum class Section { Cams, Services, Devices };

    explicit SettingsWindow(SettingsStore& store, QWidget* parent = nullptr);
    ~SettingsWindow() override;

    // Fills the fields from the store, group by group. Runs once per run, at start-up; it only
    // ever ticks boxes, so a value that cannot be read leaves its field as created.
    void loadFields();
    // The main window's "Settings" hides "SAVED!" whenever it shows this window.
    void hideSavedLabel();

    Section visibleSection() const;

    // Centred on `available` where it fits; on a smaller screen the window takes the room there is,
    // its content scrolls, and its top-left corner stays on it, so that it can still be dragged.
    void placeOn(const QRect& available);
    // Fitted again to `available`, the area of a screen that changed or that the window went to: where it was, as far
    // as it stays on the area, and scrolling as on a smaller screen.
    void keepOn(const QRect& available);

    int enableValue(TargetKind kind, int number) const override;
    QString targetText(TargetKind kind, int number) const override;
    QString failureCommand() const override;

signals:
    // "X" has hidden the window: the next schedule tick is to arm a check cycle.
    void closedWithX();
    // "Save" could not write the store; the window itself shows nothing of it.
    void saveFailed();

protected:
    // Any press on the background moves the borderless window, as a press on a title bar would.
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Hands the window to the window system's interactive move.
    virtual void beginSystemMove();
    // Has the screen reader speak `text`, which `source` has just shown.
    virtual void announce(QWidget* source, const QString& text);

private:
    struct Rows {
        QList<QLineEdit*> texts;
        QList<QCheckBox*> checks;
    };

    void buildControls();
    void setTabOrderOfControls(const QList<QWidget*>& before, const QList<QWidget*>& after);
    QGroupBox* buildSection(const QString& title, int heightTwips, Section section);
    void showSection(Section section);
    void save();
    void closeWithX();
    void loadTexts(QChar group, const QList<QLineEdit*>& fields);
    void loadEnables(QChar group, const QList<QCheckBox*>& boxes);
    const Rows* rowsOf(TargetKind kind) const;

    SettingsStore& store_;
    FittingScrollArea* scroll_ = nullptr;
    ScreenFollower* screen_ = nullptr;
    QWidget* content_ = nullptr;
    Rows cams_;
    Rows processes_;
    Rows devices_;
    QGroupBox* camsFrame_ = nullptr;
    QGroupBox* servicesFrame_ = nullptr;
    QGroupBox* devicesFrame_ = nullptr;
    QLineEdit* errun_ = nullptr;
    QLabel* label26_ = nullptr;
    QPushButton* svcAM_ = nullptr;
};
