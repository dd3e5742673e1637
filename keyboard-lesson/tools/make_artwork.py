#!/usr/bin/env python3
"""Writes the keyboard lesson's pictures (resources/bitmap, cursor, icon) as SVG.

The keys are drawn from the same key cell table the program tests clicks and marks against, so the keys
on pages 3 to 5 and on the two key layers sit exactly on their cells. Run it after changing the table or
the look:  python3 keyboard-lesson/tools/make_artwork.py
"""
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent.parent / "interfaces" / "lesson" / "tools"))
import lesson_art as art  # noqa: E402
from lesson_art import (CORAL, DEEP_GREEN, DEEP_RED, GRASS, NAVY, RED, SKY, WHITE, YELLOW,  # noqa: E402,F401
                        finger, rect, svg, text)

RES = HERE.parent / "resources"

# Key cell table: 40 cells of 39 x 39, pitch 41 across and 40 down, each row 12 pixels further right.
ROWS = ["1234567890", "QWERTYUIOP", "ASDFGHJKL;", "ZXCVBNM,./"]
ROW_LEFT = [141, 153, 165, 177]
TOPS = [168, 208, 248, 288]
CELL = 39

# One colour per finger, left little to right little; keys by finger as the lesson teaches them.
FINGERS = [
    ("1QAZ", CORAL, "左手(ひだりて) 小指(こゆび)"),
    ("2WSX", "#ffb057", "左手 薬指(くすりゆび)"),
    ("3EDC", "#ffd84a", "左手 中指(なかゆび)"),
    ("4RFV5TGB", "#6cc04a", "左手 人差指(ひとさしゆび)"),
    ("6YHN7UJM", "#8ec9ff", "右手(みぎて) 人差指"),
    ("8IK,", "#b9a3ff", "右手 中指"),
    ("9OL.", "#ff9ecf", "右手 薬指"),
    ("0P;/", "#7fe0c8", "右手 小指"),
]


def finger_colour(key):
    for keys, colour, _ in FINGERS:
        if key in keys:
            return colour
    raise KeyError(key)


def cells():
    for row, keys in enumerate(ROWS):
        for column, key in enumerate(keys):
            yield key, ROW_LEFT[row] + 41 * column, TOPS[row]


def key(label, left, top, fill, cross=False):
    """A key cap filling its 39 x 39 cell: outline on the cell's edge, label in the middle."""
    out = rect(left + 1, top + 1, CELL - 2, CELL - 2, fill, NAVY, 2, 6)
    if cross:  # under the label, so the learner still reads which key it was
        for x1, y1, x2, y2 in ((8, 8, 31, 31), (31, 8, 8, 31)):
            out += f'<line x1="{left + x1}" y1="{top + y1}" x2="{left + x2}" y2="{top + y2}" ' \
                   f'stroke="{RED}" stroke-width="5" stroke-linecap="round"/>\n'
    # Over a cross the label keeps a rim of the key's colour, so the learner still reads it.
    out += text(left + 19.5, top + 26, label, 18, NAVY, "bold", "middle", fill if cross else None)
    if label in "FJ":  # the bumps that find the home position without looking
        out += f'<line x1="{left + 14}" y1="{top + 31}" x2="{left + 25}" y2="{top + 31}" stroke="{NAVY}" ' \
               f'stroke-width="2" stroke-linecap="round"/>\n'
    return out


def keyboard(coloured=False):
    out = rect(126, 154, 474, 200, "#dde5f2", NAVY, 2, 14)
    out += rect(268, 331, 200, 16, WHITE, NAVY, 2, 6)  # space bar, where the thumbs rest
    for label, left, top in cells():
        out += key(label, left, top, finger_colour(label) if coloured else WHITE)
    return out


