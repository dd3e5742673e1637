// Drawing surfaces, sprites, textured squares and text: a premultiplied QImage back buffer per program,
// shown by a child view of the drill's drawing frame.
#include "Common.h"
#include "CommonDetail.h"
#include "SvgPicture.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFontMetrics>
#include <QHash>
#include <QLoggingCategory>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QResource>
#include <QSvgRenderer>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

Q_LOGGING_CATEGORY(lcDraw, "halvor.draw", QtInfoMsg)

namespace cmn_detail {

// A picture drawn ahead at build time for this ratio and size; null when there is none.
QImage prerendered(const QString& base, QSize size, qreal ratio) {
    for (const int drawn : halvor::kPrerenderedRatios) {
        if (ratio != drawn)
            continue;
        const QResource resource(halvor::prerenderedName(base, drawn));
        if (!resource.isValid())
            return {};
        QImage image = halvor::unpackPicture(resource.uncompressedData());
        if (image.isNull() || (size.isValid() && image.size() != deviceSize(size, ratio)))
            return {};
        image.setDevicePixelRatio(ratio);
        return image;
    }
    return {};
}

struct Preloaded {
    QString base;
    qreal ratio;
    std::shared_future<QImage> image;
};

struct Preloads {
    std::mutex lock;
    std::vector<Preloaded> pictures;
    // A black back surface of this logical size at this ratio.
    QSize backSize;
    qreal backRatio = 1;
    std::shared_future<QImage> back;
};

Preloads& preloads() {
    static Preloads p;
    return p;
}

QImage takePreloaded(const QString& base, qreal ratio) {
    Preloads& p = preloads();
    std::shared_future<QImage> image;
    {
        const std::lock_guard<std::mutex> locked(p.lock);
        for (auto it = p.pictures.begin(); it != p.pictures.end(); ++it) {
            if (it->base != base)
                continue;
            // Read for another density than the window has: of no use, and let go.
            if (it->ratio == ratio)
                image = it->image;
            p.pictures.erase(it);
            break;
        }
    }
    return image.valid() ? image.get() : QImage();
}

QImage takePreloadedBack(QSize logical, qreal ratio) {
    Preloads& p = preloads();
    std::shared_future<QImage> image;
    {
        const std::lock_guard<std::mutex> locked(p.lock);
        if (p.back.valid() && p.backSize == logical && p.backRatio == ratio)
            image = p.back;
        p.back = {};
    }
    return image.valid() ? image.get() : QImage();
}

void dropPreloaded() {
    Preloads& p = preloads();
    const std::lock_guard<std::mutex> locked(p.lock);
    p.pictures.clear();
    p.back = {};
}

QImage loadPicture(const QString& folder, const QString& stem, QSize size, qreal ratio) {
    const QString base = QStringLiteral(":/%1/%2").arg(folder, stem);
    const QString svgPath = base + QStringLiteral(".svg");
    if (ratio <= 0 || !std::isfinite(ratio))
        ratio = 1;
    if (QImage image = takePreloaded(base, ratio);
        !image.isNull() && (!size.isValid() || image.size() == deviceSize(size, ratio)))
        return image;
    if (QImage image = prerendered(base, size, ratio); !image.isNull())
        return image;
    if (QFile::exists(svgPath)) {
        QSvgRenderer renderer;
        halvor::loadSvg(renderer, svgPath);
        if (!renderer.isValid()) {
            qCWarning(lcDraw) << svgPath << "is not a readable SVG";
            return {};
        }
        const QSize target = size.isValid() ? size : renderer.defaultSize();
        const QSize pixels = deviceSize(target, ratio);
        if (target.isEmpty() || pixels.width() > 16384 || pixels.height() > 16384) {
            qCWarning(lcDraw) << svgPath << "has no usable width and height:" << target;
            return {};
        }
        QImage image = halvor::renderSvg(renderer, pixels);
        image.setDevicePixelRatio(ratio);
        return image;
    }
    const QString pngPath = base + QStringLiteral(".png");
    QImage image(pngPath);
    if (image.isNull())
        return {};
    const QSize pixels = deviceSize(size.isValid() ? size : image.size(), ratio);
    if (image.size() != pixels)
        image = image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    return image;
}

int toDevice(int logical, qreal ratio) {
    return int(std::floor(logical * ratio + 0.5));
}

QRect toDevice(const QRect& logical, qreal ratio) {
    const int left = toDevice(logical.x(), ratio);
    const int top = toDevice(logical.y(), ratio);
    return QRect(left, top, toDevice(logical.x() + logical.width(), ratio) - left,
                 toDevice(logical.y() + logical.height(), ratio) - top);
}

QSize deviceSize(QSize logical, qreal ratio) {
    return toDevice(QRect(QPoint(0, 0), logical), ratio).size();
}

QSize logicalSize(const QImage& image) {
    return image.deviceIndependentSize().toSize();
}

} // namespace cmn_detail

