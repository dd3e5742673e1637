#include "FingerDrillDialog.h"

#include "Reporter.h"
#include "SaveQueue.h"
#include "Setsumei.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>

namespace halvor {

namespace {

constexpr COLORREF PanelColour = 0xFF8080;
enum { Speed, Best, Errors, Minutes, Seconds };

// The instructions come up by themselves at most once per process (the first user event).
bool firstUserEvent = true;

struct PanelLabel {
    int x, y;
    const char* text;
};
constexpr PanelLabel PanelLabels[] = {
    {120, 12, "現在速度"}, {284, 12, "回／分"}, {360, 12, "最高速度"},
    {524, 12, "回／分"},   {120, 45, "エラー"}, {263, 45, "％"},
    {296, 45, "時間"},     {396, 45, "分"},     {478, 45, "秒"},
};

} // namespace

FingerDrillDialog::FingerDrillDialog(const char* titleKey, GraphKind graph, const Clock& clock,
                                     const QString& commandLine, QWidget* parent)
    : QDialog(parent), clock_(clock), graph_(graph), run_(clock), commandLine_(commandLine) {
    mdbPath_ = DB_DefaultPath();
    setFont(CMN_Font("ＭＳ Ｐゴシック", 11));
    CMN_SetWindowTitle(titleKey, this);
    CMN_SetWindowSize(this, 720, 540);

    drawFrame_ = new QWidget(this);
    drawFrame_->setObjectName("fraDraw");
    panelFrame_ = new QWidget(this);
    panelFrame_->setObjectName("fraPanel");
    panelFrame_->setAttribute(Qt::WA_TransparentForMouseEvents);
    start_ = new QPushButton("ゲーム開始", this);
    start_->setObjectName("cmdStart");
    graphButton_ = new QPushButton("グラフ", this);
    graphButton_->setObjectName("cmdGraph");
    help_ = new QPushButton("説明", this);
    help_->setObjectName("cmdHelp");
    end_ = new QPushButton("終了", this);
    end_->setObjectName("cmdEnd");
    for (QPushButton* b : {start_, graphButton_, help_, end_})
        b->setAutoDefault(false); // Enter never presses a button

    CMN_SetFrameSize(this, drawFrame_, panelFrame_, help_, graphButton_, end_);
    const QRect endRect = end_->geometry();
    start_->setGeometry(endRect.left() - 4 - endRect.width(), endRect.top(), endRect.width(),
                        endRect.height());

    const QPoint panel = panelFrame_->pos();
    const int layout[5][3] = {{200, 8, 3}, {440, 8, 3}, {180, 40, 3}, {340, 40, 2}, {422, 40, 2}};
    for (int i = 0; i < 5; ++i) {
        numbers_[i].x = panel.x() + layout[i][0];
        numbers_[i].y = panel.y() + layout[i][1];
        numbers_[i].digits = layout[i][2];
        numbers_[i].flag = 1;
    }

    connect(start_, &QPushButton::clicked, this, &FingerDrillDialog::startRun);
    connect(graphButton_, &QPushButton::clicked, this, &FingerDrillDialog::ShowGraph);
    connect(help_, &QPushButton::clicked, this, &FingerDrillDialog::ShowInstructions);
    connect(end_, &QPushButton::clicked, this, &FingerDrillDialog::postClose);

    // Coarse timers may fire up to 5 % early, and the clock would then lag a second behind for the whole run.
    frameTimer_.setTimerType(Qt::PreciseTimer);
    clockTimer_.setTimerType(Qt::PreciseTimer);
    frameTimer_.setInterval(100);
    clockTimer_.setInterval(1000);
    connect(&frameTimer_, &QTimer::timeout, this, [this] { frameTick(); });
    connect(&clockTimer_, &QTimer::timeout, this, &FingerDrillDialog::clockTimerTick);

    watchKeys(this);
}

FingerDrillDialog::~FingerDrillDialog() {
    returnToCaller();
}

void FingerDrillDialog::watchKeys(QWidget* widget) {
    widget->installEventFilter(this);
    for (QWidget* child : widget->findChildren<QWidget*>())
        child->installEventFilter(this);
}

void FingerDrillDialog::startRun() {
    zeroPanel();
    const QString keys = chooseKeys();
    start_->setEnabled(false);
    help_->setFocus();
    run_.start(keys);
    counting_ = true;
    frameTimer_.start();
    clockTimer_.start();
    presence::setCourse(course());
    presence::runStarted();
    runStarted();
}

void FingerDrillDialog::stopClock() {
    if (!clockTimer_.isActive())
        return;
    clockTimer_.stop();
    counting_ = false;
    run_.stopClock();
    showClock();
}

void FingerDrillDialog::finishRun(bool store) {
    frameTimer_.stop();
    stopClock();
    const FingerRecord record = finishedRecord();
    // The teacher sees every run that ended, also a block game that was lost (and so not stored).
    presence::runFinished(record.figures());
    if (store)
        saveRun(record);
    start_->setEnabled(true);
}

void FingerDrillDialog::saveRun(const FingerRecord& record) {
    // Saved on the queue's thread: a locked file or a slow server never freezes the window, and the learner
    // may start the next run meanwhile (the queue keeps the order, and so the run numbers). The learner hears
    // of the run only when something is to be done or known: kept aside, not kept, or waiting for the server.
    const QString path = mdbPath_;
    const QDate today = clock_.today();
    const auto told = [this](const db::SaveOutcome& outcome) {
        if (!outcome.stored)
            tell("saveFailedMessage", QMessageBox::Warning,
                 QStringLiteral("記録を保存できませんでした。\n") + DB_NotSavedNote(outcome));
        else if (const QString note = DB_SavedNote(outcome); !note.isEmpty())
            tell(outcome.queued ? "saveQueuedMessage" : "saveKeptMessage", QMessageBox::Information, note);
    };
    db::SaveQueue::instance().submit([path, record, today] { return RecordRun(path, record, today); }, this,
                                     told, told);
}

void FingerDrillDialog::tell(const char* name, int icon, const QString& text) {
    CMN_ShowMessage(this, static_cast<QMessageBox::Icon>(icon), windowTitle(), text,
                    QString::fromLatin1(name), QStringLiteral("save"));
}

void FingerDrillDialog::clockTimerTick() {
    run_.updateClock();
    showClock();
}

void FingerDrillDialog::showClock() {
    numbers_[Seconds].value = run_.secondNumber();
    numbers_[Minutes].value = run_.minuteNumber();
    repaintNumber(Seconds);
    repaintNumber(Minutes);
}

void FingerDrillDialog::updatePanel() {
    const int values[3] = {run_.speedNumber(), run_.maxNumber(), run_.errorNumber()};
    for (int i = Speed; i <= Errors; ++i) {
        if (numbers_[i].value != values[i]) {
            numbers_[i].value = values[i];
            repaintNumber(i);
        }
    }
    if (counting_)
        presence::progress(run_.figures());
}

void FingerDrillDialog::zeroPanel() {
    for (int i = 0; i < 5; ++i) {
        numbers_[i].value = 0;
        repaintNumber(i);
    }
}

void FingerDrillDialog::repaintNumber(int index) {
    update(CMN_KirokuNumberRect(numbers_[index]));
}

void FingerDrillDialog::postClose() {
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void FingerDrillDialog::ShowInstructions() {
    auto* dlg = new CSetsumeiDlg(nullptr);
    for (const QString& line : instructionLines())
        dlg->AddText(line);
    dlg->DoModal();
    delete dlg;
}

void FingerDrillDialog::ShowGraph() {
    CGraphDlg dlg(graph_);
    dlg.exec();
}

bool FingerDrillDialog::event(QEvent* event) {
    if (event->type() == QEvent::User && firstUserEvent) {
        firstUserEvent = false;
        ShowInstructions();
        return true;
    }
    return QDialog::event(event);
}

bool FingerDrillDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        return true; // neither closes the window nor presses a button
    default:
        break;
    }
    if (counting_ && !key->text().isEmpty()) {
        if (event->type() == QEvent::KeyPress) {
            for (const char32_t code : CMN_TypedText(key).toUcs4()) {
                const FingerRun::KeyResult result = run_.checkKey(code);
                if (result != FingerRun::KeyResult::Ignored)
                    keyChecked(result);
            }
        }
        return true; // a typed key goes to the drill only
    }
    // A learner typing on after a run must not open a dialog or start a run by the space bar.
    if (key->key() == Qt::Key_Space || key->key() == Qt::Key_Select)
        return true;
    return QDialog::eventFilter(watched, event);
}

