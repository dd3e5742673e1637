#include "Report.h"

#include "ChartPainter.h"
#include "Charts.h"
#include "Common.h"
#include "Export.h"
#include "Results.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>

#include <map>

namespace seiseki {

namespace {

const QColor kNavy(0x2b, 0x3a, 0x67);
const QColor kRule(0xb8, 0xc4, 0xdc);
const QColor kStripe(0xf2, 0xf6, 0xfc);
const QColor kNote(0xee, 0xf6, 0xff);

QFont font(double points, bool bold = false) {
    return CMN_Font(QStringLiteral("ＭＳ Ｐゴシック"), points, bold);
}

// Lays the report out top to bottom in 96-dpi pixels, starting a new page when the next piece does not fit.
// A first pass without a painter only counts the pages, so every footer can say "2 / 5".
class Page {
public:
    Page(QPdfWriter* pdf, QPainter* painter, const QSizeF& size, QString footer, int pages)
        : pdf_(pdf), p_(painter), width_(size.width()), footer_(std::move(footer)), pages_(pages) {
        height_ = size.height() - QFontMetricsF(font(8)).height() - 8; // the footer's line
    }
    ~Page() { drawFooter(); }
    double width() const { return width_; }
    double room() const { return height_ - y_; }
    int pages() const { return page_; }
    void newPage() {
        drawFooter();
        if (pdf_)
            pdf_->newPage();
        ++page_;
        y_ = 0;
    }
    void need(double height) {
        if (y_ + height > height_ && y_ > 0)
            newPage();
    }
    void skip(double height) { y_ += height; }
    // A block of text at the current line, wrapped to the page width (or shrunk to one line).
    void text(const QString& text, QFont f, const QColor& background = Qt::transparent,
              bool oneLine = false) {
        if (oneLine) {
            while (QFontMetricsF(f).horizontalAdvance(text) > width_ && f.pixelSize() > 8)
                f.setPixelSize(f.pixelSize() - 1);
        }
        const double pad = background.alpha() ? 8 : 0;
        const QRectF box =
            QFontMetricsF(f).boundingRect(QRectF(0, 0, width_ - 2 * pad, 1e6), Qt::TextWordWrap, text);
        need(box.height() + 2 * pad);
        if (p_) {
            if (pad > 0)
                p_->fillRect(QRectF(0, y_, width_, box.height() + 2 * pad), background);
            p_->setFont(f);
            p_->setPen(kNavy);
            p_->drawText(QRectF(pad, y_ + pad, width_ - 2 * pad, box.height()), Qt::TextWordWrap, text);
        }
        y_ += box.height() + 2 * pad + 6;
    }
    void chart(const halvor::TrendChart& chart, double height) {
        need(height);
        if (p_)
            halvor::paintTrendChart(*p_, QRectF(0, y_, width_, height), chart, font(9));
        y_ += height + 8;
    }
    // Columns as wide as their widest text needs, the rest shared by the figures; a text too long wraps
    // within its row. The header comes again on every page.
    void table(const QStringList& headers, const QList<QStringList>& rows, int textColumns) {
        const QFont body = font(8);
        const QFont bold = font(8, true);
        const QFontMetricsF fm(body), fmBold(bold);
        const int columns = int(headers.size());
        QList<double> want(columns, 0);
        for (int c = 0; c < columns; ++c) {
            for (const QString& line : headers[c].split(QLatin1Char('\n')))
                want[c] = std::max(want[c], fmBold.horizontalAdvance(line) + 6);
            for (const QStringList& row : rows)
                want[c] = std::max(want[c], fm.horizontalAdvance(row.value(c)) + 6);
        }
        double total = 0;
        for (double n : want)
            total += n;
        // Too wide: the text columns give way (and wrap), never the figures.
        const double over = total - width_;
        QList<double> widths = want;
        if (over > 0) {
            double text = 0;
            for (int c = 0; c < textColumns; ++c)
                text += want[c];
            for (int c = 0; c < textColumns; ++c)
                widths[c] = std::max(40.0, want[c] - over * want[c] / text);
        } else {
            for (int c = textColumns; c < columns; ++c)
                widths[c] += -over / (columns - textColumns);
        }
        QList<double> x{0};
        for (double w : widths)
            x << x.last() + w;
        double headerHeight = 0;
        for (const QString& h : headers)
            headerHeight =
                std::max(headerHeight, fmBold.height() * double(h.count(QLatin1Char('\n')) + 1) + 6);
        const auto header = [&] {
            if (p_) {
                p_->setFont(bold);
                p_->fillRect(QRectF(0, y_, x.last(), headerHeight), kRule);
                p_->setPen(kNavy);
                for (int c = 0; c < columns; ++c)
                    p_->drawText(QRectF(x[c] + 3, y_, widths[c] - 6, headerHeight), Qt::AlignCenter,
                                 headers[c]);
            }
            y_ += headerHeight;
        };
        need(headerHeight + fm.height() + 6);
        header();
        for (qsizetype r = 0; r < rows.size(); ++r) {
            double rowHeight = fm.height() + 6;
            for (int c = 0; c < textColumns; ++c)
                rowHeight = std::max(rowHeight, fm.boundingRect(QRectF(0, 0, widths[c] - 6, 1e6),
                                                                Qt::TextWordWrap, rows[r].value(c))
                                                        .height() +
                                                    6);
            if (y_ + rowHeight > height_) {
                newPage();
                header();
            }
            if (p_) {
                if (r % 2 == 1)
                    p_->fillRect(QRectF(0, y_, x.last(), rowHeight), kStripe);
                p_->setFont(body);
                p_->setPen(kNavy);
                for (int c = 0; c < columns; ++c) {
                    const Qt::Alignment align = c < textColumns ? Qt::AlignLeft : Qt::AlignRight;
                    p_->drawText(QRectF(x[c] + 3, y_, widths[c] - 6, rowHeight),
                                 align | Qt::AlignVCenter | Qt::TextWordWrap, rows[r].value(c));
                }
            }
            y_ += rowHeight;
        }
        y_ += 10;
    }

private:
    void drawFooter() {
        if (!p_ || footerDrawn_ == page_)
            return;
        footerDrawn_ = page_;
        const QFont f = font(8);
        const double h = QFontMetricsF(f).height();
        p_->setFont(f);
        p_->setPen(kNavy);
        const QRectF line(0, height_ + 8, width_, h);
        p_->drawText(line, Qt::AlignLeft | Qt::AlignVCenter, footer_);
        p_->drawText(line, Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("%1 / %2 ページ").arg(page_).arg(pages_));
    }

