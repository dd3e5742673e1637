"""Drawing helpers both lessons' artwork generators share: the suite's colours, SVG text and shapes,
and the frame of a lesson page (title bar, back-to-menu button, previous and next buttons, page dots)."""
from pathlib import Path
from xml.sax.saxutils import escape

# The suite's colours. Text is navy, or one of the deep colours, so that it stands out at least 4.5:1 from
# what it sits on; coral is light enough to carry navy text (5:1).
SKY, GRASS, YELLOW, CORAL, NAVY, WHITE = "#8ec9ff", "#6cc04a", "#ffd84a", "#ff8f82", "#2b3a67", "#ffffff"
PAPER = "#f6faff"
RED = "#e53935"
DEEP_RED, DEEP_GREEN = "#c62828", "#2e7d32"
FONT = "IPAPGothic"

def svg(width, height, body):
    return (f'<?xml version="1.0" encoding="UTF-8"?>\n'
            f'<svg xmlns="http://www.w3.org/2000/svg" version="1.2" baseProfile="tiny" '
            f'width="{width}" height="{height}" viewBox="0 0 {width} {height}">\n{body}</svg>\n')


def text(x, y, s, size=18, fill=NAVY, weight="normal", anchor="start", halo=None):
    """halo: a colour drawn wide around the glyphs first, so the text reads over lines behind it."""
    out = ""
    if halo:
        out += (f'<text x="{x}" y="{y}" font-family="{FONT}" font-size="{size}" font-weight="{weight}" '
                f'fill="{halo}" text-anchor="{anchor}" stroke="{halo}" stroke-width="{size * 0.3:.1f}" '
                f'stroke-linejoin="round">{escape(s)}</text>\n')
    # The Japanese fonts have no bold face and the renderer does not thicken them: bold is drawn with an
    # outline in the text's own colour, as the menus do.
    outline = (f' stroke="{fill}" stroke-width="{max(0.75, size * 0.045):.2f}" stroke-linejoin="round"'
               if weight == "bold" else "")
    return out + (f'<text x="{x}" y="{y}" font-family="{FONT}" font-size="{size}" font-weight="{weight}" '
                  f'fill="{fill}" text-anchor="{anchor}"{outline}>{escape(s)}</text>\n')


def rect(x, y, w, h, fill, stroke="none", sw=0, rx=0):
    return (f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="{rx}" ry="{rx}" fill="{fill}" '
            f'stroke="{stroke}" stroke-width="{sw}"/>\n')


def button(area, label, fill, anchor="middle"):
    left, top, right, bottom = area
    w, h = right - left, bottom - top
    out = rect(left, top, w, h, fill, NAVY, 2, h // 2)
    return out + text(left + w / 2, top + h / 2 + 6, label, 16, NAVY, "bold", anchor)


CLOSE = (562, 11, 711, 35)


def finger(x, y, w, h, colour="#ffd9b8"):
    """A finger seen from above: skin, nail at the tip."""
    out = rect(x, y, w, h, colour, "#8a5a3c", 2, w // 2)
    return out + rect(x + w * 0.2, y + 4, w * 0.6, w * 0.55, "#fff1e6", "#c9957a", 1, w * 0.25)


def page(number, title, body, previous, nxt, pages=5, close_label="メニューに もどる"):
    """A 720 x 540 page: the buttons sit exactly on the hot-spot rectangles given."""
    out = rect(0, 0, 720, 540, PAPER)
    out += rect(0, 0, 720, 48, SKY)
    out += rect(0, 46, 720, 4, NAVY)
    out += rect(12, 8, 34, 32, WHITE, NAVY, 2, 8) + text(29, 31, str(number), 20, NAVY, "bold", "middle")
    out += text(58, 33, title, 24, NAVY, "bold")
    out += button(CLOSE, close_label, CORAL)
    out += body
    if previous:
        out += button(previous, "◀ まえへ", WHITE)
    if nxt:
        out += button(nxt, "つぎへ ▶", YELLOW)
    dots = "".join(rect(360 - 12 * pages + 24 * i, 514, 14, 14, NAVY if i + 1 == number else WHITE, NAVY, 2, 7)
                   for i in range(pages))
    return svg(720, 540, out + dots)


def write_all(folder: Path, files):
    """Writes {"bitmap/129.svg": text, ...} below a program's resources folder."""
    for name, content in files.items():
        path = folder / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(content, encoding="utf-8")