void FingerDrillDialog::paintEvent(QPaintEvent*) {
    QPainter dc(this);
    CMN_RedrawFrame(this, dc, drawFrame_, panelFrame_, PanelColour);
    dc.setFont(CMN_Font("ＭＳ ゴシック", 12, true));
    dc.setPen(Qt::white);
    const QPoint panel = panelFrame_->pos();
    for (const PanelLabel& label : PanelLabels)
        CMN_DrawText(dc, QRect(panel + QPoint(label.x, label.y), QSize(120, 24)),
                     Qt::AlignLeft | Qt::AlignTop, QString::fromUtf8(label.text));
    for (const tagKirokuNumber& number : numbers_)
        CMN_RedrawKirokuNumber(dc, number);
}

void FingerDrillDialog::showEvent(QShowEvent* event) {
    // The level or mode is the drill's from its command line: the teacher sees it before the first run.
    presence::setCourse(course());
    QDialog::showEvent(event);
}

void FingerDrillDialog::closeEvent(QCloseEvent* event) {
    frameTimer_.stop();
    clockTimer_.stop();
    if (counting_)
        presence::runStopped();
    counting_ = false; // a run in progress is dropped, never stored
    returnToCaller();
    QDialog::closeEvent(event);
}

void FingerDrillDialog::returnToCaller() {
    if (returned_)
        return;
    returned_ = true;
    // The restore routines point into this window; nothing may call them once it is gone.
    CMN_DXSetRestoreCallbackFunc(nullptr);
    CMN_DSSetRestoreCallbackFunc(nullptr);
    CMN_DSReleaseDirectSound();
    CMN_D3ReleaseDirect3D7();
    CMN_DXReleaseSprite();
    CMN_DXReleaseDirectDraw7();
    const QString caller = CMN_ReturnCommand(commandLine_);
    if (!caller.isEmpty())
        CMN_ExecPGM2(caller, 0, 0, nullptr);
}

} // namespace halvor
