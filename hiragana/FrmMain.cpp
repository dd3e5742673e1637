#include "FrmMain.h"

#include "Common.h"
#include "FrmGraph.h"
#include "Lessons.h"
#include "Nigate.h"
#include "UnitRecord.h"
#include "frmHelp.h"
#include "modCommon.h"
#include "modConvert.h"
#include "modMain.h"

#include "Reporter.h"
#include "SaveQueue.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

namespace hiragana {

namespace {

const QString kGothic = QStringLiteral("ＭＳ ゴシック");
const QString kPGothic = QStringLiteral("ＭＳ Ｐゴシック");
constexpr int kClientWidth = 720;
constexpr int kClientHeight = 540;
constexpr COLORREF kRecordStrip = 0xFF8080; // RGB(128, 128, 255) as 0x00BBGGRR
const QColor kPracticeArea(0, 200, 0);
constexpr int kPettaCells = 8;
constexpr int kPettaSize = 150;

// Cell `i` of the eight 150 x 150 cells of a 150 x 1200 strip, cell 0 at the top; a strip that cannot be
// read leaves the picture empty rather than stopping the drill.
QPixmap stripCell(const QImage& strip, int i) {
    if (strip.isNull())
        return {};
    const int side = strip.width();
    QImage cell = strip.copy(0, i * side, side, side);
    cell.setDevicePixelRatio(strip.devicePixelRatio());
    return QPixmap::fromImage(std::move(cell));
}

template <typename W> W* make(QWidget* parent, const char* name) {
    auto* widget = new W(parent);
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QFont& font) {
    auto* label = make<QLabel>(parent, name);
    // What the learner types shows exactly as typed: "<u>ka</u>" is text, not markup.
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setFont(font);
    return label;
}

} // namespace

FrmMain::FrmMain(const halvor::Clock* clock, QWidget* parent)
    : QWidget(parent), ownClock_(clock ? nullptr : std::make_unique<halvor::SystemClock>()),
      clock_(clock ? *clock : *ownClock_), run_(clock_), databasePath_(GetDatabasePath()),
      commandLine_(CMN_GetCommandLine()) {
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(QStringLiteral("ひらがなローマ字入力"));
    CMN_SetWindowIcon(this, QStringLiteral("Tavrel23"));
    setFont(CMN_Font(kGothic, 11.25));

    FraDX = make<QFrame>(this, "FraDX");
    FraKiroku = make<QFrame>(this, "FraKiroku");
    comKind = make<QComboBox>(this, "comKind");
    comKind->setFont(CMN_Font(kGothic, 9.75));
    lbxMihon = make<QListWidget>(this, "lbxMihon");
    lbxMihon->setFont(CMN_Font(kGothic, 12));
    lbxMihon->setSelectionMode(QAbstractItemView::MultiSelection);
    lbxMihon->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    const QFont titleFont = CMN_Font(kPGothic, 11.25);
    lblTitle =
        makeLabel(this, "lblTitle", QStringLiteral("ひらがな入力の基礎学習"), CMN_Font(kPGothic, 12, true));
    lblTitle2 = makeLabel(this, "lblTitle2",
                          QStringLiteral("ひらがなを ローマ字で入力する方法を学習します。"), titleFont);
    lblTitle5 = makeLabel(this, "lblTitle5",
                          QStringLiteral("・練習はあいうえお、濁音、促音のｸﾞﾙｰﾌﾟで行います｡"), titleFont);
    lblTitle6 = makeLabel(this, "lblTitle6",
                          QStringLiteral("・練習する対象を選んでから､[開始]ﾎﾞﾀﾝをｸﾘｯｸします。"), titleFont);
    lblTitle7 = makeLabel(this, "lblTitle7",
                          QStringLiteral("・練習対象を選択するには「あいうえお50音」などの"), titleFont);
    lblTitle8 = makeLabel(this, "lblTitle8", QStringLiteral("  ﾀｲﾄﾙの右側の三角ﾎﾞﾀﾝをｸﾘｯｸして中を開きます。"),
                          titleFont);
    lblInput = makeLabel(this, "lblInput", QString(), CMN_Font(kGothic, 12));
    lblInput->setFrameShape(QFrame::Box);
    lblInput->setAutoFillBackground(true);
    {
        QPalette colours = lblInput->palette();
        colours.setColor(QPalette::Window, colours.color(QPalette::Base));
        colours.setColor(QPalette::WindowText, colours.color(QPalette::Text));
        lblInput->setPalette(colours);
    }
    lblInputTitle = makeLabel(this, "lblInputTitle", QStringLiteral("入力欄"), font());
    txtInput = make<QLineEdit>(this, "txtInput");
    txtInput->setFont(CMN_Font(kGothic, 12));
    txtInput->setEnabled(false);
    // Romaji is typed straight into the box; an input method would turn it into kana before the drill sees
    // it.
    txtInput->setAttribute(Qt::WA_InputMethodEnabled, false);
    lblTitle3 =
        makeLabel(this, "lblTitle3", QStringLiteral("入力文字確定のため、一行入力したとき"), titleFont);
    lblTitle4 =
        makeLabel(this, "lblTitle4", QStringLiteral("[Enter]（リターン）キーを押して下さい。"), titleFont);
    picPetta = make<QLabel>(this, "picPetta");
    for (int i = 0; i < 3; ++i) {
        lblResult[i] = make<QLabel>(this, "lblResult");
        lblResult[i]->setObjectName(QStringLiteral("lblResult%1").arg(i));
        lblResult[i]->setTextFormat(Qt::PlainText);
        lblResult[i]->setFont(CMN_Font(kGothic, 11.25, true));
        lblResult[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    const QFont buttonFont = CMN_Font(kPGothic, 9.75);
    cmdStart = make<QPushButton>(this, "cmdStart");
    cmdStart->setText(QStringLiteral("開始"));
    cmdSetsumei = make<QPushButton>(this, "cmdSetsumei");
    cmdSetsumei->setText(QStringLiteral("説明"));
    cmdGraph = make<QPushButton>(this, "cmdGraph");
    cmdGraph->setText(QStringLiteral("グラフ"));
    cmdEnd = make<QPushButton>(this, "cmdEnd");
    cmdEnd->setText(QStringLiteral("終了"));
    for (QPushButton* button : {cmdStart, cmdSetsumei, cmdGraph, cmdEnd}) {
        button->setFont(buttonFont);
        button->setAutoDefault(false);
    }
    tmrPetta = new QTimer(this);
    tmrPetta->setObjectName(QStringLiteral("tmrPetta"));
    tmrPetta->setInterval(300);

    connect(comKind, &QComboBox::currentIndexChanged, this, &FrmMain::comKind_Click);
    connect(lbxMihon, &QListWidget::itemSelectionChanged, this, &FrmMain::lbxMihon_Click);
    connect(txtInput, &QLineEdit::textChanged, this, &FrmMain::txtInput_Change);
    // Only the learner's own edits tell which kana were hard (the box emptied after a line is not one).
    connect(txtInput, &QLineEdit::textEdited, this, [this](const QString& text) { run_.edited(text); });
    connect(cmdStart, &QPushButton::clicked, this, &FrmMain::cmdStart_Click);
    connect(cmdSetsumei, &QPushButton::clicked, this, &FrmMain::cmdSetsumei_Click);
    connect(cmdGraph, &QPushButton::clicked, this, &FrmMain::cmdGraph_Click);
    connect(cmdEnd, &QPushButton::clicked, this, &QWidget::close);
    connect(tmrPetta, &QTimer::timeout, this, &FrmMain::tmrPetta_Timer);
    // Every key reaches the drill first: Enter checks the line, and during a run no key presses a button.
    for (QWidget* child : findChildren<QWidget*>()) {
        child->installEventFilter(this);
    }

    // Start-up.
    CMN_SetWindowTitle("TAVREL23", this);
    SetClientSize(this, kClientWidth, kClientHeight);
    ArrangeFrames(this, FraDX->objectName(), FraKiroku->objectName(), cmdSetsumei->objectName(),
                  cmdGraph->objectName(), cmdEnd->objectName());
    InitConvertTable();
    setSpellings(RomajiSpellingsSetting());
    ArrangeControls();
    FillKindList();
    comKind->setCurrentIndex(0);
    FillSampleList();
    pettaCell_ = 0;
    pettaFront_ = true;
    ShowPettaCell();
    if (!parent) {
        CMN_CentreWindow(this);
    }
    // The learner's record is read once the window's path is known (a caller may set it after this).
    QTimer::singleShot(0, this, &FrmMain::ReadNigateLesson);
    // Without sound the drill still runs, silently.
    if (CMN_DSInitDirectSound(this)) {
        bgm_ = CMN_DSCreateBufferFromWave(nullptr, kBgmWave);
    }
}

FrmMain::~FrmMain() {
    // A save still running goes on without this window; its hourglass goes with it.
    for (; hourglasses_ > 0; --hourglasses_) {
        QApplication::restoreOverrideCursor();
    }
    if (bgm_) {
        CMN_DSStopSound(bgm_);
    }
    CMN_DSReleaseDirectSound();
}

void FrmMain::ArrangeControls() {
    cmdStart->setGeometry(cmdEnd->x() - cmdEnd->width() - 4, cmdGraph->y(), cmdEnd->width(),
                          cmdEnd->height() + cmdEnd->y() - cmdGraph->y());
    comKind->setGeometry(16, 24, 240, 22);
    lbxMihon->setGeometry(16, 48, 240, 400);
    picPetta->setGeometry(560, 290, kPettaSize, kPettaSize);
    const std::pair<QLabel*, QPoint> selfSizing[] = {
        {lblTitle, {350, 16}},       {lblTitle2, {300, 48}},  {lblTitle5, {310, 80}},
        {lblTitle6, {310, 100}},     {lblTitle7, {310, 120}}, {lblTitle8, {310, 140}},
        {lblInputTitle, {286, 248}}, {lblTitle3, {306, 290}}, {lblTitle4, {306, 320}},
    };
    for (const auto& [label, at] : selfSizing) {
        label->adjustSize();
        label->move(at);
    }
    lblInput->setGeometry(340, 200, 220, 21);
    txtInput->setGeometry(340, 246, 220, 21);
    for (int i = 0; i < 3; ++i) {
        lblResult[i]->clear();
        lblResult[i]->setGeometry(107 + 160 * i, 486, 55, 17);
    }
}

void FrmMain::FillKindList() {
    const QSignalBlocker quiet(comKind);
    comKind->clear();
    for (int i = 0; i < kKindCount; ++i) {
        comKind->addItem(Kind(i).entry);
    }
    if (!nigateRows_.isEmpty()) {
        comKind->addItem(Kind(kNigateKind).entry);
    }
    comKind->setCurrentIndex(-1);
}

// The learner's units of this drill are read on the thread for reads (the school's server may be slow), the
// lesson built there too; the window only takes the lines. The read takes its own copy of the hints, since
// the window's thread refills the conversion table when the spellings change.
void FrmMain::ReadNigateLesson() {
    const QString path = databasePath_;
    // A learner's first start has no results file and so no units. Reading would make the file and load
    // SQLite before the window has anything to save; the first save makes it and reads again.
    if (!DB_IsServerAddress(path) && !QFileInfo::exists(path)) {
        return;
    }
    const std::uint32_t seed = clock_.tickCount();
    if (!nigateHints_) {
        nigateHints_ = NigateHints::FromTable();
    }
    halvor::db::readRowsInBackground<QStringList>(
        this,
        [path, seed, hints = *nigateHints_](QStringList& rows) {
            DB_RUN_FILTER filter;
            filter.learner = DB_Learner();
            QList<DB_UNIT_ROW> units;
            if (!DB_ReadUnits(path, filter, kDrillNumber, units)) {
                return false;
            }
            halvor::StdRandom random;
            random.seed(seed);
            rows = BuildNigateLesson(halvor::ToUnitHistory(units), hints, random).rows;
            return true;
        },
        [this](const halvor::db::RowsRead<QStringList>& read) {
            // A record that cannot be read now leaves the kinds as they were.
            if (read.read) {
                OfferNigate(read.rows);
            }
        });
}

void FrmMain::OfferNigate(const QStringList& rows) {
    nigateRows_ = rows;
    // A run going on keeps its lines; the kind list follows at its end.
    if (run_.running()) {
        return;
    }
    const int current = comKind->currentIndex();
    const bool offered = comKind->count() > kKindCount;
    if (rows.isEmpty() == !offered && current != kNigateKind) {
        return;
    }
    FillKindList(); // leaves no kind chosen, so choosing one again refills the list
    comKind->setCurrentIndex(current >= 0 && current < comKind->count() ? current : 0);
}

void FrmMain::FillSampleList() {
    guardingList_ = true; // the click guard keeps out while the list is refilled
    lbxMihon->clear();
    if (comKind->currentIndex() == kNigateKind) {
        run_.setLesson(kNigateKind, nigateRows_);
    } else {
        run_.setKind(comKind->currentIndex());
    }
    if (run_.curRow() < 0) {
        guardingList_ = false;
        return;
    }
    lbxMihon->addItems(run_.rows());
    halvor::presence::setCourse(Kind(run_.kind()).code);
    // The list keeps its width and never scrolls sideways; a line it cuts short shows whole as a tooltip.
    // Room for text: the frame, a vertical scroll bar and the item's margins on both sides taken away.
    const QStyle* style = lbxMihon->style();
    const int room = lbxMihon->width() - 2 * lbxMihon->frameWidth() -
                     style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, lbxMihon) -
                     2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, lbxMihon) + 1);
    const QFontMetrics metrics(lbxMihon->font());
    for (int r = 0; r < lbxMihon->count(); ++r) {
        QListWidgetItem* item = lbxMihon->item(r);
        if (metrics.horizontalAdvance(item->text()) > room)
            item->setToolTip(item->text());
    }
    SelectPair(0, true);
    lbxMihon->scrollToTop();
    guardingList_ = false;
}

