#include "FrmGraph.h"

#include "Common.h"
#include "MSChart.h"
#include "ProgressChart.h"
#include "modCommon.h"
#include "modMain.h"

#include <QPushButton>

namespace hiragana {

using halvor::FillKanaChart;
using halvor::SetUpKanaChart;
using halvor::ShowChartLoading;

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

    SetUpKanaChart(*ChtGraph);
    StartLoading();
}

void FrmGraph::StartLoading() {
    ShowChartLoading(*ChtGraph, true);
    halvor::db::readRowsInBackground<QList<DB_T_KEY>>(
        this,
        [path = databasePath_](QList<DB_T_KEY>& records) {
            return DB_SelectT_Key(path, GraphQuery(), records) != 0;
        },
        [this](const halvor::db::RowsRead<QList<DB_T_KEY>>& load) { DrawGraph(load); });
}

void FrmGraph::DrawGraph(const halvor::db::RowsRead<QList<DB_T_KEY>>& load) {
    loaded_ = true;
    ShowChartLoading(*ChtGraph, false);
    const bool read = load.read;
    // The technical reason is in the log already; the learner reads what happened and what to do.
    const QString why = read ? QString() : DB_ProblemText(load.problem);
    // Drawn from this computer's rows while the school's server is away: a short note says so.
    if (read && load.serverAway != halvor::db::Problem::None)
        ChtGraph->SetFootnoteText(ChtGraph->GetFootnoteText() + QLatin1Char('\n') + DB_ServerAwayText());
    const QList<GraphRow> rows = BuildGraphRows(load.rows);
    rowCount_ = int(rows.size());
    FillKanaChart(*ChtGraph, rows);

    // Its messages sit on the drill window the learner is looking at.
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
