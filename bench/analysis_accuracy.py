#!/usr/bin/env python3
"""Character accuracy of the on-device analysis on the detection dev set.

Runs `pelorin detect --components` on every shot (or reads earlier outputs with --from DIR)
and compares the recognised text with the truth's text lines of at least --min-px CSS px.
Each truth line is matched with the "text" component that covers most of its ink box; a
line's errors are the edit distance between its text and the closest stretch of that
component's text (a component may hold two truth lines that sit close together). Lines with
no covering component count as wholly wrong.

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


def overlap(a, b):
    w = min(a[0] + a[2], b[0] + b[2]) - max(a[0], b[0])
    h = min(a[1] + a[3], b[1] + b[3]) - max(a[1], b[1])
    return max(0, w) * max(0, h)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pelorin", default="build/src/pelorin")
    parser.add_argument("--dev", default="../shared/detection-dev")
    parser.add_argument("--from", dest="source", help="folder of earlier NAME.json outputs")
    parser.add_argument("--min-px", type=float, default=12)
    args = parser.parse_args()

    total = wrong = found_total = found_wrong = 0
    for truth_path in sorted(glob.glob(os.path.join(args.dev, "truth", "*.json"))):
        truth = json.load(open(truth_path))
        shot = os.path.join(args.dev, truth["image"])
        name = os.path.splitext(os.path.basename(shot))[0]
        if args.source:
            answer = json.load(open(os.path.join(args.source, name + ".json")))
        else:
            out = subprocess.run([args.pelorin, "detect", "--components", shot], capture_output=True, check=True)
            answer = json.loads(out.stdout)
        scale = truth["scale"]
        lines = [(c["text"], [c["x1"] / scale, c["y1"] / scale, (c["x2"] - c["x1"]) / scale, (c["y2"] - c["y1"]) / scale])
                 for c in answer["components"] if c["type"] == "text" and c.get("text")]
        shot_total = shot_wrong = 0
        for line in truth["text_lines"]:
            if line["font_px"] < args.min_px:
                continue
            text = line["text"]
            ink = line["ink"]
            best = max(lines, key=lambda l: overlap(l[1], ink), default=None)
            if best is None or overlap(best[1], ink) < 0.5 * ink[2] * ink[3]:
                errors = len(text)
            else:
                errors = min(len(text), substring_distance(text, best[0]))
                found_total += len(text)
                found_wrong += errors
            shot_total += len(text)
            shot_wrong += errors
        print(f"{name:20s} {shot_total:6d} chars  accuracy {1 - shot_wrong / max(1, shot_total):.3f}")
        total += shot_total
        wrong += shot_wrong
    print(f"{'all':20s} {total:6d} chars  accuracy {1 - wrong / max(1, total):.3f}")
    # Recognition alone: the lines the detector found.
    print(f"{'on found lines':20s} {found_total:6d} chars  accuracy {1 - found_wrong / max(1, found_total):.3f}")


if __name__ == "__main__":
    sys.exit(main())
