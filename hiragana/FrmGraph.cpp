#include "FrmGraph.h"

#include "Common.h"
#include "MSChart.h"
#include "modCommon.h"
#include "modMain.h"

#include <QApplication>
#include <QPushButton>

namespace hiragana {

namespace {

const QString kCheckCaption = QStringLiteral("グラフ データ チェック");

} // namespace

FrmGraph::FrmGraph(const QString& databasePath, QWidget* parent)
    : QDialog(parent), databasePath_(databasePath) {
    setObjectName(QStringLiteral("FrmGraph"));
    setWindowTitle(QStringLiteral("グラフ"));
    CMN_SetWindowSize(this, 720, 540);
    setFont(CMN_Font(QStringLiteral("ＭＳ Ｐゴシック"), 9));

    ChtGraph = new CMSChart(this);
    ChtGraph->setObjectName(QStringLiteral("ChtGraph"));
    ChtGraph->setGeometry(16, 16, 689, 465);

    cmdEnd = new QPushButton(QStringLiteral("戻る"), this);
    cmdEnd->setObjectName(QStringLiteral("cmdEnd"));
    cmdEnd->setFont(CMN_Font(QStringLiteral("ＭＳ Ｐゴシック"), 9, true));
    cmdEnd->setGeometry(600, 496, 105, 33);
    connect(cmdEnd, &QPushButton::clicked, this, &QDialog::accept);

    DrawGraph();
}

void FrmGraph::DrawGraph() {
    QApplication::setOverrideCursor(Qt::WaitCursor);

    ChtGraph->SetChartType(CMSChart::VtChChartType2dLine);
    ChtGraph->SetShowLegend(true);
    ChtGraph->SetColumnCount(3);
    ChtGraph->SetTitleText(QStringLiteral("ひらがなローマ字入力グラフ"));
    const QString series[] = {QStringLiteral("５０音"), QStringLiteral("濁音・半濁音"),
                              QStringLiteral("促音・ん・小文字")};
    for (short c = 1; c <= 3; ++c) {
        ChtGraph->SetColumn(c);
        ChtGraph->SetColumnLabel(series[c - 1]);
    }
    ChtGraph->SetFootnoteText(
        QStringLiteral("三種類の練習が同時にされない場合､練習されなかったﾃﾞｰﾀは前回と同じ値として"
                       "ｸﾞﾗﾌを画きます｡"));
    ChtGraph->SetValueAxisTitle(QStringLiteral("所要時間(秒)"));

    QList<DB_T_KEY> records;
    const bool read = DB_SelectT_Key(databasePath_, GraphQuery(), records) != 0;
    // The technical reason is in the log already; the learner reads what happened and what to do.
    const QString why = read ? QString() : DB_ProblemText(DB_LastProblem());
    // Drawn from this computer's rows while the school's server is away: a short note says so.
    if (read && DB_ServerProblem() != halvor::db::Problem::None)
        ChtGraph->SetFootnoteText(ChtGraph->GetFootnoteText() + QLatin1Char('\n') + DB_ServerAwayText());
    const QList<GraphRow> rows = BuildGraphRows(records);
    rowCount_ = int(rows.size());
    for (int r = 0; r < rowCount_; ++r) {
        const short row = short(r + 1);
        ChtGraph->SetRowCount(row);
        ChtGraph->SetRow(row);
        for (short c = 1; c <= 3; ++c) {
            ChtGraph->SetColumn(c);
            ChtGraph->SetData(QString::number(rows[r].values[c - 1], 'g', 15));
        }
        ChtGraph->SetRowLabel(rows[r].label);
    }

    QApplication::restoreOverrideCursor();

    // The chart is not on screen yet: its messages sit on the drill window the learner is looking at.
    QWidget* owner = parentWidget() ? parentWidget()->window() : this;
    if (!read) {
        // Made-up sample values would look like the learner's own after such a message.
        ChtGraph->SetSampleAllowed(false);
        ShowMessage(owner, QMessageBox::Warning, kCheckCaption,
                    QStringLiteral("成績のデータベースを読み込めませんでした。\n%1").arg(why));
    } else if (rowCount_ == 1) {
        ChtGraph->SetChartType(CMSChart::VtChChartType2dBar);
        ShowMessage(owner, QMessageBox::Warning, kCheckCaption,
                    QStringLiteral("グラフを描くデータが１件なので、棒グラフを表示します。"));
    } else if (rowCount_ == 0) {
        ShowMessage(owner, QMessageBox::Warning, kCheckCaption,
                    QStringLiteral("グラフを描くデータがないので、サンプルを表示します。"));
    }
}

} // namespace hiragana