void FrmMain::SelectPair(int row, bool selected) {
    for (int r : {row, row + 1}) {
        if (QListWidgetItem* item = lbxMihon->item(r)) {
            item->setSelected(selected);
        }
    }
}

void FrmMain::comKind_Click() {
    FillSampleList();
}

void FrmMain::lbxMihon_Click() {
    if (guardingList_ || run_.curRow() < 0) {
        return;
    }
    // Whatever the learner clicks, exactly the current pair stays selected.
    guardingList_ = true;
    const int current = run_.curRow();
    for (QListWidgetItem* item : lbxMihon->selectedItems()) {
        const int row = lbxMihon->row(item);
        if (row != current && row != current + 1) {
            item->setSelected(false);
        }
    }
    SelectPair(current, true);
    guardingList_ = false;
}

void FrmMain::ShowPettaCell() {
    // Each strip is drawn when first shown (the back one only once a run has turned the figure round), and
    // again when the window moves to a screen of another pixel density.
    const qreal ratio = CMN_PixelRatio(picPetta);
    if (!qFuzzyCompare(ratio, pettaRatio_)) {
        pettaRatio_ = ratio;
        frontStrip_ = {};
        backStrip_ = {};
    }
    PettaStrip& strip = pettaFront_ ? frontStrip_ : backStrip_;
    if (!strip.read) {
        strip.read = true;
        strip.picture = CMN_LoadPicture(QString::number(pettaFront_ ? kPettaFrontBitmap : kPettaBackBitmap),
                                        ratio, QSize(kPettaSize, kPettaSize * kPettaCells));
    }
    const int cell = std::clamp(pettaCell_, 0, kPettaCells - 1);
    if (strip.cells[cell].isNull())
        strip.cells[cell] = stripCell(strip.picture, cell);
    picPetta->setPixmap(strip.cells[cell]);
}