    QPdfWriter* pdf_;
    QPainter* p_;
    double width_ = 0;
    double height_ = 0;
    double y_ = 0;
    QString footer_;
    int pages_ = 0;
    int page_ = 1;
    int footerDrawn_ = 0;
};

const DB_LEARNER* learnerOf(const ReportData& data, const QString& name) {
    for (const DB_LEARNER& l : data.known) {
        if (l.name.compare(name, Qt::CaseInsensitive) == 0)
            return &l;
    }
    return nullptr;
}

QString period(const ReportData& data) {
    return QStringLiteral("きかん: %1").arg(rangeText({data.filter.from, data.filter.to}));
}

// One page a family can read: who, when, what improved, the charts and a word of encouragement.
void learnerPage(Page& page, const ReportData& data, const QString& learner, const QList<DB_RUN>& runs) {
    const DB_LEARNER* known = learnerOf(data, learner);
    page.text(QStringLiteral("%1 さんの れんしゅうの きろく").arg(learner), font(18, true), Qt::transparent,
              true);
    QStringList about;
    if (known && !known->className.isEmpty())
        about << QStringLiteral("クラス: %1").arg(known->className);
    if (known && known->number > 0)
        about << QStringLiteral("出席番号: %1").arg(known->number);
    about << period(data) << QStringLiteral("作成日: %1").arg(dayText(data.today));
    page.text(about.join(QStringLiteral("　　")), font(10));
    page.text(QStringLiteral("できるように なった こと\n") + summarize(runs), font(12), kNote);
    // The charts share what the page has left, the closing words kept.
    const QFont closing = font(13, true);
    const double closingHeight = QFontMetricsF(closing).height() * 2 + 30;
    const double noteHeight = QFontMetricsF(font(9)).height() * 2 + 10;
    const double each = std::clamp((page.room() - closingHeight - noteHeight) / kCharts - 8, 120.0, 260.0);
    for (const halvor::TrendChart& chart : learnerCharts(runs))
        page.chart(chart, each);
    page.text(chartNote(), font(9));
    page.text(encouragement(runs), closing);
}

void classReport(Page& page, const ReportData& data, const std::function<void(int, int)>& progress) {
    page.text(QStringLiteral("クラスの れんしゅうの きろく%1")
                  .arg(data.className.isEmpty() ? QString() : QStringLiteral("  ") + data.className),
              font(18, true), Qt::transparent, true);
    page.text(QStringLiteral("%1　　作成日: %2").arg(period(data), dayText(data.today)), font(10));
    QList<QStringList> rows;
    for (const OverviewRow& row : data.rows) {
        QStringList cells;
        for (const QVariant& v : overviewValues(row))
            cells << displayText(v);
        rows << cells;
    }
    page.table(overviewHeaders(), rows, kFirstFigureColumn);
    page.text(QStringLiteral("ひとりずつの ようす"), font(14, true));
    std::map<QString, QList<DB_RUN>> byLearner;
    for (const DB_RUN& run : data.runs)
        byLearner[run.learner.toCaseFolded()] << run;
    int done = 0;
    for (const OverviewRow& row : data.rows) {
        page.text(QStringLiteral("%1: %2").arg(row.learner, summarize(byLearner[row.learner.toCaseFolded()])),
                  font(10));
        if (progress)
            progress(++done, int(data.rows.size()));
    }
}

void learnerPages(Page& page, const ReportData& data, const std::function<void(int, int)>& progress) {
    std::map<QString, QList<DB_RUN>> byLearner;
    for (const DB_RUN& run : data.runs)
        byLearner[run.learner.toCaseFolded()] << run;
    for (qsizetype i = 0; i < data.learners.size(); ++i) {
        if (i > 0)
            page.newPage();
        learnerPage(page, data, data.learners[i], byLearner[data.learners[i].toCaseFolded()]);
        if (progress)
            progress(int(i) + 1, int(data.learners.size()));
    }
}

QPageLayout layoutOf(const ReportData& data) {
    // The class table has many columns: it is printed across the page.
    return QPageLayout(QPageSize(QPageSize::A4),
                       data.kind == ReportData::Kind::Class ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(15, 12, 15, 12), QPageLayout::Millimeter);
}

void drawReport(Page& page, const ReportData& data, const std::function<void(int, int)>& progress) {
    if (data.kind == ReportData::Kind::Class)
        classReport(page, data, progress);
    else
        learnerPages(page, data, progress);
}

} // namespace

bool writeReportPdf(const QString& file, const ReportData& data,
                    const std::function<void(int done, int steps)>& progress, QString* why) {
    const QString footer = QStringLiteral("%1%2").arg(
        data.className.isEmpty() ? QString() : QStringLiteral("クラス: %1　　").arg(data.className),
        period(data));
    const QSizeF size = layoutOf(data).paintRectPixels(96).size();
    int pages = 0;
    {
        Page count(nullptr, nullptr, size, footer, 0);
        drawReport(count, data, {});
        pages = count.pages();
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setTitle(data.kind == ReportData::Kind::Class ? QStringLiteral("クラスの れんしゅうの きろく")
                                                          : QStringLiteral("れんしゅうの きろく"));
        pdf.setCreator(QStringLiteral("Halvor Seiseki"));
        pdf.setResolution(96);
        pdf.setPageLayout(layoutOf(data));
        QPainter painter;
        if (!painter.begin(&pdf)) {
            if (why)
                *why = QStringLiteral("PDF を 作れません");
            return false;
        }
        painter.setRenderHint(QPainter::Antialiasing);
        {
            Page page(&pdf, &painter, size, footer, pages);
            drawReport(page, data, progress);
        }
        painter.end();
    }
    return writeWhole(file, buffer.data(), why);
}

} // namespace seiseki
