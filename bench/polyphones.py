#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Measures the reading of polyphonic characters on a marked data set.

  bench/polyphones.py [--build build] [--data ../shared/data/cpp-dev]
                      [--model FILE | --rules-only] [--errors 30]
                      [--stats-out FILE] [--cross-validate]
                      [--combination [--folds 2]] [--speed N]

Each line of DATA/dev.sent has one character marked by U+2581 on both
sides, and DATA/dev.lb its reading. The marks are stripped, every sentence
is read by the build's mandarin-read-bench (with the polyphone model beside
the lexicon, unless --rules-only), and the reading of the marked character
is compared. Prints the accuracy, the most frequent errors, the time to read
the whole set on one core and to open the lexicon. Exits 1 when a target is
missed (94% accuracy, 1 s to read (3 s with the model), 2 ms to open).

--combination measures how the rules and the model are combined: it reads
the set once noting both readers' choices, then for each of --folds parts
fits the thresholds of the combination (polyphone_choice.cc) on the other
parts and measures them on this one; prints the cross-validated accuracy,
the thresholds fitted on the whole set and the accuracy of the shipped
ones. --speed N reads the set N times with the rules alone and N times with
the model, alternating (the machine is shared and noisy), and prints the
ratio of the median times. --service N does the same with tts-say on a short
sentence and on 16 KB of Chinese, and prints their peak RSS.