# Hot spots per page: close, previous, next (None where the page has none).
HOT = {
    1: (None, (561, 508, 711, 532)),
    2: ((11, 511, 162, 534), (528, 509, 710, 534)),
    3: ((11, 510, 162, 534), (560, 508, 710, 534)),
    4: ((11, 510, 193, 534), (530, 508, 710, 534)),
    5: ((11, 510, 163, 531), None),
}
START = (529, 85, 648, 133)


def page(number, title, body):
    previous, nxt = HOT[number]
    return art.page(number, title, body, previous, nxt)


def page1():
    body = text(360, 90, "キーは かるく ポンと おして、すぐに ゆびを はなします。", 22, NAVY, "bold", "middle")
    # Three panels: touch lightly, let go at once, never hold it down.
    panels = [
        (40, "① かるく ポン！", GRASS, "down"),
        (262, "② すぐに はなす", GRASS, "up"),
        (484, "✕ おしつづけない", CORAL, "hold"),
    ]
    for x, caption, colour, kind in panels:
        body += rect(x, 112, 196, 260, WHITE, colour, 4, 18)
        body += text(x + 98, 146, caption, 20, NAVY, "bold", "middle")
        top = 300 if kind != "up" else 292
        body += rect(x + 52, top - 26, 92, 56, "#dde5f2", NAVY, 2, 10)
        body += rect(x + 60, top - 40 + (8 if kind != "up" else 0), 76, 56, WHITE, NAVY, 2, 10)
        body += text(x + 98, top - 2 + (8 if kind != "up" else 0), "A", 26, NAVY, "bold", "middle")
        fy = 186 if kind == "down" else (160 if kind == "up" else 200)
        body += finger(x + 82, fy, 32, 262 - fy - (0 if kind != "up" else 34))
        if kind == "down":
            body += text(x + 150, 200, "ポン", 22, DEEP_RED, "bold", "middle")
            body += f'<path d="M {x + 40} 170 L {x + 40} 230 L {x + 30} 218 M {x + 40} 230 L {x + 50} 218" ' \
                    f'fill="none" stroke="{NAVY}" stroke-width="3" stroke-linecap="round"/>\n'
        elif kind == "up":
            body += f'<path d="M {x + 40} 230 L {x + 40} 170 L {x + 30} 182 M {x + 40} 170 L {x + 50} 182" ' \
                    f'fill="none" stroke="{NAVY}" stroke-width="3" stroke-linecap="round"/>\n'
            body += text(x + 152, 200, "パッ", 22, DEEP_GREEN, "bold", "middle")
        else:
            body += text(x + 98, 352, "あああああああ…", 18, DEEP_RED, "bold", "middle")
            body += text(x + 160, 200, "ぎゅー", 18, DEEP_RED, "bold", "middle")
    body += rect(40, 392, 640, 100, WHITE, NAVY, 2, 14)
    body += text(60, 426, "ながく おしつづけると、おなじ 文字(もじ)が たくさん でて しまいます。", 18)
    body += text(60, 458, "ゆびの はらで、ボールが はずむように かるく たたきましょう。", 18)
    body += text(60, 482, "（マウスで「つぎへ」を おすと、つぎの ページへ すすみます）", 15, "#5a6a90")
    return page(1, "キーの おしかた", body)


