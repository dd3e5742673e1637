// halvor-iconrender: draws SVG artwork ahead, at build time.
//   halvor-iconrender <icon.svg> <theme folder> <size>...
//       the application icon as the PNG sizes of the hicolor icon theme:
//       <theme folder>/<size>x<size>/apps/<icon name>.png
//   halvor-iconrender --pictures <folder> <picture.svg>...
//       each picture at its own size for the usual device pixel ratios, as <folder>/<stem>@<ratio>x.px,
//       which the programs load instead of drawing the SVG while their first window waits
#include "SvgPicture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>
#include <memory>

namespace {

int renderIcon(const QStringList& args) {
    QSvgRenderer svg;
    halvor::loadSvg(svg, args[1]);
    if (!svg.isValid()) {
        std::fprintf(stderr, "halvor-iconrender: cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    const QString name = QFileInfo(args[1]).completeBaseName() + QStringLiteral(".png");
    for (const QString& sizeText : args.mid(3)) {
        bool ok = false;
        const int size = sizeText.toInt(&ok);
        if (!ok || size <= 0 || size > 1024) {
            std::fprintf(stderr, "halvor-iconrender: not a size: %s\n", qPrintable(sizeText));
            return 2;
        }
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(args[2]).arg(size);
        if (!QDir().mkpath(folder) ||
            !halvor::renderSvg(svg, QSize(size, size)).save(QDir(folder).filePath(name))) {
            std::fprintf(stderr, "halvor-iconrender: cannot write into %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}

int renderPictures(const QStringList& args) {
    const QDir folder(args[2]);
    if (!QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "halvor-iconrender: cannot make %s\n", qPrintable(folder.path()));
        return 1;
    }
    for (const QString& file : args.mid(3)) {
        QSvgRenderer svg;
        halvor::loadSvg(svg, file);
        const QSize size = svg.defaultSize();
        if (!svg.isValid() || size.isEmpty()) {
            std::fprintf(stderr, "halvor-iconrender: cannot read %s\n", qPrintable(file));
            return 1;
        }
        const QString stem = QFileInfo(file).completeBaseName();
        for (const int ratio : halvor::kPrerenderedRatios) {
            const QString out = folder.filePath(halvor::prerenderedName(stem, ratio));
            QFile file(out);
            if (!file.open(QIODevice::WriteOnly) ||
                !file.write(halvor::packPicture(halvor::renderSvg(svg, size * ratio))) || !file.flush()) {
                std::fprintf(stderr, "halvor-iconrender: cannot write %s\n", qPrintable(out));
                return 1;
            }
        }
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.size() >= 3 && args[1] == QLatin1String("--pictures")) {
        // Pictures hold text, and text needs the font database of a GUI application, but no display.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        return renderPictures(args);
    }
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: halvor-iconrender <icon.svg> <theme folder> <size>...\n"
                             "       halvor-iconrender --pictures <folder> <picture.svg>...\n");
        return 2;
    }
    // The icon is paths only (no text), so painting needs no application object and no display.
    return renderIcon(args);
}
