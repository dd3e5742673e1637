#!/usr/bin/env python3
"""Writes the mouse lesson's pictures (resources/bitmap, icon) as SVG.

Shapes sit where the program tests clicks: targets are circles of radius 30, presents squares of 96,
fruits circles of radius 30, the basket the program's basket area. Run it after changing the look:
    python3 mouse-lesson/tools/make_artwork.py
"""
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent.parent / "interfaces" / "lesson" / "tools"))
import lesson_art as art  # noqa: E402
from lesson_art import CORAL, GRASS, NAVY, RED, SKY, WHITE, YELLOW, button, rect, svg, text  # noqa: E402

RES = HERE.parent / "resources"

PREVIOUS = (11, 508, 162, 534)
NEXT = (560, 508, 710, 534)
BACK_TO_MENU = (250, 400, 470, 460)
BASKET = (452, 192, 692, 472)  # below the praise banner, which sits under the instructions
FRUIT_HOMES = [(72 + 78 * i, 420) for i in range(5)]


def mouse(x, y, scale=1.0, left_colour=CORAL):
    """A mouse seen from above, (x, y) the top of its body."""
    s = scale
    out = f'<path d="M {x} {y - 4 * s} C {x} {y - 40 * s} {x + 60 * s} {y - 50 * s} {x + 90 * s} {y - 90 * s}" ' \
          f'fill="none" stroke="{NAVY}" stroke-width="{3 * s}" stroke-linecap="round"/>\n'
    out += rect(x - 70 * s, y, 140 * s, 210 * s, "#eef2f8", NAVY, 3 * s, 68 * s)
    out += f'<path d="M {x - 67 * s} {y + 80 * s} L {x - 67 * s} {y + 66 * s} Q {x - 66 * s} {y + 3 * s} ' \
           f'{x - 3 * s} {y + 3 * s} L {x - 3 * s} {y + 80 * s} Z" fill="{left_colour}" stroke="{NAVY}" ' \
           f'stroke-width="{2 * s}"/>\n'
    out += f'<path d="M {x + 3 * s} {y + 80 * s} L {x + 3 * s} {y + 3 * s} Q {x + 66 * s} {y + 3 * s} ' \
           f'{x + 67 * s} {y + 66 * s} L {x + 67 * s} {y + 80 * s} Z" fill="{SKY}" stroke="{NAVY}" ' \
           f'stroke-width="{2 * s}"/>\n'
    out += rect(x - 8 * s, y + 22 * s, 16 * s, 36 * s, "#9aa6bf", NAVY, 2 * s, 8 * s)
    return out


def page1():
    body = mouse(200, 150)
    body += text(108, 136, "左(ひだり)ボタン", 16, NAVY, "bold", "middle")
    body += text(296, 136, "右(みぎ)ボタン", 16, NAVY, "bold", "middle")
    body += text(200, 390, "ホイール は まんなか", 15, NAVY, "normal", "middle")
    body += rect(360, 80, 330, 300, WHITE, GRASS, 3, 16)
    lines = [
        ("もちかた", 20, "bold"),
        ("手(て)のひらを マウスに かるく のせます。", 16, "normal"),
        ("人差指(ひとさしゆび)は 左ボタン、", 16, "normal"),
        ("中指(なかゆび)は 右ボタンの 上(うえ)。", 16, "normal"),
        (None, 10, "normal"),  # a half line's gap
        ("マウスを うごかすと、", 16, "normal"),
        ("がめんの やじるしも うごきます。", 16, "normal"),
        ("左ボタンを 1かい カチッと おすのが", 16, "normal"),
        ("「クリック」です。", 16, "bold"),
    ]
    y = 114
    for line, size, weight in lines:
        if line:
            body += text(380, y, line, size, NAVY, weight)
        y += 30 if line else 10
    body += rect(40, 420, 640, 70, WHITE, NAVY, 2, 14)
    body += text(360, 452, "「つぎへ」を クリックして、れんしゅうを はじめよう！", 19, NAVY, "bold", "middle")
    body += text(360, 478, "マウスは つくえの 上で、しずかに すべらせます。", 15, NAVY, "normal", "middle")
    return art.page(1, "マウスの もちかた", body, None, NEXT)