namespace {

struct ColourKey {
    bool set = false;
    COLORREF low = 0xFF0000;
    COLORREF high = 0xFF0000;
};

class FrontView;

struct FontEntry {
    QFont font;
    int ascent = 0;
    int height = 0;
    // Bold asked of a family without a bold face (the Japanese fonts): Qt then draws it regular, so the
    // glyphs get an outline in their own colour of this width instead; 0 when not needed.
    qreal outline = 0;
};

struct DrawState {
    CMN_Surface back;
    QImage front;
    QPointer<QWidget> frame;
    QPointer<FrontView> view;
    std::vector<std::unique_ptr<CMN_Surface>> surfaces;
    std::vector<std::unique_ptr<CMN_Texture>> textures;
    std::unique_ptr<tagSprite[]> sprites;
    int spriteCount = 0;
    CMN_Surface* d3Target = nullptr;
    ColourKey defaultKey;
    ColourKey lastKey{true, 0xFF0000, 0xFF0000};
    std::function<void()> restore;
    qreal scale = 1; // device pixels per logical pixel of the back surface and of every picture loaded
    bool forceFailure = false;
    QHash<QString, FontEntry> fonts;
    // Whether a surface's current picture is fully opaque, by its image's cache key, so a background is a row
    // copy rather than a blend.
    std::unordered_map<const CMN_Surface*, std::pair<qint64, bool>> opaque;
};

void releaseAtExit();

DrawState& state() {
    static DrawState s;
    static const bool registered = [] {
        // Fonts, images and the view go before the application does, not in static destruction after it.
        if (QCoreApplication::instance())
            qAddPostRoutine(releaseAtExit);
        return true;
    }();
    Q_UNUSED(registered);
    return s;
}

void releaseAtExit() {
    CMN_DXReleaseDirectDraw7();
    state().fonts.clear();
}

QImage blankImage(QSize logical, qreal ratio) {
    QImage image(cmn_detail::deviceSize(logical, ratio), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::black);
    return image;
}

// The back surface and every picture follow the pixel density the frame is shown at: the back is redrawn
// at the new density from what it held, the program reloads its pictures (its restore routine) and draws
// again where it can.
void rescale(qreal ratio) {
    DrawState& s = state();
    if (s.back.image.isNull() || !s.frame)
        return;
    if (!qFuzzyCompare(ratio, s.scale)) {
        s.scale = ratio;
        QImage back = blankImage(s.frame->size(), ratio);
        QPainter painter(&back);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(QPointF(0, 0), s.back.image.deviceIndependentSize()), s.back.image);
        painter.end();
        s.back.image = back;
        s.front = back.copy();
        s.opaque.clear();
    }
    if (auto restore = s.restore)
        restore();
    CMN_DXFlip();
}

void requestRestore(qreal ratio) {
    // Queued: the view learns of a change inside its own paint or event handling, where reloading is unsafe.
    QMetaObject::invokeMethod(
        qApp, [ratio] { rescale(ratio); }, Qt::QueuedConnection);
}

