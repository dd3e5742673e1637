// Whether the text drawn in a program's artwork can be read by young and older learners: at least 12 px,
// a contrast of at least 4.5:1 against what lies behind it, and bold that shows: at least 1.3 times the ink
// of the same text in regular, at both densities the pictures are drawn ahead for (the Japanese fonts have
// no bold face and the SVG renderer does not thicken them, so bold needs an outline in the text's own
// colour). Each text is measured as the programs draw it: the picture is rendered with that text alone and
// without any, and the pixels that differ are its glyphs.
#pragma once

#include "SvgPicture.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

namespace artwork {

constexpr double kMinimumContrast = 4.5;
constexpr double kMinimumPixelSize = 12;
// How much more ink bold must lay down than the same text in regular.
constexpr double kBoldInk = 1.3;

inline double luminance(QColor c) {
    auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

inline double contrast(QColor a, QColor b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

struct Text {
    qsizetype begin = 0, end = 0; // the element's span in the file
    QString attributes, content;
    bool followed = true; // false under a scale or rotation, where font-size is not the size drawn
    QString attribute(const QString& name) const {
        const QRegularExpression re(QStringLiteral("(?:^|\\s)%1=\"([^\"]*)\"").arg(name));
        return re.match(attributes).captured(1);
    }
};

struct Measure {
    QString content;
    double pixelSize = 0;
    double contrast = 0; // against the colour most of its glyphs lie on
    double boldInk = 0;  // ink as drawn / ink in plain regular (bold text only)
    bool followed = true;
};

inline std::vector<Text> texts(const QString& svg) {
    static const QRegularExpression token(
        QStringLiteral("<g\\b([^>]*)>|</g>|<text\\b([^>]*)>([^<]*)</text>"));
    static const QRegularExpression translate(QStringLiteral("^\\s*translate\\([^)]*\\)\\s*$"));
    static const QRegularExpression transform(QStringLiteral("transform=\"([^\"]*)\""));
    std::vector<bool> followed{true};
    std::vector<Text> out;
    for (auto it = token.globalMatch(svg); it.hasNext();) {
        const auto m = it.next();
        const QString tag = m.captured(0);
        if (tag.startsWith(QLatin1String("</g"))) {
            if (followed.size() > 1)
                followed.pop_back();
        } else if (tag.startsWith(QLatin1String("<g"))) {
            const auto t = transform.match(m.captured(1));
            if (!tag.endsWith(QLatin1String("/>")))
                followed.push_back(followed.back() &&
                                   (!t.hasMatch() || translate.match(t.captured(1)).hasMatch()));
        } else if (!m.captured(3).trimmed().isEmpty()) {
            out.push_back({m.capturedStart(), m.capturedEnd(), m.captured(2), m.captured(3),
                           followed.back() && !m.captured(2).contains(QLatin1String("transform"))});
        }
    }
    return out;
}

// The picture as a program draws it at `ratio`, on white: see-through parts lie on the page below, and white
// is the likeliest.
inline QImage render(const QString& svg, qreal ratio = 1) {
    QSvgRenderer renderer(halvor::textStrokesAsWritten(svg.toUtf8()));
    QImage image(renderer.defaultSize() * ratio, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.drawImage(0, 0, halvor::renderSvg(renderer, image.size()));
    return image;
}

// The file with every text removed except those in `keep`; `replacement` stands for the last of them if
// given.
inline QString only(const QString& svg, const std::vector<Text>& all, const std::vector<int>& keep,
                    const QString& replacement = {}) {
    QString out;
    qsizetype at = 0;
    for (int i = 0; i < static_cast<int>(all.size()); ++i) {
        const Text& t = all[static_cast<std::size_t>(i)];
        out += svg.mid(at, t.begin - at);
        if (std::find(keep.begin(), keep.end(), i) != keep.end())
            out +=
                !replacement.isEmpty() && i == keep.back() ? replacement : svg.mid(t.begin, t.end - t.begin);
        at = t.end;
    }
    return out + svg.mid(at);
}

// How much `with` differs from `without` (its ink, in whole pixels' worth), and what `without` has where
// they differ.
inline std::pair<double, std::map<QRgb, int>> glyphs(const QImage& with, const QImage& without) {
    double ink = 0;
    std::map<QRgb, int> behind;
    for (int y = 0; y < with.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(with.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(without.constScanLine(y));
        for (int x = 0; x < with.width(); ++x) {
            const int d = std::max({std::abs(qRed(a[x]) - qRed(b[x])), std::abs(qGreen(a[x]) - qGreen(b[x])),
                                    std::abs(qBlue(a[x]) - qBlue(b[x]))});
            ink += d / 255.0;
            if (d > 24)
                ++behind[b[x]];
        }
    }
    return {ink, behind};
}

// Each text's measures at `ratio`; with boldOnly, of one bold text of each size and outline only (bold's
// weight depends on those, and the pictures have hundreds of bold key labels).
inline std::vector<Measure> measure(const QString& svg, qreal ratio = 1, bool boldOnly = false) {
    std::vector<QString> kinds;
    const std::vector<Text> all = texts(svg);
    const auto render = [ratio](const QString& picture) { return artwork::render(picture, ratio); };
    const QImage bare = render(only(svg, all, {}));
    auto samePlace = [](const Text& a, const Text& b) {
        return a.content == b.content &&
               a.attribute(QStringLiteral("x")) == b.attribute(QStringLiteral("x")) &&
               a.attribute(QStringLiteral("y")) == b.attribute(QStringLiteral("y"));
    };
    std::vector<Measure> out;
    for (int i = 0; i < static_cast<int>(all.size()); ++i) {
        const Text& t = all[static_cast<std::size_t>(i)];
        // A copy drawn under a text at the same place is its halo: part of what the text lies on.
        if (std::any_of(all.begin() + i + 1, all.end(), [&](const Text& o) { return samePlace(o, t); }))
            continue;
        const QString weight = t.attribute(QStringLiteral("font-weight"));
        const bool bold = weight == QLatin1String("bold") || weight.toInt() >= 600;
        if (boldOnly) {
            const QString kind = t.attribute(QStringLiteral("font-size")) + QLatin1Char('/') +
                                 t.attribute(QStringLiteral("stroke-width"));
            if (!bold || std::find(kinds.begin(), kinds.end(), kind) != kinds.end())
                continue;
            kinds.push_back(kind);
        }
        std::vector<int> drawn;
        for (int j = 0; j < i; ++j) {
            if (samePlace(all[static_cast<std::size_t>(j)], t))
                drawn.push_back(j);
        }
        const QImage behind = drawn.empty() ? bare : render(only(svg, all, drawn));
        drawn.push_back(i);
        Measure m{t.content, t.attribute(QStringLiteral("font-size")).toDouble(), 0, 0, t.followed};
        const auto [ink, colours] = glyphs(render(only(svg, all, drawn)), behind);
        const auto most = std::max_element(colours.begin(), colours.end(),
                                           [](const auto& a, const auto& b) { return a.second < b.second; });
        if (most != colours.end()) {
            const QColor back = QColor::fromRgb(most->first);
            m.contrast = contrast(QColor(t.attribute(QStringLiteral("fill"))), back);
            // A dark outline of a pixel or more carries a light glyph.
            const QColor stroke(t.attribute(QStringLiteral("stroke")));
            if (stroke.isValid() && t.attribute(QStringLiteral("stroke-width")).toDouble() >= 1)
                m.contrast = std::max(m.contrast, contrast(stroke, back));
        }
        if (bold) {
            static const QRegularExpression styling(
                QStringLiteral("\\s(font-weight|stroke|stroke-width|stroke-linejoin)=\"[^\"]*\""));
            QString plain = svg.mid(t.begin, t.end - t.begin);
            const qsizetype close = plain.indexOf(QLatin1Char('>'));
            QString head = plain.left(close);
            head.remove(styling);
            plain = head + plain.mid(close);
            const double regular = glyphs(render(only(svg, all, drawn, plain)), behind).first;
            m.boldInk = regular > 0 ? ink / regular : 0;
        }
        out.push_back(m);
    }
    return out;
}

// Every rule a text of the picture at `path` breaks, one line each; empty when all is well.
inline QStringList problems(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {path + QStringLiteral(": cannot be read")};
    QStringList out;
    const QString name = QFileInfo(path).fileName();
    const QString svg = QString::fromUtf8(file.readAll());
    for (const Measure& m : measure(svg)) {
        const QString what = QStringLiteral("%1 \"%2\"").arg(name, m.content);
        if (!m.followed)
            out << what + QStringLiteral(": under a transform the check does not follow");
        if (m.pixelSize < kMinimumPixelSize)
            out << what + QStringLiteral(": %1 px").arg(m.pixelSize);
        if (m.contrast < kMinimumContrast)
            out << what + QStringLiteral(": contrast %1:1").arg(m.contrast, 0, 'f', 2);
        if (m.boldInk != 0 && m.boldInk < kBoldInk)
            out << what + QStringLiteral(": bold draws as regular (ink x%1)").arg(m.boldInk, 0, 'f', 2);
    }
    for (const Measure& m : measure(svg, 2, true)) {
        if (m.boldInk < kBoldInk)
            out << QStringLiteral("%1 \"%2\": bold draws as regular at density 2 (ink x%3)")
                       .arg(name, m.content)
                       .arg(m.boldInk, 0, 'f', 2);
    }
    return out;
}

// A test's data table of every picture the program carries (its Qt resources)...
inline void pictureRows() {
    QTest::addColumn<QString>("picture");
    const QDir folder(QStringLiteral(":/bitmap"));
    for (const QString& f : folder.entryList({QStringLiteral("*.svg")}, QDir::Files, QDir::Name))
        QTest::newRow(qPrintable(f)) << folder.filePath(f);
}

// ... and the check of one row.
inline void verifyReadable() {
    QFETCH(QString, picture);
    const QStringList found = problems(picture);
    QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
}

} // namespace artwork