void FrmMain::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintFrames(this, painter, FraDX, FraKiroku, kRecordStrip);
    PaintResultStrip(painter);
    PaintPracticeArea(painter);
}

void FrmMain::PaintResultStrip(QPainter& painter) {
    painter.save();
    painter.setFont(CMN_Font(kGothic, 12, true));
    for (int i = 0; i < kKindCount; ++i) {
        const int x = 160 * i;
        painter.setPen(Qt::white);
        CMN_DrawText(painter, QRect(46 + x, 486, 60, 20), Qt::AlignLeft | Qt::AlignTop, Kind(i).caption);
        painter.setPen(Qt::black);
        // An outline of exactly 60 x 20 around a fill of 58 x 18 (drawRect would cover one pixel more).
        painter.fillRect(104 + x, 484, 60, 20, Qt::black);
        painter.fillRect(105 + x, 485, 58, 18, Qt::white);
        painter.setPen(Qt::white);
        CMN_DrawText(painter, QRect(172 + x, 486, 20, 20), Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("秒"));
    }
    painter.restore();
}

void FrmMain::PaintPracticeArea(QPainter& painter) {
    painter.fillRect(FraDX->geometry(), kPracticeArea);
}

void FrmMain::cmdStart_Click() {
    if (run_.curRow() < 0 || run_.running()) {
        return;
    }
    for (QLabel* label : lblResult) {
        label->clear();
    }
    tmrPetta->start();
    cmdStart->setEnabled(false);
    comKind->setEnabled(false);
    txtInput->setEnabled(true);
    txtInput->setFocus();
    run_.start();
    halvor::presence::runStarted();
    if (bgm_) {
        CMN_DSPlaySound(bgm_, 1);
    }
}

