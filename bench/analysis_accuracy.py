#!/usr/bin/env python3
"""Character accuracy of the on-device analysis on the detection dev set.

Runs `pelorin detect --components` on every shot (or reads earlier outputs with --from DIR)
and compares the recognised text with the truth's text lines of at least --min-px CSS px.
A truth line is matched with every "text" component that shares at least half of the smaller
of the two boxes with its ink box (the detector may cut a line in two, or take two lines that
sit close together as one); their texts are joined left to right. A line's errors are the edit
distance between its text and the closest stretch of the joined text, whitespace runs counted
as one space. Lines partly covered by another element are left out: the truth holds their
hidden characters too, which nobody can read. Lines with no matching component count as wholly wrong. The table by font size
tells recognition faults on small text from the rest.

The type table gives, per component type, how many components of it there are and the share
that is right (precision): a "text" component is right when it overlaps a truth text line with
IoU >= 0.5 (ink or layout box), any other type when its box overlaps, with IoU >= 0.5, a truth
element of a kind that type stands for (KINDS below). "element" is the type for what is not known.

  bench/analysis_accuracy.py --pelorin build/src/pelorin --dev ../shared/detection-dev
"""
import argparse
import glob
import json
import os
import subprocess
import sys


def substring_distance(needle, hay):
    """Smallest edit distance between `needle` and any substring of `hay`."""
    previous = [0] * (len(hay) + 1)
    for i, a in enumerate(needle, 1):
        current = [i] + [0] * len(hay)
        for j, b in enumerate(hay, 1):
            current[j] = min(previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (a != b))
        previous = current
    return min(previous)


def normalised(text):
    return " ".join(text.split())


def overlap(a, b):
    w = min(a[0] + a[2], b[0] + b[2]) - max(a[0], b[0])
    h = min(a[1] + a[3], b[1] + b[3]) - max(a[1], b[1])
    return max(0, w) * max(0, h)


# Truth element kinds (the pages' data-kind, else from the tag or class) each type may stand for.
KINDS = {
    "button": {"button", "tab", "segment", "chip", "option", "menu-item", "select"},
    "text field": {"input", "select"},
    "checkbox": {"checkbox", "radio", "toggle"},
    "icon": {"icon", "avatar", "swatch", "handle", "decoration"},
    "image": {"image", "avatar", "canvas-area", "chart"},
    "container": {"card", "panel", "dialog", "sidebar", "toolbar", "list-row", "table-row", "bubble", "alert",
                  "menubar", "tab-bar", "statusbar", "panel-header", "box", "event", "tooltip", "segmented",
                  "canvas-area", "text-layer", "selection", "progress", "ruler", "option"},
}


def iou(a, b):
    shared = overlap(a, b)
    union = a[2] * a[3] + b[2] * b[3] - shared
    return shared / union if union > 0 else 0


def type_right(kind, box, truth):
    if kind == "text":
        return any(iou(box, l[key]) >= 0.5 for l in truth["text_lines"] for key in ("ink", "box"))
    allowed = KINDS.get(kind)
    if allowed is None:
        return None
    return any(e["kind"] in allowed and iou(box, e["box"]) >= 0.5 for e in truth["elements"] + truth["separators"])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pelorin", default="build/src/pelorin")
    parser.add_argument("--dev", default="../shared/detection-dev")
    parser.add_argument("--from", dest="source", help="folder of earlier NAME.json outputs")
    parser.add_argument("--min-px", type=float, default=12)
    args = parser.parse_args()

    total = wrong = found_total = found_wrong = 0
    types = {}
    by_size = {}
    for truth_path in sorted(glob.glob(os.path.join(args.dev, "truth", "*.json"))):
        truth = json.load(open(truth_path))
        shot = os.path.join(args.dev, truth["image"])
        name = os.path.splitext(os.path.basename(shot))[0]
        if args.source:
            answer = json.load(open(os.path.join(args.source, name + ".json")))
        else:
            # The shots carry no resolution: without the scale a 2x shot is analysed as a screen
            # of twice the size, which is not what Analyze sees on that screen.
            out = subprocess.run([args.pelorin, "detect", "--components", "--scale", str(truth["scale"]), shot],
                                 capture_output=True, check=True)
            answer = json.loads(out.stdout)
        scale = truth["scale"]
        lines = [(c["text"], [c["x1"] / scale, c["y1"] / scale, (c["x2"] - c["x1"]) / scale, (c["y2"] - c["y1"]) / scale])
                 for c in answer["components"] if c["type"] == "text" and c.get("text")]
        for c in answer["components"]:
            box = [c["x1"] / scale, c["y1"] / scale, (c["x2"] - c["x1"]) / scale, (c["y2"] - c["y1"]) / scale]
            right = type_right(c["type"], box, truth)
            count, hits = types.get(c["type"], (0, 0))
            types[c["type"]] = (count + 1, hits + bool(right))
        shot_total = shot_wrong = 0
        for line in truth["text_lines"]:
            if line["font_px"] < args.min_px or line.get("occluded"):
                continue
            text = normalised(line["text"])
            ink = line["ink"]
            ink_area = ink[2] * ink[3]
            matched = sorted((l for l in lines if overlap(l[1], ink) >= 0.5 * min(ink_area, l[1][2] * l[1][3])),
                             key=lambda l: (l[1][0], l[1][1]))
            if not matched:
                errors = len(text)
            else:
                errors = min(len(text), substring_distance(text, normalised(" ".join(l[0] for l in matched))))
                found_total += len(text)
                found_wrong += errors
            size = f"{int(line['font_px'] // 4 * 4)}-{int(line['font_px'] // 4 * 4 + 3)} px"
            size_total, size_wrong = by_size.get(size, (0, 0))
            by_size[size] = (size_total + len(text), size_wrong + errors)
            shot_total += len(text)
            shot_wrong += errors
        print(f"{name:20s} {shot_total:6d} chars  accuracy {1 - shot_wrong / max(1, shot_total):.3f}")
        total += shot_total
        wrong += shot_wrong
    print(f"{'all':20s} {total:6d} chars  accuracy {1 - wrong / max(1, total):.3f}")
    for size, (size_total, size_wrong) in sorted(by_size.items(), key=lambda item: int(item[0].split("-")[0])):
        print(f"{'font ' + size:20s} {size_total:6d} chars  accuracy {1 - size_wrong / max(1, size_total):.3f}")
    # Recognition alone: the lines the detector found.
    print(f"{'on found lines':20s} {found_total:6d} chars  accuracy {1 - found_wrong / max(1, found_total):.3f}")
    for kind, (count, hits) in sorted(types.items()):
        shown = f"precision {hits / count:.3f}" if kind in KINDS or kind == "text" else "(not judged)"
        print(f"{'type ' + kind:20s} {count:6d} comps  {shown}")


if __name__ == "__main__":
    sys.exit(main())