--stats-out writes the per-character reading counts of the set (the figures
compile_lexicon.py takes with --stats). --cross-validate learns them on one
half of the set and measures on the other, both ways, to show how they
generalise (it compiles two lexicons, so it takes a minute).
"""

import argparse
import collections
import math
import os
import statistics
import subprocess
import sys
import tempfile
import time

MARK = "\u2581"
TARGET_ACCURACY = 94.0
TARGET_READ_MS = 1000.0
TARGET_OPEN_MS = 2.0
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def default_data():
    """shared/data/cpp-dev beside the checkout or one folder further up."""
    for up in ("..", os.path.join("..", "..")):
        path = os.path.normpath(os.path.join(ROOT, up, "shared", "data", "cpp-dev"))
        if os.path.isdir(path):
            return path
    return os.path.join(ROOT, "..", "shared", "data", "cpp-dev")


def load(data):
    with open(os.path.join(data, "dev.sent"), encoding="utf-8") as f:
        sents = f.read().split("\n")
    with open(os.path.join(data, "dev.lb"), encoding="utf-8") as f:
        labels = f.read().split("\n")
    items = []
    for s, l in zip(sents, labels):
        if not s or MARK not in s:
            continue
        i = s.index(MARK)
        plain = s.replace(MARK, "")
        items.append((plain, i, s[i + 1], l.strip().replace("u:", "v")))
    return items


def read(build, lexicon, items, model=None, extra=()):
    """The readings of every sentence, and the timings."""
    with tempfile.NamedTemporaryFile("w", encoding="utf-8", suffix=".txt", delete=False) as f:
        f.write("\n".join(p for p, _, _, _ in items) + "\n")
        path = f.name
    try:
        tool = os.path.join(build, "bin", "mandarin-read-bench")
        # One core, as the target says.
        cmd = ["taskset", "-c", "0", tool] + list(extra) + (["--model", model] if model else []) + [lexicon, path]
        r = subprocess.run(cmd, capture_output=True, text=True, check=True)
    finally:
        os.unlink(path)
    lines = r.stdout.split("\n")
    timing = dict(line.split() for line in r.stderr.split("\n") if line.strip())
    read.cpu_ms = float(timing.get("read_cpu_ms", "nan"))
    return lines, float(timing["open_ms"]), float(timing["read_ms"])


def score(items, lines):
    errors = collections.Counter()
    right = 0
    for (plain, i, ch, label), line in zip(items, lines):
        fields = line.split(" ")
        got = fields[i] if i < len(fields) else "?"
        if got == label:
            right += 1
        else:
            errors[(ch, label, got)] += 1
    return right, errors


def stats(items):
    counts = collections.Counter((ch, label) for _, _, ch, label in items)
    return "# character\treading\tcount (CPP dataset, development split)\n" + "".join(
        "%s\t%s\t%d\n" % (c, r, n) for (c, r), n in sorted(counts.items()))


def compile_lexicon(stats_text, out):
    with tempfile.NamedTemporaryFile("w", encoding="utf-8", suffix=".tsv", delete=False) as f:
        f.write(stats_text)
        path = f.name
    try:
        data = os.path.join(ROOT, "service", "mandarin", "data")
        subprocess.run([sys.executable, os.path.join(ROOT, "service", "mandarin", "compile_lexicon.py"),
                        "--stats", path, "--words", os.path.join(data, "mainland_words.tsv"), "-o", out],
                       check=True, stdout=subprocess.DEVNULL)
    finally:
        os.unlink(path)


def cross_validate(build, items):
    halves = [items[0::2], items[1::2]]
    right = total = 0
    with tempfile.TemporaryDirectory() as tmp:
        for k in (0, 1):
            lex = os.path.join(tmp, "fold%d.lex" % k)
            compile_lexicon(stats(halves[k]), lex)
            lines, _, _ = read(build, lex, halves[1 - k])
            r, _ = score(halves[1 - k], lines)
            print("fold %d: learnt on %d, %.2f%% of %d" % (k, len(halves[k]), 100.0 * r / len(halves[1 - k]),
                                                          len(halves[1 - k])))
            right += r
            total += len(halves[1 - k])
    print("cross-validated accuracy: %.2f%% (%d of %d)" % (100.0 * right / total, right, total))


# The groups and thresholds of polyphone_choice.cc: by the source of the
# rules' reading (and for words whether they are rare), the model is
# followed when log(p_model / p_rules) reaches the group's threshold.
# A common word of the lexicon (or one it derived), below this cost, keeps
# its reading unless the model does not know that reading (a ratio of
# infinity): not fitted, as the model is sure and wrong on everyday words
# (see polyphone_choice.cc).
RARE_WORD_COST = 12500
FIXED = {("word", "common"): math.inf, ("derived", "common"): math.inf}
SHIPPED = dict(FIXED)
SHIPPED.update({("char", 1): 0.25, ("word", "rare"): 8.0, ("derived", "rare"): 8.0})
GRID = [k / 4.0 for k in range(0, 81)]


def notes(build, lexicon, model, items):
    """Per item: (label, rules' reading, group, model's reading, log ratio)."""
    lines, _, _ = read(build, lexicon, items, model, ["--notes", "--uncombined"])
    out = []
    for (_, i, _, label), line in zip(items, lines):
        fields = line.split(" ")
        f = (fields[i] if i < len(fields) else "?").split("|") + [""] * 7
        rules, source, chosen, p_model, p_rules, length, cost = f[:7]
        ratio = None
        if chosen:
            pm, pr = float(p_model), float(p_rules)
            ratio = math.inf if pr <= 0 else math.log(pm / pr)
        if source in ("word", "derived"):
            group = (source, "rare" if int(cost or 0) >= RARE_WORD_COST else "common")
        else:
            group = (source, min(int(length or 1), 3))
        out.append((label, rules, group, chosen, ratio))
    return out


def combined(note, thresholds):
    label, rules, group, chosen, ratio = note
    if chosen and chosen != rules and ratio >= thresholds.get(group, math.inf):
        return chosen
    return rules


def fit(part):
    """The threshold of each group that reads `part` best (the middle of the
    best range, so that it does not sit on an edge of the training data)."""
    by_group = collections.defaultdict(list)
    for n in part:
        if n[3] and n[3] != n[1]:
            by_group[n[2]].append(n)
    thresholds = dict(FIXED)
    for group, ns in by_group.items():
        if group in FIXED:
            continue
        scores = [(sum(combined(n, {group: t}) == n[0] for n in ns), t) for t in GRID + [math.inf]]
        best = max(sc for sc, _ in scores)
        ties = [t for sc, t in scores if sc == best]
        thresholds[group] = ties[len(ties) // 2]
    return thresholds


def combination(build, lexicon, model, items, folds):
    ns = notes(build, lexicon, model, items)
    total = len(ns)
    right_rules = sum(n[1] == n[0] for n in ns)
    right_model = sum((n[3] or n[1]) == n[0] for n in ns)
    either = sum(n[1] == n[0] or n[3] == n[0] for n in ns)
    right = 0
    for k in range(folds):
        held = ns[k::folds]
        thresholds = fit([n for j, n in enumerate(ns) if j % folds != k])
        r = sum(combined(n, thresholds) == n[0] for n in held)
        print("fold %d: fitted on %d, %.2f%% of %d" % (k, total - len(held), 100.0 * r / len(held), len(held)))
        right += r
    print("rules alone: %.2f%%, model alone: %.2f%%, either right: %.2f%%" % (
        100.0 * right_rules / total, 100.0 * right_model / total, 100.0 * either / total))
    print("cross-validated accuracy of the combination (%d folds): %.2f%% (%d of %d)" % (
        folds, 100.0 * right / total, right, total))
    whole = fit(ns)
    print("thresholds fitted on the whole set: %s" % ", ".join(
        "%s/%s %.2f" % (g[0], g[1], t) for g, t in sorted(whole.items(), key=str)))
    shipped = sum(combined(n, SHIPPED) == n[0] for n in ns)
    print("shipped thresholds on the whole set: %.2f%%" % (100.0 * shipped / total))


def speed(build, lexicon, model, items, rounds):
    runs = {"rules": ([], []), "model": ([], [])}
    for _ in range(rounds):
        for name, m in (("rules", None), ("model", model)):
            runs[name][0].append(read(build, lexicon, items, m)[2])
            runs[name][1].append(read.cpu_ms)
    med = {name: (statistics.median(wall), statistics.median(cpu)) for name, (wall, cpu) in runs.items()}
    for k, what in ((0, "on the clock"), (1, "in CPU time")):
        print("median read of %d sentences %s: rules alone %.0f ms, with the model %.0f ms: %.2fx" % (
            len(items), what, med["rules"][k], med["model"][k], med["model"][k] / med["rules"][k]))


def run_say(cmd, env):
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("failed: %s" % " ".join(cmd))
    return time.perf_counter() - start, usage.ru_maxrss


def service(build, rounds):
    """tts-say with and without the model (SPEECH_SERVICE_POLYPHONE_MODEL
    naming no file), alternating: the median time of a short sentence and
    of 16 KB of Chinese, and their peak RSS."""
    sys.path.insert(0, HERE)
    import texts
    say = os.path.join(build, "bin", "tts-say")
    without = dict(os.environ, SPEECH_SERVICE_POLYPHONE_MODEL=os.path.join(build, "no-such-model.bin"))
    with tempfile.TemporaryDirectory() as tmp:
        for name, text in (("short", texts.SHORT), ("long", texts.long_text())):
            path = os.path.join(tmp, name + ".txt")
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
            cmd = [say, "-q", "-o", os.path.join(tmp, "out.wav"), "-f", path]
            runs = {"rules": [], "model": []}
            for _ in range(rounds):
                runs["rules"].append(run_say(cmd, without))
                runs["model"].append(run_say(cmd, dict(os.environ)))
            med = {k: statistics.median(t for t, _ in v) for k, v in runs.items()}
            rss = {k: max(m for _, m in v) for k, v in runs.items()}
            print("%s text: rules alone %.3f s, with the model %.3f s (%.2fx); peak RSS %.1f / %.1f MiB (+%.2f MiB)" % (
                name, med["rules"], med["model"], med["model"] / med["rules"], rss["rules"] / 1024.0,
                rss["model"] / 1024.0, (rss["model"] - rss["rules"]) / 1024.0))


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--data", default=default_data())
    ap.add_argument("--lexicon", help="default: the build's libexec/tts/mandarin.lex")
    ap.add_argument("--errors", type=int, default=30)
    ap.add_argument("--stats-out")
    ap.add_argument("--cross-validate", action="store_true")
    ap.add_argument("--model", help="default: the build's libexec/tts/mandarin-polyphones.bin")
    ap.add_argument("--rules-only", action="store_true", help="read without the polyphone model")
    ap.add_argument("--combination", action="store_true")
    ap.add_argument("--folds", type=int, default=2)
    ap.add_argument("--speed", type=int, metavar="N")
    ap.add_argument("--service", type=int, metavar="N", help="time tts-say N times with and without the model")
    args = ap.parse_args()
    model = None if args.rules_only else (
        args.model or os.path.join(args.build, "libexec", "tts", "mandarin-polyphones.bin"))

    items = load(args.data)
    if args.stats_out:
        with open(args.stats_out, "w", encoding="utf-8") as f:
            f.write(stats(items))
        print("wrote the reading counts of %d sentences to %s" % (len(items), args.stats_out))
        return 0
    if args.cross_validate:
        cross_validate(args.build, items)
        return 0

    lexicon = args.lexicon or os.path.join(args.build, "libexec", "tts", "mandarin.lex")
    if args.service:
        service(args.build, args.service)
        return 0
    if args.combination or args.speed:
        if model is None:
            ap.error("--combination and --speed need the model")
        if args.combination:
            combination(args.build, lexicon, model, items, args.folds)
        if args.speed:
            speed(args.build, lexicon, model, items, args.speed)
        return 0
    lines, open_ms, read_ms = read(args.build, lexicon, items, model)
    right, errors = score(items, lines)
    accuracy = 100.0 * right / len(items)
    size = sum(len(p.encode("utf-8")) for p, _, _, _ in items)
    print("most frequent errors (character, expected, got, count):")
    for (ch, label, got), n in errors.most_common(args.errors):
        print("  %s\t%s\t%s\t%d" % (ch, label, got, n))
    print("accuracy: %.2f%% (%d of %d)" % (accuracy, right, len(items)))
    print("read %d sentences (%.0f KB) in %.0f ms on one core" % (len(items), size / 1024.0, read_ms))
    print("lexicon opened in %.3f ms" % open_ms)
    # The model may take up to twice as long again as the rules alone.
    read_target = TARGET_READ_MS * (3 if model else 1)
    ok = accuracy >= TARGET_ACCURACY and read_ms < read_target and open_ms < TARGET_OPEN_MS
    print("targets: %s" % ("met" if ok else "MISSED"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