// The child of the drawing frame that shows the front image.
class FrontView : public QWidget {
public:
    explicit FrontView(QWidget* frame) : QWidget(frame) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setObjectName(QStringLiteral("halvorDrawView"));
        setGeometry(frame->rect());
        frame->installEventFilter(this);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const qreal ratio = CMN_PixelRatio(this);
        if (!qFuzzyCompare(ratio, state().scale) && !qFuzzyCompare(ratio, asked_)) {
            asked_ = ratio;
            requestRestore(ratio);
        }
        const QImage& front = state().front;
        if (front.isNull()) {
            painter.fillRect(rect(), Qt::black);
            return;
        }
        painter.drawImage(0, 0, front);
        const QSize shown = cmn_detail::logicalSize(front);
        if (shown.width() < width() || shown.height() < height()) {
            painter.fillRect(shown.width(), 0, width() - shown.width(), height(), Qt::black);
            painter.fillRect(0, shown.height(), shown.width(), height() - shown.height(), Qt::black);
        }
    }
    bool event(QEvent* event) override {
        if (event->type() == QEvent::ScreenChangeInternal) {
            asked_ = CMN_PixelRatio(this);
            requestRestore(asked_);
        }
        return QWidget::event(event);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == parent() && event->type() == QEvent::Resize)
            setGeometry(parentWidget()->rect());
        return false;
    }

private:
    qreal asked_ = 0; // the ratio a queued restore is on its way for
};

// The colours a key takes out, as per-channel bounds of opaque ARGB pixels.
struct KeyRange {
    quint32 low[3], high[3];

    explicit KeyRange(const ColourKey& key) {
        for (int c = 0; c < 3; ++c) { // red, green, blue: bytes 0, 1, 2 of a COLORREF
            const quint32 l = (key.low >> (8 * c)) & 0xFFu, h = (key.high >> (8 * c)) & 0xFFu;
            low[c] = std::min(l, h);
            high[c] = std::max(l, h);
        }
    }
    bool matches(QRgb pixel) const {
        const quint32 channel[3] = {quint32(qRed(pixel)), quint32(qGreen(pixel)), quint32(qBlue(pixel))};
        return qAlpha(pixel) == 255 && channel[0] - low[0] <= high[0] - low[0] &&
               channel[1] - low[1] <= high[1] - low[1] && channel[2] - low[2] <= high[2] - low[2];
    }
};

void applyKey(QImage& image, const ColourKey& key) {
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const KeyRange range(key);
    const int width = image.width(), height = image.height();
    // Read first: a picture loaded from the program's resources is shared, and is copied only when it has
    // a pixel to take out.
    const auto keyed = [&range](QRgb pixel) { return range.matches(pixel); };
    int y = 0;
    for (; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        if (std::any_of(line, line + width, keyed))
            break;
    }
    for (; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        std::replace_if(line, line + width, keyed, QRgb(0));
    }
}

bool isOpaque(const CMN_Surface* surface) {
    auto& cache = state().opaque;
    const qint64 key = surface->image.cacheKey();
    if (auto it = cache.find(surface); it != cache.end() && it->second.first == key)
        return it->second.second;
    const bool opaque = CMN_IsOpaque(surface->image);
    cache[surface] = {key, opaque};
    return opaque;
}

// x * a / 255 on all four channels at once.
inline quint32 byteMul(quint32 x, quint32 a) {
    quint32 t = (x & 0xff00ffu) * a;
    t = (t + ((t >> 8) & 0xff00ffu) + 0x800080u) >> 8;
    t &= 0xff00ffu;
    x = ((x >> 8) & 0xff00ffu) * a;
    x = x + ((x >> 8) & 0xff00ffu) + 0x800080u;
    x &= 0xff00ff00u;
    return x | t;
}

// Up to this many pixels a blend is done here; a painter costs more to set up than it saves.
constexpr int kSmallBlend = 4096;