def instructions(line):
    return rect(20, 56, 520, 36, WHITE, GRASS, 2, 12) + text(34, 81, line, 17, NAVY, "bold")


def page2():
    body = instructions("まとが 10こ でるよ。まとを クリックしよう！")
    body += rect(552, 56, 148, 36, WHITE, NAVY, 2, 12)
    return art.page(2, "クリックの れんしゅう", body, PREVIOUS, NEXT)


def page3():
    body = instructions("プレゼントの 上(うえ)で カチカチッと 2かい つづけて クリック！")
    body += text(360, 170, "ダブルクリックで プレゼントが あくよ。", 22, NAVY, "bold", "middle")
    return art.page(3, "ダブルクリック", body, PREVIOUS, NEXT)


def basket():
    left, top, right, bottom = BASKET
    out = rect(left, top, right - left, bottom - top, "#fff3d6", "#c98a3c", 3, 24)
    out += text((left + right) / 2, top + 34, "かご", 22, "#8a5a1c", "bold", "middle")
    out += f'<path d="M {left + 20} {top + 90} L {right - 20} {top + 90} L {right - 40} {bottom - 16} ' \
           f'L {left + 40} {bottom - 16} Z" fill="#e3a857" stroke="#8a5a1c" stroke-width="3"/>\n'
    for i in range(1, 6):
        x = left + 20 + i * (right - left - 40) / 6
        out += f'<line x1="{x}" y1="{top + 92}" x2="{x - (x - (left + right) / 2) * 0.15}" y2="{bottom - 18}" ' \
               f'stroke="#8a5a1c" stroke-width="2"/>\n'
    return out


def page4():
    body = instructions("くだものを おしたまま うごかして、かごに いれよう！")
    body += basket()
    body += rect(28, 378, 392, 84, "#eaf6e4", GRASS, 2, 16)  # the shelf the fruits start on
    return art.page(4, "ドラッグ アンド ドロップ", body, PREVIOUS, NEXT)


def page5():
    body = ""
    for i, (x, y) in enumerate([(120, 150), (600, 150), (90, 330), (630, 330), (360, 110)]):
        body += star(x, y, 34, [YELLOW, CORAL, SKY, GRASS, YELLOW][i])
    body += text(360, 200, "よく できました！", 44, NAVY, "bold", "middle")
    body += text(360, 260, "クリック、ダブルクリック、ドラッグ が できたね。", 20, NAVY, "normal", "middle")
    body += text(360, 296, "これで マウスは ばっちり！", 20, NAVY, "normal", "middle")
    # The course menu's next course after this one (②) is ③.
    body += text(360, 350, "つぎは メニューの ③「もじを うつ れんしゅう」へ！", 18, NAVY, "normal", "middle")
    body += button(BACK_TO_MENU, "メニューに もどる", CORAL)
    return art.page(5, "まとめ", body, PREVIOUS, None)


def star(cx, cy, r, colour):
    import math
    points = []
    for i in range(10):
        radius = r if i % 2 == 0 else r * 0.45
        angle = math.pi / 2 + i * math.pi / 5
        points.append(f"{cx + radius * math.cos(angle):.1f},{cy - radius * math.sin(angle):.1f}")
    return f'<polygon points="{" ".join(points)}" fill="{colour}" stroke="{NAVY}" stroke-width="2" ' \
           f'stroke-linejoin="round"/>\n'


def target():
    out = ""
    for r, colour in ((29, RED), (22, WHITE), (15, RED), (8, WHITE)):
        out += f'<circle cx="30" cy="30" r="{r}" fill="{colour}" stroke="{NAVY}" stroke-width="1.5"/>\n'
    return svg(60, 60, out)


def present(opened):
    if not opened:
        out = rect(8, 30, 80, 62, CORAL, NAVY, 3, 6)
        out += rect(4, 20, 88, 18, "#ff9a8e", NAVY, 3, 5)
        out += rect(42, 20, 12, 72, YELLOW, NAVY, 2, 0)
        out += f'<path d="M 48 20 C 30 0 14 10 28 20 M 48 20 C 66 0 82 10 68 20" fill="{YELLOW}" ' \
               f'stroke="{NAVY}" stroke-width="2.5"/>\n'
        return svg(96, 96, out)
    out = rect(8, 46, 80, 46, CORAL, NAVY, 3, 6)
    out += rect(42, 46, 12, 46, YELLOW, NAVY, 2, 0)
    out += f'<polygon points="4,40 30,4 40,12 14,46" fill="#ff9a8e" stroke="{NAVY}" stroke-width="3"/>\n'
    out += star(60, 30, 22, YELLOW)
    return svg(96, 96, out)


