// The drill window: pick a kind, retype its kana lines as romaji, see the kana live, and have the run timed
// and stored.
#pragma once

#include "Clock.h"
#include "DrillRun.h"
#include "Nigate.h"

#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;
struct CMN_SoundBuffer;

namespace hiragana {

class FrmMain : public QWidget {
    Q_OBJECT
public:
    // Without a clock the system clock is used.
    explicit FrmMain(const halvor::Clock* clock = nullptr, QWidget* parent = nullptr);
    ~FrmMain() override;

    // Where runs are stored; GetDatabasePath() unless set.
    void setDatabasePath(const QString& path) { databasePath_ = path; }
    QString databasePath() const { return databasePath_; }
    // The command line whose arguments are started when the window closes; CMN_GetCommandLine() unless set.
    void setCommandLine(const QString& line) { commandLine_ = line; }

    const DrillRun& run() const { return run_; }
    // Which romaji the drill accepts; the setting Romaji/Spellings unless set.
    void setSpellings(Spellings spellings) {
        spellings_ = spellings;
        run_.setSpellings(spellings);
    }
    Spellings spellings() const { return spellings_; }
    // The にがて lesson built from the learner's record when it was last read (after the start and after each
    // save); empty while the record shows nothing to practise, and the kind is then not offered.
    const QStringList& nigateRows() const { return nigateRows_; }
    int pettaCell() const { return pettaCell_; }
    bool pettaFront() const { return pettaFront_; }

    // The background music's resource id (":/wave/101.wav").
    static constexpr int kBgmWave = 101;
    // The two animation strips (":/bitmap/201.svg" front, ":/bitmap/202.svg" back).
    static constexpr int kPettaFrontBitmap = 201;
    static constexpr int kPettaBackBitmap = 202;

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ArrangeControls();
    void FillKindList();
    void FillSampleList();
    void ShowPettaCell();
    void PaintResultStrip(QPainter& painter);
    void PaintPracticeArea(QPainter& painter);
    void SelectPair(int row, bool selected);

    void comKind_Click();
    void lbxMihon_Click();
    void cmdStart_Click();
    void txtInput_Change();
    void txtInput_Enter();
    void tmrPetta_Timer();
    void cmdGraph_Click();
    void cmdSetsumei_Click();
    void EndRun();
    void SaveResult();
    void ShowTime();
    void ReadNigateLesson();
    void OfferNigate(const QStringList& rows);

    std::unique_ptr<halvor::SystemClock> ownClock_;
    const halvor::Clock& clock_;
    DrillRun run_;
    QString databasePath_;
    QString commandLine_;
    Spellings spellings_ = Spellings::Table;
    std::optional<NigateHints> nigateHints_; // made at the first read; the table's keys never change
    int pettaCell_ = 0;
    bool pettaFront_ = true;
    bool guardingList_ = false;
    // A strip is read when first shown, and each of its cells made when first shown.
    struct PettaStrip {
        bool read = false;
        QImage picture;
        std::array<QPixmap, 8> cells;
    };
    PettaStrip frontStrip_;
    PettaStrip backStrip_;
    qreal pettaRatio_ = 0;
    CMN_SoundBuffer* bgm_ = nullptr;
    int hourglasses_ = 0; // saves still running, each showing the hourglass
    QStringList nigateRows_;

    QFrame* FraDX = nullptr;
    QFrame* FraKiroku = nullptr;
    QComboBox* comKind = nullptr;
    QListWidget* lbxMihon = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblTitle2 = nullptr;
    QLabel* lblTitle3 = nullptr;
    QLabel* lblTitle4 = nullptr;
    QLabel* lblTitle5 = nullptr;
    QLabel* lblTitle6 = nullptr;
    QLabel* lblTitle7 = nullptr;
    QLabel* lblTitle8 = nullptr;
    QLabel* lblInput = nullptr;
    QLabel* lblInputTitle = nullptr;
    QLineEdit* txtInput = nullptr;
    QLabel* picPetta = nullptr;
    std::array<QLabel*, 3> lblResult{};
    QPushButton* cmdStart = nullptr;
    QPushButton* cmdSetsumei = nullptr;
    QPushButton* cmdGraph = nullptr;
    QPushButton* cmdEnd = nullptr;
    QTimer* tmrPetta = nullptr;
};

} // namespace hiragana