// Source-over copy of a clipped rectangle between premultiplied images.
void blit(QImage& dest, QPoint at, const QImage& source, const QRect& from, bool opaque) {
    uchar* destBits = dest.bits();
    const qsizetype destStride = dest.bytesPerLine();
    const uchar* sourceBits = source.constBits();
    const qsizetype sourceStride = source.bytesPerLine();
    for (int row = 0; row < from.height(); ++row) {
        const auto* s =
            reinterpret_cast<const quint32*>(sourceBits + (from.y() + row) * sourceStride) + from.x();
        auto* d = reinterpret_cast<quint32*>(destBits + (at.y() + row) * destStride) + at.x();
        if (opaque) {
            std::memcpy(d, s, size_t(from.width()) * 4);
            continue;
        }
        for (int i = 0; i < from.width(); ++i) {
            const quint32 p = s[i];
            const quint32 a = p >> 24;
            if (a == 255)
                d[i] = p;
            else if (a != 0)
                d[i] = p + byteMul(d[i], 255 - a);
        }
    }
}

CMN_Surface* ownSurface() {
    auto& surfaces = state().surfaces;
    surfaces.push_back(std::make_unique<CMN_Surface>());
    return surfaces.back().get();
}

const FontEntry& fontFor(const QString& face, int size, bool bold) {
    auto& fonts = state().fonts;
    const QString key =
        face + QLatin1Char('|') + QString::number(size) + (bold ? QStringLiteral("|b") : QString());
    auto it = fonts.find(key);
    if (it == fonts.end()) {
        FontEntry entry;
        entry.font = CMN_Font(face, size / 10.0, bold);
        entry.font.setStyleStrategy(QFont::PreferAntialias);
        const QFontMetrics metrics(entry.font);
        entry.ascent = metrics.ascent();
        entry.height = metrics.height();
        entry.outline = cmn_detail::boldOutline(entry.font);
        it = fonts.insert(key, entry);
    }
    return it.value();
}

} // namespace

CMN_Surface* CMN_DXInitDirectDraw7(QWidget* frame) {
    DrawState& s = state();
    if (s.forceFailure) {
        qCWarning(lcDraw) << "drawing set-up failed on request";
        return nullptr;
    }
    if (!frame || frame->width() <= 0 || frame->height() <= 0) {
        qCWarning(lcDraw) << "drawing set-up needs a frame with a size";
        return nullptr;
    }
    delete s.view.data();
    s.frame = frame;
    s.scale = CMN_PixelRatio(frame);
    s.back.image = cmn_detail::takePreloadedBack(frame->size(), s.scale);
    if (s.back.image.isNull())
        s.back.image = blankImage(frame->size(), s.scale);
    s.back.resourceId = 0;
    s.front = QImage(); // made by the first flip; shown black until then

    s.view = new FrontView(frame);
    s.view->show();
    s.view->raise();
    return &s.back;
}

CMN_Surface* CMN_DXCreateSurfaceFromBitmap(CMN_Surface* surface, int id) {
    QImage image = cmn_detail::loadPicture(QStringLiteral("bitmap"), QString::number(id), {}, state().scale);
    if (image.isNull()) {
        qCWarning(lcDraw) << "bitmap" << id << "is missing";
        return nullptr;
    }
    DrawState& s = state();
    const bool keyed = s.defaultKey.set || (surface && surface->colourKeyed);
    if (keyed)
        applyKey(image, s.defaultKey.set ? s.defaultKey : s.lastKey);
    CMN_Surface* target = surface ? surface : ownSurface();
    target->image = std::move(image);
    target->resourceId = id;
    target->colourKeyed = keyed;
    return target;
}

int CMN_DXSetColorKey(CMN_Surface* surface, COLORREF low, COLORREF high) {
    DrawState& s = state();
    const ColourKey key{true, low, high};
    if (!surface) {
        s.defaultKey = key;
        return 1;
    }
    if (surface->image.isNull()) {
        qCWarning(lcDraw) << "colour key on an empty surface";
        return 0;
    }
    applyKey(surface->image, key);
    surface->colourKeyed = true;
    s.lastKey = key;
    return 1;
}

