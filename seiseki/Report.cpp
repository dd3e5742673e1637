#include "Report.h"

#include "Charts.h"
#include "Common.h"
#include "Export.h"
#include "MSChart.h"
#include "Results.h"

#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>

#include <map>
#include <memory>

namespace seiseki {

namespace {

const QColor kNavy(0x2b, 0x3a, 0x67);
const QColor kRule(0xb8, 0xc4, 0xdc);
const QColor kStripe(0xf2, 0xf6, 0xfc);

// Lays the report out top to bottom in 96-dpi pixels, starting a new page when the next piece does not fit.
class Page {
public:
    Page(QPdfWriter& pdf, QPainter& painter) : pdf_(pdf), p_(painter) {
        const QRect area = pdf.pageLayout().paintRectPixels(pdf.resolution());
        width_ = area.width();
        height_ = area.height();
    }
    int width() const { return width_; }
    void need(int height) {
        if (y_ + height > height_ && y_ > 0) {
            pdf_.newPage();
            y_ = 0;
        }
    }
    // A block of text at the current line, wrapped to the page width.
    void text(const QString& text, const QFont& font, const QColor& colour = kNavy) {
        p_.setFont(font);
        const QRect box = p_.boundingRect(QRect(0, 0, width_, 10000), Qt::TextWordWrap, text);
        need(box.height());
        p_.setPen(colour);
        p_.drawText(QRect(0, y_, width_, box.height()), Qt::TextWordWrap, text);
        y_ += box.height() + 6;
    }
    void chart(CMSChart& chart, int height) {
        need(height);
        chart.Print(p_, QRectF(0, y_, width_, height));
        y_ += height + 10;
    }
    // Columns share the width by the given weights; the first `textColumns` are text (left), the rest figures
    // (right). The header comes again on every page.
    void table(const QStringList& headers, const QList<QStringList>& rows, const QList<int>& weights,
               int textColumns) {
        const QFont font = CMN_Font(QStringLiteral("ＭＳ Ｐゴシック"), 8);
        const QFont bold = CMN_Font(QStringLiteral("ＭＳ Ｐゴシック"), 8, true);
        int total = 0;
        for (int w : weights)
            total += w;
        QList<int> x{0};
        for (int w : weights)
            x << x.last() + width_ * w / total;
        p_.setFont(bold);
        int headerHeight = 0;
        for (const QString& h : headers)
            headerHeight = std::max(headerHeight, p_.boundingRect(QRect(0, 0, 200, 200), 0, h).height() + 6);
        const int rowHeight = QFontMetrics(font).height() + 6;
        const auto header = [&] {
            p_.setFont(bold);
            p_.fillRect(QRect(0, y_, width_, headerHeight), kRule);
            p_.setPen(kNavy);
            for (qsizetype c = 0; c < headers.size(); ++c)
                p_.drawText(QRect(x[c] + 3, y_, x[c + 1] - x[c] - 6, headerHeight), Qt::AlignCenter,
                            headers[c]);
            y_ += headerHeight;
        };
        need(headerHeight + rowHeight);
        header();
        for (qsizetype r = 0; r < rows.size(); ++r) {
            if (y_ + rowHeight > height_) {
                pdf_.newPage();
                y_ = 0;
                header();
            }
            if (r % 2 == 1)
                p_.fillRect(QRect(0, y_, width_, rowHeight), kStripe);
            p_.setFont(font);
            p_.setPen(kNavy);
            for (qsizetype c = 0; c < rows[r].size() && c < headers.size(); ++c) {
                const Qt::Alignment align = c < textColumns ? Qt::AlignLeft : Qt::AlignRight;
                p_.drawText(QRect(x[c] + 3, y_, x[c + 1] - x[c] - 6, rowHeight), align | Qt::AlignVCenter,
                            rows[r][c]);
            }
            y_ += rowHeight;
        }
        y_ += 10;
    }

private:
    QPdfWriter& pdf_;
    QPainter& p_;
    int width_ = 0;
    int height_ = 0;
    int y_ = 0;
};

QFont font(double points, bool bold = false) {
    return CMN_Font(QStringLiteral("ＭＳ Ｐゴシック"), points, bold);
}

QString classOf(const ReportData& data, const QString& learner) {
    for (const DB_LEARNER& l : data.learners) {
        if (l.name.compare(learner, Qt::CaseInsensitive) == 0)
            return l.className;
    }
    return {};
}

void learnerReport(Page& page, const ReportData& data) {
    const QString className = classOf(data, data.learner);
    page.text(QStringLiteral("%1 さんの れんしゅうの きろく").arg(data.learner), font(18, true));
    page.text(QStringLiteral("%1きかん: %2　　作成日: %3")
                  .arg(className.isEmpty() ? QString() : QStringLiteral("クラス: %1　　").arg(className),
                       rangeText({data.filter.from, data.filter.to}),
                       data.today.toString(QStringLiteral("yyyy/MM/dd"))),
              font(10));
    page.text(summarize(data.runs, data.today), font(12));
    const std::array<CMSChart*, kCharts> charts = makeCharts(nullptr);
    std::array<std::unique_ptr<CMSChart>, kCharts> owned;
    for (int i = 0; i < kCharts; ++i)
        owned[i].reset(charts[i]);
    fillCharts(charts, data.runs);
    for (CMSChart* chart : charts)
        page.chart(*chart, 230);
    QList<QStringList> rows;
    for (const DB_RUN& run : data.runs)
        rows << runFields(run);
    page.table(runHeaders(), rows, {14, 10, 12, 6, 10, 12, 8, 12}, 3);
}

void classReport(Page& page, const ReportData& data) {
    page.text(QStringLiteral("クラスの れんしゅうの きろく"), font(18, true));
    page.text(QStringLiteral("きかん: %1　　作成日: %2")
                  .arg(rangeText({data.filter.from, data.filter.to}),
                       data.today.toString(QStringLiteral("yyyy/MM/dd"))),
              font(10));
    QList<QStringList> rows;
    const QList<OverviewRow> overview = buildOverview(data.learners, data.groups);
    for (const OverviewRow& row : overview) {
        QStringList cells;
        for (const QVariant& v : overviewValues(row))
            cells << displayText(v);
        rows << cells;
    }
    QList<int> weights{16, 8};
    for (qsizetype c = 2; c < overviewHeaders().size() - 1; ++c)
        weights << 6;
    weights << 11;
    page.table(overviewHeaders(), rows, weights, 2);
    page.text(QStringLiteral("ひとりずつの ようす"), font(14, true));
    std::map<QString, QList<DB_RUN>> byLearner;
    for (const DB_RUN& run : data.runs)
        byLearner[run.learner.toCaseFolded()] << run;
    for (const OverviewRow& row : overview) {
        const QList<DB_RUN> runs = byLearner[row.learner.toCaseFolded()];
        page.text(QStringLiteral("%1: %2").arg(row.learner, summarize(runs, data.today)), font(10));
    }
}

} // namespace

bool writeReportPdf(const QString& file, const ReportData& data, QString* why) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setTitle(data.learner.isEmpty()
                         ? QStringLiteral("クラスの れんしゅうの きろく")
                         : QStringLiteral("%1 さんの れんしゅうの きろく").arg(data.learner));
        pdf.setCreator(QStringLiteral("Halvor Seiseki"));
        pdf.setResolution(96);
        // The class table has many columns: it is printed across the page.
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4),
                                      data.learner.isEmpty() ? QPageLayout::Landscape : QPageLayout::Portrait,
                                      QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
        QPainter painter;
        if (!painter.begin(&pdf)) {
            if (why)
                *why = QStringLiteral("PDF を 作れません");
            return false;
        }
        painter.setRenderHint(QPainter::Antialiasing);
        Page page(pdf, painter);
        if (data.learner.isEmpty())
            classReport(page, data);
        else
            learnerReport(page, data);
        painter.end();
    }
    return writeWhole(file, buffer.data(), why);
}

} // namespace seiseki