def page2():
    body = text(360, 84, "キーボードに ゆびを おく きほんの いちを「ホームポジション」と いいます。", 19, NAVY,
                "bold", "middle")
    # The eight home keys, large, each under its finger.
    home = [("A", 0), ("S", 1), ("D", 2), ("F", 3), ("J", 4), ("K", 5), ("L", 6), (";", 7)]
    names = ["小指", "薬指", "中指", "人差指", "人差指", "中指", "薬指", "小指"]
    reads = ["こゆび", "くすりゆび", "なかゆび", "ひとさしゆび", "ひとさしゆび", "なかゆび", "くすりゆび", "こゆび"]
    lengths = [70, 92, 102, 88, 88, 102, 92, 70]
    body += rect(40, 238, 640, 94, "#dde5f2", NAVY, 2, 14)
    for label, i in home:
        x = 60 + 70 * i + (60 if i >= 4 else 0)
        colour = FINGERS[i][1]
        body += rect(x, 256, 58, 58, colour, NAVY, 2, 10)
        body += text(x + 29, 294, label, 26, NAVY, "bold", "middle")
        if label in "FJ":
            body += f'<line x1="{x + 20}" y1="{303}" x2="{x + 38}" y2="{303}" stroke="{NAVY}" stroke-width="3" ' \
                    f'stroke-linecap="round"/>\n'
        body += finger(x + 13, 262 - lengths[i], 32, lengths[i] + 6)
        body += text(x + 29, 352, names[i], 16, NAVY, "bold", "middle")
        body += text(x + 29, 371, reads[i], 12, NAVY, "normal", "middle")
    body += text(190, 118, "左手(ひだりて)", 20, NAVY, "bold", "middle")
    body += text(530, 118, "右手(みぎて)", 20, NAVY, "bold", "middle")
    body += rect(40, 388, 640, 110, WHITE, NAVY, 2, 14)
    body += text(60, 418, "左手の ゆびは A S D F に、右手の ゆびは J K L ; に おきます。", 18)
    body += text(60, 448, "F と J には 小(ちい)さな でっぱりが あります。見(み)なくても さわって わかります。", 16)
    body += text(60, 476, "おや指(ゆび)は スペースキーの 上(うえ)に かるく のせます。", 16)
    return page(2, "ホームポジション", body)


def page3():
    # Instructions stay inside the area the banners cover, so no edge peeks out behind them.
    body = rect(62, 72, 598, 76, WHITE, GRASS, 3, 14)
    body += text(361, 102, "ホームポジションの 8つの キーを ぜんぶ おしてみよう！", 21, NAVY, "bold", "middle")
    body += text(361, 136, "A   S   D   F   J   K   L   ;", 22, NAVY, "bold", "middle")
    body += keyboard()
    body += rect(40, 372, 640, 110, WHITE, NAVY, 2, 14)
    body += text(60, 404, "ほんものの キーボードで、1つずつ おしてね。じゅんばんは じゆうです。", 17)
    body += text(60, 434, "あたった キーには ゆびの 色(いろ)が つきます。", 17)
    body += text(60, 464, "ちがう キーを おすと ✕ が でて、さいしょから やりなおしです。", 17)
    return page(3, "ホームポジションを たしかめよう", body)