int CMN_DXPutSurface(CMN_Surface* dest, int x, int y, CMN_Surface* source, const QRect* sourceRect) {
    if (!dest || !source || dest->image.isNull() || source->image.isNull()) {
        qCDebug(lcDraw) << "put with a missing surface";
        return 0;
    }
    // Positions and rectangles are logical pixels; each image says how many device pixels make one.
    QRect from =
        sourceRect ? sourceRect->normalized() : QRect(QPoint(0, 0), cmn_detail::logicalSize(source->image));
    // A source rectangle reaching outside its picture keeps its placement: the part that exists lands where
    // it would have.
    const QRect inside = from.intersected(QRect(QPoint(0, 0), cmn_detail::logicalSize(source->image)));
    x += inside.x() - from.x();
    y += inside.y() - from.y();
    from = inside;
    if (from.isEmpty())
        return 1;
    const qreal ratio = dest->image.devicePixelRatio();
    if (!qFuzzyCompare(ratio, source->image.devicePixelRatio())) {
        // Pictures of another density (a test's own, or one loaded before a change of screen) are scaled.
        const qreal sourceRatio = source->image.devicePixelRatio();
        const QImage copy = &dest->image == &source->image ? source->image.copy() : QImage();
        QPainter painter(&dest->image);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(x, y, from.width(), from.height()), copy.isNull() ? source->image : copy,
                          QRectF(from.x() * sourceRatio, from.y() * sourceRatio, from.width() * sourceRatio,
                                 from.height() * sourceRatio));
        return 1;
    }
    from = cmn_detail::toDevice(from, ratio).intersected(source->image.rect());
    x = cmn_detail::toDevice(x, ratio);
    y = cmn_detail::toDevice(y, ratio);
    const QRect placed = QRect(QPoint(x, y), from.size()).intersected(dest->image.rect());
    if (placed.isEmpty())
        return 1;
    from = QRect(from.topLeft() + (placed.topLeft() - QPoint(x, y)), placed.size());
    const bool premultiplied = dest->image.format() == QImage::Format_ARGB32_Premultiplied &&
                               source->image.format() == QImage::Format_ARGB32_Premultiplied;
    const bool opaque = premultiplied && isOpaque(source);
    if (premultiplied && &dest->image != &source->image &&
        (opaque || from.width() * from.height() <= kSmallBlend * ratio * ratio)) {
        blit(dest->image, placed.topLeft(), source->image, from, opaque);
        return 1;
    }
    // Large see-through pictures: the painter's vectorised blend beats a pixel loop. It works in device
    // pixels here, as the rectangles are.
    const QImage copy = &dest->image == &source->image ? source->image.copy(from) : QImage();
    QImage& target = dest->image;
    target.setDevicePixelRatio(1);
    {
        QPainter painter(&target);
        if (copy.isNull())
            painter.drawImage(QRectF(placed), source->image, QRectF(from));
        else
            painter.drawImage(QRectF(placed), copy, QRectF(copy.rect()));
    }
    target.setDevicePixelRatio(ratio);
    return 1;
}