def fruit(kind):
    if kind == "apple":
        out = f'<circle cx="30" cy="34" r="24" fill="#e53935" stroke="{NAVY}" stroke-width="2"/>\n'
        out += f'<path d="M 30 12 Q 40 2 48 8 Q 40 16 30 12" fill="{GRASS}" stroke="{NAVY}" stroke-width="1.5"/>\n'
    elif kind == "orange":
        out = f'<circle cx="30" cy="32" r="25" fill="#ffa53b" stroke="{NAVY}" stroke-width="2"/>\n'
        out += f'<circle cx="30" cy="10" r="4" fill="{GRASS}" stroke="{NAVY}" stroke-width="1.5"/>\n'
    elif kind == "banana":
        out = f'<path d="M 8 20 Q 14 52 52 46 Q 56 40 50 40 Q 24 40 18 16 Z" fill="{YELLOW}" ' \
              f'stroke="{NAVY}" stroke-width="2" stroke-linejoin="round"/>\n'
    elif kind == "grapes":
        out = ""
        for cx, cy in ((20, 20), (32, 20), (44, 20), (26, 31), (38, 31), (32, 42), (32, 52)):
            out += f'<circle cx="{cx}" cy="{cy}" r="7" fill="#8e5bd6" stroke="{NAVY}" stroke-width="1.5"/>\n'
        out += f'<path d="M 32 13 L 34 4" stroke="{NAVY}" stroke-width="2"/>\n'
    else:  # strawberry
        out = f'<path d="M 8 18 Q 30 8 52 18 Q 50 44 30 56 Q 10 44 8 18 Z" fill="#ff4f6a" stroke="{NAVY}" ' \
              f'stroke-width="2"/>\n'
        out += f'<path d="M 16 16 L 30 6 L 44 16 L 30 20 Z" fill="{GRASS}" stroke="{NAVY}" stroke-width="1.5"/>\n'
        for cx, cy in ((20, 28), (30, 26), (40, 28), (25, 38), (35, 38), (30, 47)):
            out += f'<circle cx="{cx}" cy="{cy}" r="1.6" fill="{YELLOW}"/>\n'
    return svg(60, 60, out)


def banner(kind):
    if kind == "well done":
        out = rect(3, 3, 656, 86, "#fff6cc", CORAL, 5, 22)
        out += star(56, 46, 32, YELLOW)
        out += text(110, 52, "よくできました！", 34, NAVY, "bold")
        out += text(112, 80, "つぎの ページへ すすもう。", 17, NAVY)
        return svg(662, 92, out)
    out = rect(3, 3, 414, 54, "#e6f1ff", "#2f6fde", 4, 18)
    out += text(210, 37, "2かい つづけて すばやく クリックしてね", 18, NAVY, "bold", "middle")
    return svg(420, 60, out)


def icon():
    body = rect(2, 2, 60, 60, GRASS, NAVY, 3, 14)
    body += mouse(32, 16, 0.2)
    return svg(64, 64, body)


def main():
    out = {
        "bitmap/129.svg": page1(), "bitmap/130.svg": page2(), "bitmap/131.svg": page3(),
        "bitmap/132.svg": page4(), "bitmap/133.svg": page5(),
        "bitmap/140.svg": target(), "bitmap/141.svg": present(False), "bitmap/142.svg": present(True),
        "bitmap/148.svg": banner("well done"), "bitmap/149.svg": banner("hint"),
        "icon/128.svg": icon(),
    }
    for i, kind in enumerate(["apple", "orange", "banana", "grapes", "strawberry"]):
        out[f"bitmap/{143 + i}.svg"] = fruit(kind)
    art.write_all(RES, out)


if __name__ == "__main__":
    main()