void FrmMain::txtInput_Change() {
    lblInput->setText(ConvertRomaji(txtInput->text(), spellings_));
}

void FrmMain::txtInput_Enter() {
    if (!run_.running()) {
        return;
    }
    const int done = run_.curRow();
    // Enter confirms the line as the learner's input method would (a lone n at the end is ん with its
    // spellings).
    lblInput->setText(CommitRomaji(txtInput->text(), spellings_));
    switch (run_.enter(lblInput->text())) {
    case DrillRun::Check::Wrong:
        break; // the typed text stays for correction
    case DrillRun::Check::Finished:
        EndRun();
        return;
    case DrillRun::Check::Next:
        guardingList_ = true;
        SelectPair(run_.curRow(), true);
        SelectPair(done, false);
        guardingList_ = false;
        if (QListWidgetItem* hint = lbxMihon->item(run_.curRow() + 1)) {
            lbxMihon->scrollToItem(hint);
        }
        txtInput->clear();
        break;
    }
    ShowTime();
    halvor::presence::progress(run_.figures());
}

void FrmMain::ShowTime() {
    const int kind = run_.kind();
    if (kind >= 0 && kind < kKindCount) {
        lblResult[kind]->setText(QString::number(run_.elapsedSeconds()));
    }
}

void FrmMain::EndRun() {
    // The box is closed at once, so nothing typed meanwhile is checked against the finished run.
    txtInput->setEnabled(false);
    halvor::presence::runFinished(run_.figures());
    SaveResult();
    run_.reset();
    pettaCell_ = 0;
    pettaFront_ = true;
    ShowPettaCell();
    tmrPetta->stop();
    comKind->setEnabled(true);
    cmdStart->setEnabled(true);
    guardingList_ = true;
    SelectPair(0, true);
    SelectPair(lbxMihon->count() - 2, false);
    guardingList_ = false;
    lbxMihon->scrollToTop();
    txtInput->clear();
    lblInput->clear();
    if (bgm_) {
        CMN_DSStopSound(bgm_);
    }
    cmdStart->setFocus();
}