def page4():
    body = keyboard(coloured=True)
    body += text(361, 90, "どの キーを どの ゆびで うつか、色(いろ)で きまっています。", 20, NAVY, "bold",
                 "middle")
    body += text(361, 126, "同(おな)じ 色の キーは、同じ ゆびで うちます。", 18, NAVY, "normal", "middle")
    for i, (_, colour, name) in enumerate(FINGERS):
        x = 40 + 330 * (i // 4)
        y = 368 + 26 * (3 - i if i < 4 else i - 4)
        body += rect(x, y, 30, 20, colour, NAVY, 2, 5)
        body += text(x + 40, y + 16, name, 15)
    body += rect(40, 474, 640, 28, WHITE, NAVY, 2, 10)
    body += text(360, 494, "うったら、ゆびは すぐに ホームポジションへ もどしましょう。", 16, NAVY, "bold", "middle")
    return page(4, "ゆびの たんとう", body)


def page5():
    body = rect(62, 74, 450, 74, WHITE, GRASS, 3, 14)
    body += text(80, 104, "START を おすと、ゆびの なまえが でます。", 19, NAVY, "bold")
    body += text(80, 134, "その ゆびで うつ キーを ぜんぶ おしてね。", 19, NAVY, "bold")
    left, top, right, bottom = START
    body += rect(left, top + 4, right - left, bottom - top, "#c9523f", "none", 0, 16)
    body += rect(left, top, right - left, bottom - top - 4, CORAL, NAVY, 3, 16)
    body += text((left + right) / 2, top + 31, "START", 24, NAVY, "bold", "middle")
    body += keyboard()
    body += rect(40, 372, 640, 110, WHITE, NAVY, 2, 14)
    body += text(60, 404, "もんだいは なんども でます。同(おな)じ ゆびが つづく ことも あります。", 17)
    body += text(60, 434, "わからない ときは 4ページの 色(いろ)わけを 見(み)に もどろう。", 17)
    body += text(60, 464, "おわる ときは「メニューに もどる」を おします。", 17)
    return page(5, "ゆびの はんいを たしかめよう", body)


def layer(cross):
    body = "".join(key(label, left, top, "#ffe4e1" if cross else finger_colour(label), cross)
                   for label, left, top in cells())
    return svg(720, 540, body)


def banner(kind):
    fills = {"correct": ("#fff6cc", CORAL), "wrong": ("#e6f1ff", "#2f6fde"), "prompt": ("#fffbea", GRASS)}
    fill, edge = fills[kind]
    # The prompt sits 2 pixels right of and below the result banners, which must cover it whole.
    out = rect(3, 3, 656, 86, fill, edge, 5, 22) if kind != "prompt" else rect(3, 3, 650, 82, fill, edge, 5, 22)
    if kind == "correct":
        out += f'<circle cx="56" cy="46" r="28" fill="none" stroke="{RED}" stroke-width="9"/>\n'
        out += text(110, 50, "よくできました！", 34, NAVY, "bold")
        out += text(112, 78, "その ちょうしで もういちど やってみよう。", 17, NAVY)
    elif kind == "wrong":
        for x1, y1, x2, y2 in ((32, 22, 80, 70), (80, 22, 32, 70)):
            out += f'<line x1="{x1}" y1="{y1}" x2="{x2}" y2="{y2}" stroke="#2f6fde" stroke-width="10" ' \
                   f'stroke-linecap="round"/>\n'
        out += text(110, 48, "ざんねん！ ちがう キーです。", 30, NAVY, "bold")
        # Shown by both exercises: the page before each teaches what it checks (home position, finger ranges).
        out += text(112, 76, "まえの ページを もういちど 見(み)なおそう。", 17, NAVY)
    else:
        # The blank at (98, 36) takes the finger's name, written in by the program.
        out += finger(30, 16, 30, 62)
        out += rect(88, 22, 162, 48, WHITE, NAVY, 2, 10)
        out += text(262, 56, "で うつ キーを ぜんぶ おしてね！", 24, NAVY, "bold")
    return svg(662, 92, out)


def icon():
    body = rect(2, 2, 60, 60, SKY, NAVY, 3, 14)
    body += rect(12, 14, 40, 36, "#c7d3e8", NAVY, 2, 8)
    body += rect(15, 12, 34, 30, WHITE, NAVY, 2, 7)
    body += text(32, 35, "A", 20, NAVY, "bold", "middle")
    for i, (_, colour, _) in enumerate(FINGERS[:4]):
        body += f'<circle cx="{13 + 12.5 * i}" cy="56" r="4" fill="{colour}" stroke="{NAVY}" stroke-width="1"/>\n'
    return svg(64, 64, body)


def main():
    out = {
        "bitmap/129.svg": page1(), "bitmap/130.svg": page2(), "bitmap/131.svg": page3(),
        "bitmap/132.svg": page4(), "bitmap/133.svg": page5(),
        "bitmap/134.svg": banner("correct"), "bitmap/135.svg": banner("wrong"),
        "bitmap/136.svg": layer(False), "bitmap/137.svg": layer(True), "bitmap/138.svg": banner("prompt"),
        "icon/128.svg": icon(),
    }
    art.write_all(RES, out)


if __name__ == "__main__":
    main()
