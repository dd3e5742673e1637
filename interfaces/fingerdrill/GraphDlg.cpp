#include "GraphDlg.h"

#include "Common.h"
#include "Database.h"
#include "MSChart.h"

#include <QMessageBox>
#include <QPushButton>

namespace halvor {

namespace {

QString RowLabel(const QDate& day, int round) {
    return day.toString(QStringLiteral("yyyy/MM/dd")) + QString::asprintf("_%d", round);
}

} // namespace

bool ReadChartRows(GraphKind kind, const QString& mdbPath, QList<ChartRow>& rows) {
    rows.clear();
    if (kind == GraphKind::Windmill) {
        if (!DB_OpenT_Digit(mdbPath,
                            QString::asprintf(" where [Pelvoran] = %d order by [Y4mmdd] , [round]", 12)))
            return false;
        DB_T_DIGIT r;
        while (DB_GetRecordT_Digit(&r))
            rows.append({RowLabel(r.Y4mmdd, r.Round), 1, r.result3});
        DB_CloseT_Digit();
    } else {
        if (!DB_OpenT_Key(mdbPath, " where [Tavrel] in (11,12) order by [Y4mmdd] , [round] , [Tavrel]"))
            return false;
        DB_T_KEY r;
        while (DB_GetRecordT_Key(&r))
            rows.append({RowLabel(r.Y4mmdd, r.Round), r.COND1 == QLatin1String("2") ? 1 : 2, r.result3});
        DB_CloseT_Key();
    }
    // A learner's newest runs matter most: when there are too many, the oldest make way.
    if (rows.size() > ChartRowLimit)
        rows.remove(0, rows.size() - ChartRowLimit);
    return true;
}

CGraphDlg::CGraphDlg(GraphKind kind, QWidget* parent) : QDialog(parent), kind_(kind) {
    CMN_GetMDBFilePath(mdbPath_);
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
    FillChart();
    close_->setFocus();
}

void CGraphDlg::SetUpChart() {
    chart_->SetChartType(CMSChart::VtChChartType2dLine);
    chart_->SetShowLegend(true);
    chart_->SetColumnCount(kind_ == GraphKind::Windmill ? 1 : 2);
    chart_->SetTitleText("これまでの練習結果");
    chart_->SetFootnoteText(QString());
    if (kind_ == GraphKind::Windmill) {
        chart_->SetColumn(1);
        chart_->SetColumnLabel("速度");
    } else {
        chart_->SetColumn(1);
        chart_->SetColumnLabel("二本指最高速度");
        chart_->SetColumn(2);
        chart_->SetColumnLabel("四本指最高速度");
    }
}

void CGraphDlg::FillChart() {
    QList<ChartRow> rows;
    if (!ReadChartRows(kind_, mdbPath_, rows)) {
        ShowMessage(QMessageBox::Critical,
                    kind_ == GraphKind::Windmill ? "Digit テーブル オープン エラー"
                                                 : "Key テーブル オープン エラー",
                    QStringLiteral("データベースが開けません。\n") + DB_ProblemText(DB_LastProblem()));
        return;
    }
    // Drawn from this computer's rows while the school's server is away: a short note says so.
    if (DB_ServerProblem() != db::Problem::None)
        chart_->SetFootnoteText(DB_ServerAwayText());
    short i = 0;
    for (const ChartRow& row : rows) {
        ++i; // at most ChartRowLimit rows, so i fits
        chart_->SetRowCount(i);
        chart_->SetRow(i);
        if (kind_ == GraphKind::Blocks) {
            chart_->SetColumn(1);
            chart_->SetData("0");
            chart_->SetColumn(2);
            chart_->SetData("0");
        }
        chart_->SetRowLabel(row.label);
        chart_->SetColumn(static_cast<short>(row.column));
        chart_->SetData(QString::asprintf("%f", row.value));
    }
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