void FrmMain::SaveResult() {
    ShowTime();
    const int seconds = run_.elapsedSeconds();
    const QString path = databasePath_;
    const QDate day = clock_.today();
    const int kind = run_.kind();
    const QList<halvor::UnitRow> units = run_.units().rows();
    // The hourglass shows while the save runs on the queue's thread (this computer's file only: quickly); the
    // window stays alive meanwhile. A run bound for the school's server may say later that it waits.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ++hourglasses_;
    // The result strip has a box for each of the three lessons only: a にがて run's time is told here.
    const QString saved =
        kind == kNigateKind
            ? QStringLiteral("結果を保存しました。（にがて れんしゅう %1 びょう）").arg(seconds)
            : QStringLiteral("結果を保存しました。");
    const auto tell = [this, saved](const SaveOutcome& outcome) {
        const QString note = DB_SavedNote(outcome);
        if (outcome.stored)
            ShowNotice(this, QStringLiteral("save"), QMessageBox::Information, windowTitle(),
                       note.isEmpty() ? saved : saved + QLatin1Char('\n') + note);
        else
            ShowNotice(this, QStringLiteral("save"), QMessageBox::Warning, windowTitle(),
                       QStringLiteral("結果を保存できませんでした。\n") + DB_NotSavedNote(outcome));
    };
    halvor::db::SaveQueue::instance().submit(
        [path, day, kind, seconds, units] { return SaveRun(path, day, kind, seconds, units); }, this,
        [this, tell](const SaveOutcome& outcome) {
            --hourglasses_;
            QApplication::restoreOverrideCursor();
            tell(outcome);
            // The run may have made a kana weak, or practised one enough.
            ReadNigateLesson();
        },
        [tell](const SaveOutcome& outcome) {
            if (outcome.queued)
                tell(outcome);
        });
}

