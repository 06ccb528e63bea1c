#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Checks that every relative link in README.md and docs/*.md leads somewhere:
the file exists and, for a link with #anchor into a Markdown page, the page
has a heading with that anchor (as GitHub derives anchors from headings).
Prints each broken link as FILE:LINE: TARGET and exits 1 when there is one.
  check-doc-links.py [SOURCE_DIR]"""
import pathlib
import re
import sys

LINK = re.compile(r"\]\(([^)\s]+)(?:\s+\"[^\"]*\")?\)")
FENCE = re.compile(r"^\s*(```|~~~)")


def anchor_of(heading):
    text = heading.strip().lower().replace("`", "")
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def anchors(page):
    found, seen, fenced = set(), {}, False
    for line in page.read_text(encoding="utf-8").splitlines():
        if FENCE.match(line):
            fenced = not fenced
        elif not fenced and line.startswith("#"):
            base = anchor_of(line.lstrip("#"))
            n = seen.get(base, 0)
            seen[base] = n + 1
            found.add(base if n == 0 else f"{base}-{n}")
    return found


def links(page):
    fenced = False
    text = page.read_text(encoding="utf-8")
    # A link's text may run over a line end, so links are found in the whole
    # text; fenced code is blanked first, keeping the line count.
    kept = []
    for line in text.splitlines():
        if FENCE.match(line):
            fenced = not fenced
            kept.append("")
        else:
            kept.append("" if fenced else line)
    joined = "\n".join(kept)
    for m in LINK.finditer(joined):
        yield joined.count("\n", 0, m.start()) + 1, m.group(1)


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    pages = [root / "README.md"] + sorted((root / "docs").glob("*.md"))
    broken = 0
    for page in pages:
        for line, target in links(page):
            if re.match(r"^[a-z][a-z0-9+.-]*:", target):  # http:, mailto:, ...
                continue
            path, _, anchor = target.partition("#")
            dest = (page.parent / path).resolve() if path else page
            if not dest.exists():
                print(f"{page.relative_to(root)}:{line}: {target}: no such file")
                broken += 1
            elif anchor and dest.suffix == ".md" and anchor not in anchors(dest):
                print(f"{page.relative_to(root)}:{line}: {target}: no such heading")
                broken += 1
    print(f"check-doc-links: {len(pages)} pages, {broken} broken links")
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())
