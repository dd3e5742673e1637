#include "GraphDlg.h"

#include "Common.h"
#include "Database.h"
#include "MSChart.h"
#include "ProgressChart.h"

#include <QMessageBox>
#include <QPushButton>

namespace halvor {

bool ReadChartRows(GraphKind kind, const QString& mdbPath, QList<ChartRow>& rows) {
    rows.clear();
    if (kind == GraphKind::Windmill) {
        if (!DB_OpenT_Digit(mdbPath,
                            QString::asprintf(" where [Pelvoran] = %d order by [Y4mmdd] , [round]", 12)))
            return false;
        DB_T_DIGIT r;
        while (DB_GetRecordT_Digit(&r))
            rows.append(FingerChartRow(kind, r.Y4mmdd, r.Round, r.COND1, r.result3));
        DB_CloseT_Digit();
        return true;
    }
    if (!DB_OpenT_Key(mdbPath, " where [Tavrel] in (11,12) order by [Y4mmdd] , [round] , [Tavrel]"))
        return false;
    DB_T_KEY r;
    while (DB_GetRecordT_Key(&r))
        rows.append(FingerChartRow(kind, r.Y4mmdd, r.Round, r.COND1, r.result3));
    DB_CloseT_Key();
    return true;
}

CGraphDlg::CGraphDlg(GraphKind kind, QWidget* parent) : QDialog(parent), kind_(kind) {
    mdbPath_ = DB_DefaultPath();
    setWindowTitle("グラフ");
    setFont(CMN_Font("ＭＳ Ｐゴシック", 9));
    CMN_SetWindowSize(this, 720, 540);

    chart_ = new CMSChart(this);
    chart_->setObjectName("chtGraph");
    close_ = new QPushButton("閉じる", this);
    close_->setObjectName("cmdClose");
    close_->setDefault(true);
    connect(close_, &QPushButton::clicked, this,
            [this] { QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection); });

    const QRect client(0, 0, 720, 540);
    close_->setGeometry(client.right() + 1 - 100, client.bottom() + 1 - 38, 92, 30);
    chart_->setGeometry(client.left() + 8, client.top() + 8, client.width() - 16, client.height() - 54);

    SetUpChart();
    StartLoading();
    close_->setFocus();
}

void CGraphDlg::SetUpChart() {
    SetUpFingerChart(*chart_, kind_);
}

void CGraphDlg::StartLoading() {
    ShowChartLoading(*chart_, true);
    db::readRowsInBackground<QList<ChartRow>>(
        this,
        [kind = kind_, path = mdbPath_](QList<ChartRow>& rows) { return ReadChartRows(kind, path, rows); },
        [this](const db::RowsRead<QList<ChartRow>>& load) { FillChart(load); });
}

void CGraphDlg::FillChart(const db::RowsRead<QList<ChartRow>>& load) {
    loaded_ = true;
    ShowChartLoading(*chart_, false);
    const QList<ChartRow>& rows = load.rows;
    if (!load.read) {
        ShowMessage(QMessageBox::Critical,
                    kind_ == GraphKind::Windmill ? "Digit テーブル オープン エラー"
                                                 : "Key テーブル オープン エラー",
                    QStringLiteral("データベースが開けません。\n") + DB_ProblemText(load.problem));
        return;
    }
    // Drawn from this computer's rows while the school's server is away: a short note says so.
    if (load.serverAway != db::Problem::None)
        chart_->SetFootnoteText(DB_ServerAwayText());
    FillFingerChart(*chart_, kind_, rows);
    if (rows.size() == 1) {
        ShowMessage(QMessageBox::Warning, "グラフ データ チェック",
                    "グラフを描くデータが１件なので、棒グラフを表示します。");
        chart_->SetChartType(CMSChart::VtChChartType2dBar);
    } else if (rows.isEmpty()) {
        ShowMessage(QMessageBox::Warning, "グラフ データ チェック",
                    "グラフを描くデータがないので、サンプルを表示します。");
    }
}

void CGraphDlg::ShowMessage(int icon, const QString& caption, const QString& text) {
    auto* box = new QMessageBox(static_cast<QMessageBox::Icon>(icon), caption, text, QMessageBox::Ok, this);
    box->setObjectName("graphMessage");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    // Shown once the chart is on screen, so the message sits on top of it.
    QMetaObject::invokeMethod(box, &QWidget::show, Qt::QueuedConnection);
}

} // namespace halvor