void FrmMain::tmrPetta_Timer() {
    ++pettaCell_;
    if (pettaCell_ > kPettaCells - 1) {
        pettaCell_ = 0;
        pettaFront_ = !pettaFront_;
    }
    ShowPettaCell();
}

void FrmMain::cmdGraph_Click() {
    FrmGraph graph(databasePath_, this);
    graph.exec();
}

void FrmMain::cmdSetsumei_Click() {
    frmHelp help(this);
    help.exec();
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return QWidget::eventFilter(watched, event);
    }
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == txtInput) {
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            txtInput_Enter();
            return true;
        }
        // Only typed characters go into the line: Alt or the system key with a letter is a command (Ctrl's
        // editing keys type nothing and keep working).
        if (!key->text().isEmpty() && (key->modifiers() & (Qt::AltModifier | Qt::MetaModifier))) {
            return true;
        }
        return false;
    }
    if (run_.running() && txtInput->isEnabled()) {
        // A key typed during a run belongs to the line being typed, whichever control has the focus.
        txtInput->setFocus();
        QCoreApplication::sendEvent(txtInput, event);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FrmMain::closeEvent(QCloseEvent* event) {
    if (run_.running())
        halvor::presence::runStopped();
    if (bgm_) {
        CMN_DSStopSound(bgm_);
    }
    // The menu that started the drill comes back; started without a shell, and only once.
    const QString command = ReturnCommandOf(commandLine_);
    commandLine_.clear();
    if (!command.isEmpty()) {
        CMN_ExecPGM2(command, 0, 0, this);
    }
    event->accept();
}

} // namespace hiragana
