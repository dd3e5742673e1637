// The window frame both finger drills share: a 720 x 540 dialog with the drawing frame, the number panel
// (current and best speed, error percentage, minutes and seconds), the start, graph, help and end buttons,
// the key filter, the run clock, the instructions and the return to the calling program on closing.
// A drill derives from it and supplies only its own parts: keys, picture, end rules and animations.
#pragma once

#include "Clock.h"
#include "Common.h"
#include "FingerRun.h"
#include "GraphDlg.h"
#include "RecordRun.h"

#include <QDialog>
#include <QStringList>
#include <QTimer>
#include <array>

class QPushButton;

namespace halvor {

class FingerDrillDialog : public QDialog {
    Q_OBJECT
public:
    // titleKey: "PELVORAN12" or "TAVREL11". commandLine: "\"program\" \"caller\" argument" (the program
    // passes CMN_GetCommandLine()); its caller is started again on closing. The clock must outlive the
    // dialog.
    FingerDrillDialog(const char* titleKey, GraphKind graph, const Clock& clock, const QString& commandLine,
                      QWidget* parent = nullptr);
    ~FingerDrillDialog() override;

    const FingerRun& run() const { return run_; }
    // True while typed characters go to the drill (from the start until the clock stops).
    bool isCounting() const { return counting_; }
    QWidget* drawFrame() const { return drawFrame_; }
    QWidget* panelFrame() const { return panelFrame_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* helpButton() const { return help_; }
    const QString& mdbPath() const { return mdbPath_; }
    const QString& commandLine() const { return commandLine_; }

    void ShowInstructions();
    void ShowGraph();
    // A timer tick by hand (the timers call these), so tests can step a run without waiting.
    void frameTimerTick() { frameTick(); }
    void clockTimerTick();

protected:
    // ---- what a drill supplies ----
    virtual QString chooseKeys() = 0;                 // the run's keys, at every start
    virtual QStringList instructionLines() const = 0; // the instructions, one entry per line
    virtual void frameTick() = 0;                     // every 100 ms while the frame timer runs
    virtual FingerRecord finishedRecord() const = 0;  // the row of a finished run
    virtual void runStarted() {}                      // after counters and timers are set: music, picture
    virtual void keyChecked(FingerRun::KeyResult) {}  // after each counted key: sound
    // The course as the drill's rows store it, also before the first run (the live class view shows it).
    virtual QString course() const { return finishedRecord().course(); }

    // ---- frame pieces a drill calls ----
    void startRun();
    // Stops the clock (timer 2), which then shows the whole seconds the run took; typed characters no longer
    // count. The frame timer goes on (animations).
    void stopClock();
    // Ends the run: both timers off, start button enabled, the row stored when `store` (a failed save is
    // told to the learner in a message that does not block).
    void finishRun(bool store);
    // Panel numbers from the run; repaints the ones that changed.
    void updatePanel();
    void zeroPanel();
    // A set-up failure: close at once; the normal closing road still runs.
    void postClose();
    const Clock& clock() const { return clock_; }
    FingerRun& runState() { return run_; }
    // Sends a widget's keys (and its children's) through the filter; the frame's own widgets already are.
    void watchKeys(QWidget* widget);

    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void saveRun(const FingerRecord& record);
    // A save's message; it does not block the drill (the learner may go on practising), and a newer one
    // closes the older.
    void tell(const char* name, int icon, const QString& text);
    void returnToCaller();
    void repaintNumber(int index);
    void showClock();

    const Clock& clock_;
    GraphKind graph_;
    FingerRun run_;
    QString mdbPath_;
    QString commandLine_;
    bool counting_ = false;
    bool returned_ = false;
    QWidget* drawFrame_ = nullptr;
    QWidget* panelFrame_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* graphButton_ = nullptr;
    QPushButton* help_ = nullptr;
    QPushButton* end_ = nullptr;
    QTimer frameTimer_;
    QTimer clockTimer_;
    // speed, best, errors, minutes, seconds
    std::array<tagKirokuNumber, 5> numbers_;
};

} // namespace halvor