int CMN_DXTextOut(CMN_Surface* surface, int x, int y, const QString& text, const QString& face, int size,
                  COLORREF colour, COLORREF back, int mode, int bold, int, int) {
    if (!surface || surface->image.isNull()) {
        qCDebug(lcDraw) << "text on a missing surface";
        return 0;
    }
    if (text.isEmpty())
        return 1;
    const FontEntry& entry = fontFor(face, size > 0 ? size : 90, bold != 0);
    QPainter painter(&surface->image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(entry.font);
    if (mode == 2) {
        const int width = QFontMetrics(entry.font).horizontalAdvance(text);
        painter.fillRect(QRect(x, y, width, entry.height), CMN_ColorFromRef(back));
    }
    const QColor ink = CMN_ColorFromRef(colour);
    if (entry.outline > 0) {
        QPainterPath glyphs;
        glyphs.addText(QPointF(x, y + entry.ascent), entry.font, text);
        cmn_detail::fillOutlined(painter, glyphs, ink, entry.outline);
        return 1;
    }
    painter.setPen(ink);
    painter.drawText(QPoint(x, y + entry.ascent), text);
    return 1;
}

void CMN_DXFlip() {
    DrawState& s = state();
    if (s.back.image.isNull())
        return;
    // The first flip shares the back, so the first frame shows without a copy; drawing on the back then
    // parts the two. From there the back is copied into the standing front: the back stays the drawn
    // picture (drills draw over the last frame) and no frame allocates.
    if (s.front.isNull() || !s.front.isDetached()) {
        s.front = s.back.image;
    } else if (s.front.size() == s.back.image.size() && s.front.format() == s.back.image.format() &&
               s.front.bytesPerLine() == s.back.image.bytesPerLine()) {
        std::memcpy(s.front.bits(), s.back.image.constBits(), size_t(s.front.sizeInBytes()));
    } else {
        s.front = s.back.image.copy();
    }
    if (s.view)
        s.view->update();
}

void CMN_DXSetRestoreCallbackFunc(std::function<void()> restore) {
    state().restore = std::move(restore);
}

void CMN_DXReleaseDirectDraw7() {
    DrawState& s = state();
    CMN_DXReleaseSprite();
    CMN_D3ReleaseDirect3D7();
    delete s.view.data();
    s.view = nullptr;
    s.frame = nullptr;
    s.back.image = QImage();
    s.front = QImage();
    s.surfaces.clear();
    s.opaque.clear();
    s.restore = nullptr;
    s.defaultKey = ColourKey{};
}

void CMN_DXForceInitFailure(bool fail) {
    state().forceFailure = fail;
}

// ---- Sprites ----------------------------------------------------------------------------------------------

tagSprite* CMN_DXInitSprite(int count) {
    DrawState& s = state();
    if (count <= 0 || count > 100000) {
        qCWarning(lcDraw) << "sprite list of" << count << "entries refused";
        return nullptr;
    }
    s.sprites = std::make_unique<tagSprite[]>(size_t(count));
    s.spriteCount = count;
    return s.sprites.get();
}

void CMN_DXPutAllSprites() {
    DrawState& s = state();
    if (!s.sprites || s.back.image.isNull())
        return;
    for (int i = 0; i < s.spriteCount; ++i) {
        const tagSprite& sprite = s.sprites[size_t(i)];
        if (!sprite.visible || !sprite.surface)
            continue;
        // A sprite without a size shows its whole cell column from sourceY.
        const QSize whole = cmn_detail::logicalSize(sprite.surface->image);
        const int width = sprite.width > 0 ? sprite.width : whole.width();
        const int height = sprite.height > 0 ? sprite.height : whole.height() - sprite.sourceY;
        const QRect cell(0, sprite.sourceY, width, height);
        CMN_DXPutSurface(&s.back, sprite.x, sprite.y, sprite.surface, &cell);
    }
}

void CMN_DXReleaseSprite() {
    DrawState& s = state();
    s.sprites.reset();
    s.spriteCount = 0;
}

// ---- Textured squares
// ---------------------------------------------------------------------------------------

int CMN_D3InitDirect3D7(CMN_Surface* backSurface) {
    DrawState& s = state();
    if (s.forceFailure || !backSurface || backSurface->image.isNull()) {
        qCWarning(lcDraw) << "textured squares need a back surface";
        return 0;
    }
    s.d3Target = backSurface;
    return 1;
}

CMN_Texture* CMN_D3CreateTextureFromBitmap(CMN_Texture* texture, int id) {
    QImage image = cmn_detail::loadPicture(QStringLiteral("bitmap"), QString::number(id), {}, state().scale);
    if (image.isNull()) {
        qCWarning(lcDraw) << "texture bitmap" << id << "is missing";
        return nullptr;
    }
    DrawState& s = state();
    applyKey(image, s.defaultKey.set ? s.defaultKey : ColourKey{true, 0xFF0000, 0xFF0000});
    if (!texture) {
        s.textures.push_back(std::make_unique<CMN_Texture>());
        texture = s.textures.back().get();
    }
    texture->image = std::move(image);
    texture->resourceId = id;
    return texture;
}

void CMN_D3TransRectToVertex(tagD3DPlain& plain, const QRect& rect) {
    plain.rect = rect;
}

int CMN_D3PutD3DPlain(const tagD3DPlain& plain) {
    DrawState& s = state();
    CMN_Surface* target = s.d3Target ? s.d3Target : &s.back;
    if (!plain.texture || plain.texture->image.isNull() || target->image.isNull() || plain.rect.isEmpty()) {
        qCDebug(lcDraw) << "textured square without texture or target";
        return 0;
    }
    const QImage& texture = plain.texture->image;
    const int angle = ((plain.angle % 360) + 360) % 360;
    if (angle == 0 && plain.rect.size() == cmn_detail::logicalSize(texture)) {
        CMN_Surface source{texture, 0, true};
        return CMN_DXPutSurface(target, plain.rect.x(), plain.rect.y(), &source);
    }
    QPainter painter(&target->image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF rect(plain.rect);
    painter.translate(rect.center());
    painter.rotate(angle); // positive turns clockwise on screen, y pointing down
    painter.drawImage(QRectF(-rect.width() / 2, -rect.height() / 2, rect.width(), rect.height()), texture);
    return 1;
}

void CMN_D3ReleaseDirect3D7() {
    DrawState& s = state();
    s.textures.clear();
    s.d3Target = nullptr;
}

QSize CMN_SurfaceSize(const CMN_Surface* surface) {
    return surface ? cmn_detail::logicalSize(surface->image) : QSize();
}

void CMN_PreloadPictures(std::initializer_list<const char*> names, QSize backSurface) {
    // The window's density is not known before the application is made; it is the scale the session asks
    // for, usually 1. A picture read for another density is let go when the window asks.
    bool ok = false;
    const qreal ratio = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&ok);
    const qreal guess = ok && ratio > 0 ? ratio : 1.0;
    std::vector<std::pair<QString, std::promise<QImage>>> work;
    std::promise<QImage> back;
    cmn_detail::Preloads& p = cmn_detail::preloads();
    {
        const std::lock_guard<std::mutex> locked(p.lock);
        p.backSize = backSurface.isEmpty() ? QSize() : backSurface;
        p.backRatio = guess;
        p.back = p.backSize.isValid() ? back.get_future().share() : std::shared_future<QImage>();
        for (const char* name : names) {
            const QString base = QStringLiteral(":/") + QLatin1String(name);
            std::promise<QImage> promise;
            p.pictures.push_back({base, guess, promise.get_future().share()});
            work.emplace_back(base, std::move(promise));
        }
    }
    std::thread([work = std::move(work), back = std::move(back), backSize = backSurface, guess]() mutable {
        // The back surface first: it is asked for before the pictures.
        back.set_value(backSize.isEmpty() ? QImage() : blankImage(backSize, guess));
        for (auto& [base, promise] : work)
            promise.set_value(cmn_detail::prerendered(base, {}, guess));
    }).detach();
}

bool CMN_IsOpaque(const QImage& picture) {
    if (!picture.hasAlphaChannel())
        return true;
    const bool argb =
        picture.format() == QImage::Format_ARGB32 || picture.format() == QImage::Format_ARGB32_Premultiplied;
    const QImage image = argb ? picture : picture.convertToFormat(QImage::Format_ARGB32);
    const int width = image.width();
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        if (!std::all_of(line, line + width, [](QRgb p) { return qAlpha(p) == 255; }))
            return false;
    }
    return true;
}

QImage CMN_LoadPicture(const QString& name, qreal ratio, QSize size) {
    return cmn_detail::loadPicture(QStringLiteral("bitmap"), name, size, ratio);
}

bool CMN_DXHasBitmap(int id) {
    const QString base = QStringLiteral(":/bitmap/%1").arg(id);
    return QFile::exists(base + QStringLiteral(".svg")) || QFile::exists(base + QStringLiteral(".png"));
}
